// Property writes reach the component, and refused writes leave it as it was.
#include "Controls.h"
#include "bridge_support.h"

using Props = BridgeTest;

TEST_F(Props, WritesReachTheComponentOrNothingChanges) {
  auto b = Nw(main_, "TButton", "b1");
  Call(b, "propSet", {Variant("Left"), Variant("10")});
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Left(), 10);
  EXPECT_NE(Failure(b, "propSet", {Variant("Left"), Variant("ten")}), "(no failure)");
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Left(), 10);
  Variant left = Call(b, "propGet", {Variant("Left")});
  EXPECT_EQ(left.type(), VarType::I4);

  Call(b, "propSet", {Variant("Anchors"), Variant("[akLeft, akRight]")});
  EXPECT_NE(Failure(b, "propSet", {Variant("Anchors"), Variant("akLeft,akNowhere")}),
            "(no failure)");
  EXPECT_EQ(Str(b, "propGet", {Variant("Anchors")}), "akLeft,akRight");

  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  EXPECT_TRUE(static_cast<TControl*>(Obj(main_))->Visible());
  Call(main_, "propSet", {Variant("Visible"), Variant(false)});

  // The font handle writes the button's own font and does not own it.
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_TRUE(HandleOf(font)->NotOwned());
  Call(font, "propSet", {Variant("Size"), Variant(14)});
  EXPECT_EQ(static_cast<TControl*>(Obj(b))->Font()->Size(), 14);
  const uint32_t first = HandleOf(font)->Serial();
  font.reset();
  EXPECT_NE(Obj(b), nullptr);
  auto again = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_NE(HandleOf(again)->Serial(), first);
  EXPECT_EQ(HandleOf(again)->Name(), "b1.Font");

  // An unset class-typed property gives Null, not a handle on nothing.
  EXPECT_TRUE(Call(b, "propGet", {Variant("PopupMenu")}).IsNull());
}
