// The class registry and the published property tables.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "Classes.h"
#include "Forms.h"
#include "Graphics.h"
#include "Menus.h"
#include "StdCtrls.h"
#include "TypInfo.h"
#include "ValEdit.h"

namespace {

std::string Join(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += (out.empty() ? "" : ",") + s;
  return out;
}

std::string PropNames(TClass c) {
  std::vector<std::string> names;
  for (const TPropInfo* p : GetPropList(c)) names.push_back(p->Name);
  return Join(names);
}

std::string PropType(TClass c, const std::string& name) {
  const TPropInfo* p = GetPropInfo(c, name);
  if (!p) return "<none>";
  static const char* kinds[] = {"unknown",   "integer", "char",    "enumeration", "float",
                                "string",    "set",     "class",   "method",      "wchar",
                                "lstring",   "wstring", "variant", "array",       "record",
                                "interface", "int64",   "dynarray"};
  return std::string(kinds[p->PropType->Kind]) + "." + p->PropType->Name;
}

}  // namespace

// Enumeration order is what scripts see from listClassName: a wrong group or a
// re-registered ancestor changes it.
TEST(Registry, TwentyNineNamesInRegistrationOrder) {
  RegisterCreatableClasses();
  RegisterCreatableClasses();  // a second round adds nothing
  EXPECT_EQ(Join(RegisteredClassNames()),
            "TComponent,TPersistent,TFont,TGraphicsObject,TMenuItem,TForm,TCustomForm,"
            "TScrollingWinControl,TWinControl,TControl,TButton,TButtonControl,TLabel,"
            "TCustomLabel,TGraphicControl,TEdit,TCustomEdit,TValueListEditor,TCustomDrawGrid,"
            "TCustomGrid,TCustomControl,TListBox,TCustomListBox,TCustomMultiSelectListControl,"
            "TCustomListControl,TMemo,TCustomMemo,TCheckBox,TCustomCheckBox");
}

TEST(Registry, LookupIgnoresCaseAndKnowsOnlyRegisteredClasses) {
  RegisterCreatableClasses();
  EXPECT_EQ(FindClass("tbutton"), TButton::StaticClass());
  EXPECT_EQ(FindClass("TCUSTOMFORM"), TCustomForm::StaticClass());
  EXPECT_EQ(FindClass("TStringList"), nullptr);
  EXPECT_EQ(FindClass("TObject"), nullptr);
  EXPECT_EQ(FindClass(""), nullptr);
}

TEST(Registry, VirtualConstructorGivesTheClassAndOwner) {
  RegisterCreatableClasses();
  TComponent root(nullptr);
  for (const std::string& name : RegisteredClassNames()) {
    TClass c = FindClass(name);
    TObject* obj = c->Create(&root);
    EXPECT_EQ(obj->ClassName(), name);
    if (c->IsComponentClass()) {
      EXPECT_EQ(static_cast<TComponent*>(obj)->Owner(), &root);
    }
    obj->Free();
  }
  EXPECT_EQ(root.ComponentCount(), 0);
}

// A list out of order or with a missing entry breaks every script that walks it.
TEST(PropertyTables, CountsOfEveryClass) {
  const std::pair<TClass, size_t> expected[] = {
      {TForm::StaticClass(), 94},
      {TButton::StaticClass(), 49},
      {TLabel::StaticClass(), 50},
      {TEdit::StaticClass(), 65},
      {TFont::StaticClass(), 7},
      {TValueListEditor::StaticClass(), 77},
      {TListBox::StaticClass(), 72},
      {TMemo::StaticClass(), 67},
      {TCheckBox::StaticClass(), 54},
      {TMenuItem::StaticClass(), 24},
      {TPersistent::StaticClass(), 0},
      {TGraphicsObject::StaticClass(), 0},
      {TComponent::StaticClass(), 2},
      {TControl::StaticClass(), 11},
      {TWinControl::StaticClass(), 11},
      {TCustomLabel::StaticClass(), 11},
      {TCustomEdit::StaticClass(), 12},
      {TCustomGrid::StaticClass(), 12},
      {TCustomCheckBox::StaticClass(), 12},
      {TScrollingWinControl::StaticClass(), 13},
      {TCustomForm::StaticClass(), 13},
  };
  for (const auto& [c, n] : expected) EXPECT_EQ(GetPropList(c).size(), n) << c->ClassName();
}

TEST(PropertyTables, OrderOfFontButtonAndAncestors) {
  EXPECT_EQ(PropNames(TFont::StaticClass()), "Charset,Color,Height,Name,Pitch,Size,Style");
  EXPECT_EQ(PropNames(TCustomForm::StaticClass()),
            "Name,Tag,Left,Top,Width,Height,Cursor,Hint,HelpType,HelpKeyword,HelpContext,"
            "HorzScrollBar,VertScrollBar");
  EXPECT_EQ(PropNames(TButton::StaticClass()),
            "Name,Tag,Left,Top,Width,Height,Cursor,Hint,HelpType,HelpKeyword,HelpContext,Action,"
            "Anchors,BiDiMode,Cancel,Caption,Constraints,Default,DragCursor,DragKind,DragMode,"
            "Enabled,Font,ModalResult,ParentBiDiMode,ParentFont,ParentShowHint,PopupMenu,"
            "ShowHint,TabOrder,TabStop,Visible,WordWrap,OnClick,OnContextPopup,OnDragDrop,"
            "OnDragOver,OnEndDock,OnEndDrag,OnEnter,OnExit,OnKeyDown,OnKeyPress,OnKeyUp,"
            "OnMouseDown,OnMouseMove,OnMouseUp,OnStartDock,OnStartDrag");
  const auto& form = GetPropList(TForm::StaticClass());
  EXPECT_EQ(form.front()->Name, "Name");
  EXPECT_EQ(form.back()->Name, "OnUnDock");
  EXPECT_EQ(form[60]->Name, "OnActivate");
}

