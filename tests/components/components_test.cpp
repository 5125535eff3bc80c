// Ownership, names, parents, bounds and weak references.

#include <gtest/gtest.h>

#include <QWidget>

#include "Classes.h"
#include "Forms.h"
#include "Menus.h"
#include "StdCtrls.h"
#include "TypInfo.h"

// An owner that forgot an owned component leaks it; one that freed it twice crashes.
TEST(Ownership, OwnerDestroysOwnedAndWeakRefsLearnOfIt) {
  auto* form = new TForm(nullptr);
  auto* panel = new TForm(form);  // a child form on the form: owned and parented
  panel->SetParent(form);
  auto* b = new TButton(form);
  b->SetParent(panel);  // owned by the form, child of the panel
  auto* item = new TMenuItem(form);
  TWeakRef<TButton> wb(b);
  TWeakRef<TMenuItem> wi(item);
  TWeakRef<TForm> wp(panel);
  int notified = 0;
  b->AddFreeNotification([&](TObject* o) {
    EXPECT_EQ(o, b);
    ++notified;
  });
  EXPECT_EQ(form->ComponentCount(), 3);
  form->Free();
  EXPECT_FALSE(wb);
  EXPECT_FALSE(wi);
  EXPECT_FALSE(wp);
  EXPECT_EQ(notified, 1);
}

TEST(Ownership, ParentDestroysChildControlsOwnedElsewhere) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* b = new TButton(&owner);
  b->SetParent(form);
  TWeakRef<TButton> wb(b);
  form->Free();
  EXPECT_FALSE(wb);
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Ownership, FreedComponentLeavesItsOwner) {
  TComponent owner(nullptr);
  auto* a = new TLabel(&owner);
  auto* b = new TLabel(&owner);
  a->Free();
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
}

TEST(Names, IdentifiersOnlyAndUniqueAmongTheOwnersComponents) {
  TComponent owner(nullptr);
  auto* a = new TButton(&owner);
  auto* b = new TButton(&owner);
  a->SetName("ok_1");
  EXPECT_THROW(b->SetName("OK_1"), EComponentError);  // case ignored
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a.b"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  b->SetName("_x2");
  EXPECT_EQ(owner.FindComponent("_X2"), b);
  a->SetName("ok_1");  // its own name again is fine
  // A rename frees the old name; a refused one keeps it; another letter case of its
  // own name stays its own.
  b->SetName("third");
  EXPECT_EQ(owner.FindComponent("_x2"), nullptr);
  EXPECT_THROW(b->SetName("OK_1"), EComponentError);
  EXPECT_EQ(b->Name(), "third");
  EXPECT_EQ(owner.FindComponent("THIRD"), b);
  a->SetName("Ok_1");
  EXPECT_EQ(a->Name(), "Ok_1");
  EXPECT_EQ(owner.FindComponent("ok_1"), a);
  b->SetName("");
  EXPECT_EQ(owner.FindComponent("third"), nullptr);
  a->SetName("third");
  EXPECT_EQ(owner.FindComponent("third"), a);
  EXPECT_EQ(owner.FindComponent("ok_1"), nullptr);
  try {
    b->SetName("9");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "'9' is not a valid component name");
  }
}

// A new control shows its name until a caption is written, as the toolkit does.
TEST(Names, CaptionFollowsTheNameUntilChanged) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetName("b1");
  EXPECT_EQ(b->Caption(), "b1");
  b->SetCaption("OK");
  b->SetName("b2");
  EXPECT_EQ(b->Caption(), "OK");
  auto* m = new TMemo(&form);
  m->SetName("m1");
  EXPECT_EQ(m->Caption(), "");
}

TEST(Parents, OnlyWindowedControlsAndNoCycles) {
  TForm form(nullptr);
  auto* outer = new TForm(&form);
  outer->SetParent(&form);
  auto* inner = new TForm(&form);
  inner->SetParent(outer);
  EXPECT_THROW(outer->SetParent(inner), EComponentError);
  EXPECT_THROW(outer->SetParent(outer), EComponentError);
  EXPECT_EQ(outer->Parent(), &form);
  auto* label = new TLabel(&form);
  EXPECT_THROW(CastTo<TWinControl>(label), EInvalidCast);
  EXPECT_TRUE(IsControl(label));
  EXPECT_FALSE(IsWinControl(label));
  EXPECT_TRUE(IsWinControl(outer));
  EXPECT_FALSE(IsComponent(label->Font()));
  EXPECT_TRUE(IsStrings(TMemo(nullptr).Lines()));
}

// A form with a parent lives inside it; set free again, it is a window of its own.
TEST(Parents, FormIsChildWindowWithParentAndTopLevelWithout) {
  TForm root(nullptr);
  auto* child = new TForm(&root);
  child->SetParent(&root);
  EXPECT_EQ(child->Widget()->parentWidget(), root.Widget());
  EXPECT_FALSE(child->Widget()->isWindow());
  child->SetVisible(true);
  root.SetVisible(true);
  EXPECT_TRUE(child->Widget()->isVisible());
  child->SetParent(nullptr);
  EXPECT_TRUE(child->Widget()->isWindow());
  EXPECT_TRUE(child->Widget()->isVisible());
  EXPECT_EQ(root.ControlCount(), 0);
  auto* b = new TButton(&root);
  b->SetParent(&root);
  b->SetParent(nullptr);
  EXPECT_FALSE(b->Widget()->isVisible());  // a control without a window shows nowhere
}

