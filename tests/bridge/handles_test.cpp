// Handles, names and the tree of parent handles, through the members scripts call.
#include "Controls.h"
#include "bridge_support.h"

using Handles = BridgeTest;

// Name rules of nw: generated names skip taken ones, the class name keeps its case,
// refusals name the offending text and leave nothing registered.
TEST_F(Handles, NwNamesAreGeneratedCheckedAndRefusedWithoutTrace) {
  auto b1 = Nw(main_, "TButton");
  auto b2 = Nw(main_, "TButton");
  auto b3 = Nw(main_, "TButton");
  EXPECT_EQ(HandleOf(b3)->Name(), "Button3");
  EXPECT_EQ(static_cast<TComponent*>(Obj(b3))->Owner(), Obj(main_));
  EXPECT_EQ(static_cast<TControl*>(Obj(b3))->Parent(), Obj(main_));

  auto lower = Nw(main_, "tlabel");
  EXPECT_EQ(HandleOf(lower)->Name(), "label1");
  EXPECT_EQ(Str(lower, "classN"), "TLabel");

  EXPECT_EQ(Failure(main_, "nw", {Variant("TButton"), Variant("BUTTON1"), Variant("")}),
            "Object with this name already exists: BUTTON1");
  EXPECT_EQ(Failure(main_, "nw", {Variant("TButton"), Variant("1b"), Variant("")}),
            "Invalid name: 1b");
  EXPECT_EQ(Failure(main_, "nw", {Variant("TButton"), Variant("a.b"), Variant("")}),
            "Invalid name: a.b");
  EXPECT_EQ(Failure(main_, "nw", {Variant("TNoSuch"), Variant("x1"), Variant("")}),
            "Class unregistred: TNoSuch");
  EXPECT_EQ(ListObjectNames(), "Button1,Button2,Button3,label1,main");
  EXPECT_EQ(ObjectCount(), 5);
}

// The caption step runs after the component exists; a class without Caption fails
// and its handle dies with the failed call's result.
TEST_F(Handles, NwCaptionNeedsACaptionProperty) {
  auto b = Nw(main_, "TButton", "b1", "OK");
  EXPECT_EQ(Str(b, "propGet", {Variant("Caption")}), "OK");
  EXPECT_EQ(Failure(main_, "nw", {Variant("TEdit"), Variant("e1"), Variant("x")}),
            "Property not found: Caption");
  EXPECT_EQ(Failure(main_, "nw", {Variant("TMemo"), Variant("m1"), Variant("x")}),
            "Property not found: Caption");
  EXPECT_EQ(ListObjectNames(), "b1,main");
  auto e = Nw(main_, "TEdit", "e1", "");
  EXPECT_EQ(Str(e, "classN"), "TEdit");
}

// A name the owner already uses for a component (renamed through its Name property)
// is refused by the model; the new component must not be left behind on the form.
TEST_F(Handles, NwRefusedComponentNameLeavesNoComponent) {
  auto b = Nw(main_, "TButton", "b1");
  Call(b, "propSet", {Variant("Name"), Variant("taken")});
  auto* form = static_cast<TComponent*>(Obj(main_));
  const int before = form->ComponentCount();
  EXPECT_NE(Failure(main_, "nw", {Variant("TButton"), Variant("taken"), Variant("")}),
            "(no failure)");
  EXPECT_EQ(form->ComponentCount(), before);
  EXPECT_EQ(ListObjectNames(), "b1,main");
  EXPECT_EQ(HandleOf(b)->Name(), "b1");  // renaming the component keeps the handle name
}

TEST_F(Handles, NwOnObjectsThatAreNoComponentsOrNoWindows) {
  auto b = Nw(main_, "TButton", "b1");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(Failure(font, "nw", {Variant("TButton"), Variant(""), Variant("")}),
            "Invalid class typecast");

  // Owned by the label, but a label holds no controls: no parent, no parent handle.
  auto l = Nw(main_, "TLabel", "l1");
  auto inner = Nw(l, "TButton", "inner");
  EXPECT_EQ(static_cast<TComponent*>(Obj(inner))->Owner(), Obj(l));
  EXPECT_EQ(static_cast<TControl*>(Obj(inner))->Parent(), nullptr);
  EXPECT_EQ(Str(l, "listChildren"), "");

  // A font created by name is free-standing and belongs to its handle.
  auto f = Nw(main_, "TFont", "f1");
  EXPECT_EQ(Str(f, "classN"), "TFont");
  EXPECT_EQ(Str(f, "listProp"), "Charset,Color,Height,Name,Pitch,Size,Style");
}

// listChildren: all descendants by parent handle, registry order, never the handle.
TEST_F(Handles, ListChildrenFollowsParentHandlesDownward) {
  auto l1 = Nw(main_, "TLabel", "l1");
  auto b1 = Nw(main_, "TButton", "b1");
  EXPECT_EQ(Str(main_, "listChildren"), "b1,l1");
  auto f = Nw(main_, "TForm", "f");
  auto inner = Nw(f, "TButton", "a_inner");
  EXPECT_EQ(Str(main_, "listChildren"), "a_inner,b1,f,l1");
  EXPECT_EQ(Str(f, "listChildren"), "a_inner");

  EXPECT_EQ(PutParent(b1, Variant::Null()), "");
  EXPECT_EQ(Str(main_, "listChildren"), "a_inner,f,l1");
}