// Same name, different types per class: a shared table entry would give one type.
TEST(PropertyTables, KindAndTypeNamesDifferPerClass) {
  EXPECT_EQ(PropType(TButton::StaticClass(), "Caption"), "lstring.TCaption");
  EXPECT_EQ(PropType(TMenuItem::StaticClass(), "Caption"), "lstring.String");
  EXPECT_EQ(PropType(TFont::StaticClass(), "Style"), "set.TFontStyles");
  EXPECT_EQ(PropType(TListBox::StaticClass(), "Style"), "enumeration.TListBoxStyle");
  EXPECT_EQ(PropType(TEdit::StaticClass(), "Name"), "lstring.TComponentName");
  EXPECT_EQ(PropType(TFont::StaticClass(), "Name"), "lstring.TFontName");
  EXPECT_EQ(PropType(TForm::StaticClass(), "BorderStyle"), "enumeration.TFormBorderStyle");
  EXPECT_EQ(PropType(TMemo::StaticClass(), "BorderStyle"), "enumeration.TBorderStyle");
  EXPECT_EQ(PropType(TCheckBox::StaticClass(), "Alignment"), "enumeration.TLeftRight");
  EXPECT_EQ(PropType(TLabel::StaticClass(), "Alignment"), "enumeration.TAlignment");
  EXPECT_EQ(PropType(TListBox::StaticClass(), "OnDrawItem"), "method.TDrawItemEvent");
  EXPECT_EQ(PropType(TMenuItem::StaticClass(), "OnDrawItem"), "method.TMenuDrawItemEvent");
  EXPECT_EQ(PropType(TMenuItem::StaticClass(), "OnMeasureItem"), "method.TMenuMeasureItemEvent");
  EXPECT_EQ(PropType(TForm::StaticClass(), "AlphaBlendValue"), "integer.Byte");
  EXPECT_EQ(PropType(TEdit::StaticClass(), "PasswordChar"), "char.Char");
  EXPECT_EQ(PropType(TMemo::StaticClass(), "Lines"), "class.TStrings");
  EXPECT_EQ(PropType(TButton::StaticClass(), "OnClick"), "method.TNotifyEvent");
  EXPECT_EQ(PropType(TForm::StaticClass(), "Anchors"), "set.TAnchors");
  EXPECT_EQ(PropType(TButton::StaticClass(), "caption"), "<none>");  // names keep their case
}

TEST(PropertyTables, ValueNamesOfEnumerationsAndSets) {
  auto values = [](TClass c, const char* prop) {
    return Join(GetTypeValueNames(GetPropInfo(c, prop)->PropType));
  };
  EXPECT_EQ(values(TForm::StaticClass(), "Visible"), "False,True");
  EXPECT_EQ(values(TForm::StaticClass(), "Align"),
            "alNone,alTop,alBottom,alLeft,alRight,alClient,alCustom");
  EXPECT_EQ(values(TButton::StaticClass(), "Anchors"), "akLeft,akTop,akRight,akBottom");
  EXPECT_EQ(values(TForm::StaticClass(), "Position"),
            "poDesigned,poDefault,poDefaultPosOnly,poDefaultSizeOnly,poScreenCenter,"
            "poDesktopCenter,poMainFormCenter,poOwnerFormCenter");
  EXPECT_EQ(values(TForm::StaticClass(), "BorderStyle"),
            values(TEdit::StaticClass(), "BorderStyle"));
  EXPECT_EQ(values(TValueListEditor::StaticClass(), "KeyOptions"),
            "keyEdit,keyAdd,keyDelete,keyUnique");
  EXPECT_EQ(values(TButton::StaticClass(), "Caption"), "");
  const TTypeInfo* integer = GetPropInfo(TButton::StaticClass(), "Left")->PropType;
  EXPECT_EQ(GetEnumName(integer, -12), "-12");
}

// Every published property of every creatable class answers a read of its kind on a
// fresh object: a table entry bound to the wrong class would crash or throw here.
TEST(PropertyTables, EveryPropertyReadsOnAFreshObject) {
  RegisterCreatableClasses();
  TComponent root(nullptr);
  for (const std::string& name : RegisteredClassNames()) {
    TObject* obj = FindClass(name)->Create(&root);
    for (const TPropInfo* p : GetPropList(obj->ClassType())) {
      switch (p->PropType->Kind) {
        case tkInteger:
        case tkChar:
          GetOrdProp(obj, p);
          break;
        case tkEnumeration:
          EXPECT_NE(GetEnumProp(obj, p), "") << name << "." << p->Name;
          break;
        case tkSet:
          GetSetProp(obj, p);
          break;
        case tkLString:
          GetStrProp(obj, p);
          break;
        case tkClass:
          GetObjectProp(obj, p);
          break;
        case tkMethod:
          EXPECT_FALSE(GetMethodProp(obj, p));
          break;
        default:
          ADD_FAILURE() << name << "." << p->Name;
      }
    }
    obj->Free();
  }
}