TEST(Bounds, OneCallAndConstraints) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetParent(&form);
  b->SetBounds(10, 20, 100, 30);
  EXPECT_EQ(b->Widget()->geometry(), QRect(10, 20, 100, 30));
  b->Constraints()->SetMaxWidth(50);
  EXPECT_EQ(b->Width(), 50);
  b->SetWidth(200);
  EXPECT_EQ(b->Widget()->width(), 50);
  b->SetBounds(0, 0, -5, 10);
  EXPECT_GE(b->Width(), 0);
}

// Align must be re-applied whenever the parent's size changes, and anchored controls
// keep their distance to the right and bottom.
TEST(Bounds, AlignAndAnchorsFollowTheParentsSize) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* top = new TLabel(&form);
  top->SetAutoSize(false);
  top->SetParent(&form);
  top->SetHeight(20);
  top->SetAlign(alTop);
  auto* client = new TMemo(&form);
  client->SetParent(&form);
  client->SetAlign(alClient);
  auto* ok = new TButton(&form);
  ok->SetParent(&form);
  ok->SetBounds(300, 250, 80, 25);
  ok->SetAnchors((1 << akRight) | (1 << akBottom));
  EXPECT_EQ(top->Widget()->geometry(), QRect(0, 0, 400, 20));
  EXPECT_EQ(client->Widget()->geometry(), QRect(0, 20, 400, 280));
  form.SetBounds(0, 0, 600, 500);
  EXPECT_EQ(top->Width(), 600);
  EXPECT_EQ(client->Widget()->geometry(), QRect(0, 20, 600, 480));
  EXPECT_EQ(ok->Widget()->geometry(), QRect(500, 450, 80, 25));
  // The user resizing the window counts the same as a write.
  form.SetVisible(true);
  form.Widget()->resize(500, 400);
  EXPECT_EQ(form.Width(), 500);
  EXPECT_EQ(client->Widget()->geometry(), QRect(0, 20, 500, 380));
  EXPECT_EQ(ok->Left(), 400);
}

TEST(GenericAccess, SetsEnumerationsAndRanges) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  const TPropInfo* anchors = GetPropInfo(b->ClassType(), "Anchors");
  EXPECT_EQ(GetSetProp(b, anchors), "akLeft,akTop");
  SetSetProp(b, anchors, "[akRight, akBottom]");
  EXPECT_EQ(GetSetProp(b, anchors), "akRight,akBottom");
  SetSetProp(b, anchors, "akleft akTOP");
  EXPECT_EQ(b->Anchors(), AnchorsTopLeft);
  SetSetProp(b, anchors, "");
  EXPECT_EQ(GetSetProp(b, anchors), "");
  try {
    SetSetProp(b, anchors, "akLeft,akMiddle");
    FAIL();
  } catch (const EPropertyError& e) {
    EXPECT_STREQ(e.what(), "Invalid property element: akMiddle");
  }
  EXPECT_EQ(GetSetProp(b, anchors), "");  // a refused write changes nothing

  const TPropInfo* visible = GetPropInfo(b->ClassType(), "Visible");
  SetEnumProp(b, visible, "false");
  EXPECT_FALSE(b->Visible());
  EXPECT_EQ(GetEnumProp(b, visible), "False");
  EXPECT_THROW(SetEnumProp(b, visible, "maybe"), EPropertyError);

  const TPropInfo* alpha = GetPropInfo(TForm::StaticClass(), "AlphaBlendValue");
  EXPECT_THROW(SetOrdProp(&form, alpha, 300), EPropertyError);
  EXPECT_EQ(GetOrdProp(&form, alpha), 255);
  const TPropInfo* color = GetPropInfo(TForm::StaticClass(), "Color");
  EXPECT_EQ(GetOrdProp(&form, color), -2147483633);  // clBtnFace

  // Properties without behaviour keep what is written, per object.
  const TPropInfo* dragKind = GetPropInfo(b->ClassType(), "DragKind");
  SetEnumProp(b, dragKind, "dkDock");
  EXPECT_EQ(GetEnumProp(b, dragKind), "dkDock");
  EXPECT_EQ(GetEnumProp(new TButton(&form), dragKind), "dkDrag");
  EXPECT_EQ(GetObjectProp(b, GetPropInfo(b->ClassType(), "Font")), b->Font());
  EXPECT_EQ(GetObjectProp(b, GetPropInfo(b->ClassType(), "PopupMenu")), nullptr);
}

TEST(GenericAccess, EventPropertiesBindAndUnbind) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  const TPropInfo* onClick = GetPropInfo(b->ClassType(), "OnClick");
  int clicks = 0;
  SetMethodProp(b, onClick, [&](TObject* sender) {
    EXPECT_EQ(sender, b);
    ++clicks;
  });
  EXPECT_TRUE(GetMethodProp(b, onClick));
  b->Click();
  SetMethodProp(b, onClick, nullptr);
  b->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(SetMethodProp(b->Font(), onClick, nullptr), EInvalidCast);
}