TEST_F(Handles, PropParentReadsAndMovesTheWindow) {
  EXPECT_TRUE(Call(main_, "propParent").IsNull());
  auto f = Nw(main_, "TForm", "f");
  auto b = Nw(main_, "TButton", "b");
  EXPECT_EQ(HandleOf(Call(b, "propParent").AsDispatch()), HandleOf(main_));

  // PUT with a handle: the button moves into the child form.
  auto put = PutParent;
  EXPECT_EQ(put(b, Variant(f)), "");
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Parent(), Obj(f));
  EXPECT_EQ(HandleOf(b)->ParentHandle(), HandleOf(f));

  // Refused moves change nothing: a font is no window, a form no child of its child.
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(put(b, Variant(font)), "Invalid class typecast");
  EXPECT_EQ(HandleOf(b)->ParentHandle(), HandleOf(f));
  EXPECT_NE(put(f, Variant(b)), "");
  EXPECT_NE(put(main_, Variant(f)), "");
  EXPECT_EQ(HandleOf(main_)->ParentHandle(), nullptr);

  // Null makes the child form a window of its own.
  EXPECT_EQ(put(f, Variant::Null()), "");
  EXPECT_EQ(static_cast<TControl*>(Obj(f))->Parent(), nullptr);
  EXPECT_TRUE(Call(f, "propParent").IsNull());
  // The button hangs below f, which no longer hangs below main.
  EXPECT_EQ(Str(main_, "listChildren"), "");
  EXPECT_EQ(Str(f, "listChildren"), "b");
}

// A parent handle held only by its child: detaching the child must not touch the
// child's component after the release destroyed the form that owned it.
TEST_F(Handles, DetachingFromTheLastHoldOnItsOwnerIsSafe) {
  auto f = Nw(main_, "TForm", "f");
  auto b = Nw(f, "TButton", "b");
  f.reset();
  EXPECT_EQ(PutParent(b, Variant::Null()), "");
  EXPECT_EQ(ListObjectNames(), "b,main");
  EXPECT_EQ(Obj(b), nullptr);  // the form owned it
  EXPECT_EQ(Failure(b, "classN"), "Object of b no longer exists (destroyed with its owner)");
}

// fr destroys what the handle owns; the handle stays named and registered and goes on
// serving nw without owner. Handles on objects destroyed under them fail clearly.
TEST_F(Handles, FreedAndOrphanedHandlesFailWithoutTouchingTheObject) {
  auto f = Nw(main_, "TForm", "f");
  auto b = Nw(f, "TButton", "b");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  Call(font, "fr");  // does not own the font
  EXPECT_NE(Obj(font), nullptr);

  Call(f, "fr");
  Call(f, "fr");
  EXPECT_EQ(Obj(f), nullptr);
  EXPECT_EQ(ListObjectNames(), "b,b.Font,f,main");
  EXPECT_EQ(Failure(f, "classN"), "Handle f holds no object");
  EXPECT_EQ(Failure(b, "listProp"), "Object of b no longer exists (destroyed with its owner)");
  EXPECT_EQ(Failure(font, "propGet", {Variant("Size")}),
            "Object of b.Font no longer exists (destroyed with its owner)");
  EXPECT_EQ(Failure(b, "nw", {Variant("TButton"), Variant("c"), Variant("")}),
            "Object of b no longer exists (destroyed with its owner)");
  EXPECT_EQ(Call(b, "self").AsUI4(), HandleOf(b)->Serial());

  auto loose = Nw(f, "TButton", "loose");
  EXPECT_EQ(static_cast<TComponent*>(Obj(loose))->Owner(), nullptr);
  EXPECT_EQ(HandleOf(loose)->ParentHandle(), nullptr);
  loose.reset();
  EXPECT_EQ(ListObjectNames(), "b,b.Font,f,main");
}

TEST_F(Handles, SysLookupsOfTheRegistry) {
  auto b = Nw(main_, "TButton", "b1");
  EXPECT_EQ(HandleOf(GetRegisteredObject("B1")), HandleOf(b));
  try {
    GetRegisteredObject("nope");
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Object not found: nope");
  }
  // Names made by property reads hold a dot; the sort puts it before digits.
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  auto b10 = Nw(main_, "TButton", "b10");
  EXPECT_EQ(ListObjectNames(), "b1,b1.Font,b10,main");
  const std::string classes = ListClassNames();
  EXPECT_EQ(classes.rfind("TComponent,TPersistent,TFont,TGraphicsObject,TMenuItem,TForm", 0),
            0u);
}

// The sys quoting rule for names with blanks, quotes or commas (only a handle made
// by a property read can carry such a name: WrapObject takes any name).
TEST_F(Handles, ListObjQuotesNamesThatNeedIt) {
  auto b = Nw(main_, "TButton", "b1");
  TObject* font = static_cast<TControl*>(Obj(b))->Font();
  auto w = WrapObject(font, "a \"q\",x");
  EXPECT_EQ(ListObjectNames(), "\"a \"\"q\"\",x\",b1,main");
  EXPECT_EQ(HandleOf(WrapObject(font, "other")), HandleOf(w));
  try {
    WrapObject(static_cast<TControl*>(Obj(main_))->Font(), "b1");
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Name already exists: b1");
  }
}
