// Published properties by name: lookup, conversions per kind, class-typed values.
#include <algorithm>

#include "Controls.h"
#include "bridge_support.h"

using Props = BridgeTest;

TEST_F(Props, ListPropNamesEveryPublishedPropertyInOrder) {
  const std::string all = Str(main_, "listProp");
  EXPECT_EQ(all.rfind("Name,Tag,Left,Top,Width,Height,Cursor,Hint,", 0), 0u);
  EXPECT_EQ(all.substr(all.size() - 20), "OnStartDock,OnUnDock");
  EXPECT_EQ(std::count(all.begin(), all.end(), ','), 93);
  EXPECT_EQ(all.find(",,"), std::string::npos);
}

// Property names match with case, so a wrong case is "not found", not some value.
TEST_F(Props, GetAndSetByKind) {
  auto b = Nw(main_, "TButton", "b1", "OK");
  EXPECT_EQ(Str(b, "propGet", {Variant("Caption")}), "OK");
  EXPECT_EQ(Failure(b, "propGet", {Variant("caption")}), "Property not found: caption");

  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  EXPECT_TRUE(static_cast<TControl*>(Obj(main_))->Visible());
  EXPECT_EQ(Str(main_, "propGet", {Variant("Visible")}), "True");
  Call(main_, "propSet", {Variant("Visible"), Variant(false)});

  Call(b, "propSet", {Variant("Left"), Variant("10")});
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Left(), 10);
  Variant left = Call(b, "propGet", {Variant("Left")});
  EXPECT_EQ(left.type(), VarType::I4);
  EXPECT_EQ(left.AsI4(), 10);
  EXPECT_NE(Failure(b, "propSet", {Variant("Left"), Variant("ten")}), "(no failure)");
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Left(), 10);

  EXPECT_EQ(Str(b, "propGet", {Variant("Anchors")}), "akLeft,akTop");
  Call(b, "propSet", {Variant("Anchors"), Variant("[akLeft, akRight]")});
  EXPECT_EQ(Str(b, "propGet", {Variant("Anchors")}), "akLeft,akRight");
  EXPECT_EQ(Failure(b, "propSet", {Variant("Anchors"), Variant("akNowhere")}),
            "Invalid property element: akNowhere");
  EXPECT_EQ(Str(b, "propGet", {Variant("Anchors")}), "akLeft,akRight");

  EXPECT_EQ(Failure(b, "propSet", {Variant("Font"), Variant("x")}),
            "Definition of property Font not supported");
  EXPECT_EQ(Str(b, "propGet", {Variant("OnClick")}), "");
}

// The font read through a button is one registered, non-owning handle while held.
TEST_F(Props, ClassTypedPropertiesYieldWrappedHandles) {
  auto b = Nw(main_, "TButton", "b1");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(HandleOf(font)->Name(), "b1.Font");
  EXPECT_TRUE(HandleOf(font)->NotOwned());
  EXPECT_EQ(HandleOf(Call(b, "propGet", {Variant("Font")}).AsDispatch()), HandleOf(font));
  EXPECT_EQ(Str(font, "listProp"), "Charset,Color,Height,Name,Pitch,Size,Style");
  Call(font, "propSet", {Variant("Size"), Variant(14)});
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Font()->Size(), 14);
  Call(font, "propSet", {Variant("Style"), Variant("fsBold fsItalic")});
  EXPECT_EQ(Str(font, "propGet", {Variant("Style")}), "fsBold,fsItalic");

  const uint32_t first = HandleOf(font)->Serial();
  font.reset();
  EXPECT_EQ(ListObjectNames(), "b1,main");
  auto again = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(HandleOf(again)->Name(), "b1.Font");
  EXPECT_NE(HandleOf(again)->Serial(), first);

  // A string list of the toolkit's own class is served by the list members only.
  auto memo = Nw(main_, "TMemo", "m1");
  auto lines = Call(memo, "propGet", {Variant("Lines")}).AsDispatch();
  EXPECT_EQ(Failure(lines, "listProp").rfind("Class unregistred: ", 0), 0u);

  // An unset class-typed property gives Null, not a handle on nothing.
  EXPECT_TRUE(Call(b, "propGet", {Variant("PopupMenu")}).IsNull());
}

TEST_F(Props, TypesAndValueNames) {
  auto b = Nw(main_, "TButton", "b1");
  auto lb = Nw(main_, "TListBox", "lb");
  auto e = Nw(main_, "TEdit", "e");
  auto mi = Nw(main_, "TMenuItem", "mi");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(Str(b, "propType", {Variant("Left")}), "integer.Integer");
  EXPECT_EQ(Str(b, "propType", {Variant("Caption")}), "lstring.TCaption");
  EXPECT_EQ(Str(mi, "propType", {Variant("Caption")}), "lstring.String");
  EXPECT_EQ(Str(b, "propType", {Variant("OnClick")}), "method.TNotifyEvent");
  EXPECT_EQ(Str(b, "propType", {Variant("Font")}), "class.TFont");
  EXPECT_EQ(Str(font, "propType", {Variant("Style")}), "set.TFontStyles");
  EXPECT_EQ(Str(lb, "propType", {Variant("Style")}), "enumeration.TListBoxStyle");
  EXPECT_EQ(Str(font, "propType", {Variant("Name")}), "lstring.TFontName");
  EXPECT_EQ(Str(b, "propType", {Variant("Name")}), "lstring.TComponentName");

  EXPECT_EQ(Str(b, "propAllValues", {Variant("Visible")}), "False,True");
  EXPECT_EQ(Str(b, "propAllValues", {Variant("Caption")}), "[not enum]");
  EXPECT_EQ(Str(main_, "propAllValues", {Variant("Align")}),
            "alNone,alTop,alBottom,alLeft,alRight,alClient,alCustom");
  EXPECT_EQ(Str(b, "propAllValues", {Variant("Anchors")}), "akLeft,akTop,akRight,akBottom");
  EXPECT_EQ(Str(main_, "propAllValues", {Variant("BorderStyle")}),
            Str(e, "propAllValues", {Variant("BorderStyle")}));

  EXPECT_EQ(Str(b, "propAllValues", {Variant("integer.Whatever")}), "[not enum]");
  EXPECT_EQ(Str(b, "propAllValues", {Variant("Enumeration.TAlign")}),
            "alNone,alTop,alBottom,alLeft,alRight,alClient,alCustom");
  EXPECT_EQ(Str(b, "propAllValues", {Variant("set.TAnchors")}),
            "akLeft,akTop,akRight,akBottom");
  EXPECT_EQ(Failure(b, "propAllValues", {Variant("kind.TAlign")}),
            "Type not defined: kind.TAlign");
  EXPECT_EQ(Failure(b, "propAllValues", {Variant("set.TAlign")}),
            "Type not defined: set.TAlign");
  EXPECT_EQ(Failure(b, "propAllValues", {Variant("enumeration.TNoSuch")}),
            "Type not defined: enumeration.TNoSuch");
}
