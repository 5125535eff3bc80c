// What scripts cannot see of handles: owners, parents, and the lifetime hazards.
#include <algorithm>
#include <sstream>

#include "Controls.h"
#include "bridge_support.h"
#include "u_jobject_internal.h"

using Handles = BridgeTest;

// A new component belongs to the handle's object and sits in it only when that
// object is a window; a label owns but does not hold it.
TEST_F(Handles, NwGivesOwnerAndParent) {
  auto b1 = Nw(main_, "TButton");
  auto b2 = Nw(main_, "TButton");
  EXPECT_EQ(HandleOf(b2)->Name(), "Button2");
  EXPECT_EQ(static_cast<TComponent*>(Obj(b2))->Owner(), Obj(main_));
  EXPECT_EQ(static_cast<TControl*>(Obj(b2))->Parent(), Obj(main_));
  EXPECT_EQ(HandleOf(b2)->ParentHandle(), HandleOf(main_));

  auto l = Nw(main_, "TLabel", "l1");
  auto inner = Nw(l, "TButton", "inner");
  EXPECT_EQ(static_cast<TComponent*>(Obj(inner))->Owner(), Obj(l));
  EXPECT_EQ(static_cast<TControl*>(Obj(inner))->Parent(), nullptr);
  EXPECT_EQ(HandleOf(inner)->ParentHandle(), nullptr);

  // After fr the handle still creates, but the new component has no owner at all.
  auto f = Nw(main_, "TForm", "f");
  Call(f, "fr");
  auto loose = Nw(f, "TButton", "loose");
  EXPECT_EQ(static_cast<TComponent*>(Obj(loose))->Owner(), nullptr);
  EXPECT_EQ(HandleOf(loose)->ParentHandle(), nullptr);
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
}

// A refused move must not record the new parent handle.
TEST_F(Handles, RefusedPropParentChangesNothing) {
  auto f = Nw(main_, "TForm", "f");
  auto b = Nw(f, "TButton", "b");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(PutParent(b, Variant(font)), "Invalid class typecast");
  EXPECT_NE(PutParent(f, Variant(b)), "");
  EXPECT_EQ(HandleOf(b)->ParentHandle(), HandleOf(f));
  EXPECT_EQ(HandleOf(f)->ParentHandle(), HandleOf(main_));
  EXPECT_EQ(static_cast<TControl*>(Obj(f))->Parent(), Obj(main_));
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
  EXPECT_EQ(Call(b, "self").AsUI4(), HandleOf(b)->Serial());
}

// Names a script cannot give: sorting of the dot, and the sys quoting rule.
TEST_F(Handles, RegistryOrderAndQuoting) {
  auto b = Nw(main_, "TButton", "b1");
  auto font = Call(b, "propGet", {Variant("Font")}).AsDispatch();
  auto b10 = Nw(main_, "TButton", "b10");
  EXPECT_EQ(ListObjectNames(), "b1,b1.Font,b10,main");
  font.reset();

  TObject* f = static_cast<TControl*>(Obj(b))->Font();
  auto w = WrapObject(f, "a \"q\",x");
  EXPECT_EQ(ListObjectNames(), "\"a \"\"q\"\",x\",b1,b10,main");
  EXPECT_EQ(HandleOf(WrapObject(f, "other")), HandleOf(w));
  try {
    WrapObject(static_cast<TControl*>(Obj(main_))->Font(), "B1");
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Name already exists: B1");
  }
}

// An outside client that holds a run's handles past its end: the next run's names
// must not collide with them, and "main" names the new root only.
TEST_F(Handles, NextRunIsNotBlockedByHandlesHeldFromAnEarlierOne) {
  auto held = Nw(main_, "TForm", "runForm");
  auto heldFont = Call(held, "propGet", {Variant("Font")}).AsDispatch();
  main_.reset();  // the run ends; the client keeps its references

  main_ = CoJObject::Create();
  SetupMainObject(HandleOf(main_));
  EXPECT_EQ(ListObjectNames(), "main");
  EXPECT_EQ(HandleOf(GetRegisteredObject("main")), HandleOf(main_));
  auto again = Nw(main_, "TForm", "runForm");
  EXPECT_EQ(Str(again, "classN"), "TForm");
  auto againFont = Call(again, "propGet", {Variant("Font")}).AsDispatch();
  EXPECT_EQ(ListObjectNames(), "main,runForm,runForm.Font");
  // The old handles still serve their holder.
  EXPECT_EQ(Str(held, "classN"), "TForm");
  EXPECT_EQ(Str(heldFont, "classN"), "TFont");
}

// The registry at scale: sorted order, lookups with any letter case, removal from
// the middle, and generated names that take the lowest free number.
TEST_F(Handles, RegistryOrderAndLookupsAtAHundredThousandNames) {
  constexpr int kCount = 100000;
  std::vector<IDispatchPtr> held(kCount);
  for (int i = 0; i < kCount; ++i) {
    const int k = static_cast<int>((static_cast<long long>(i) * 7919) % kCount);
    held[k] = Nw(main_, "TFont", "n" + std::to_string(k));
  }
  auto check = [&](int step) {
    std::vector<std::string> names;
    std::stringstream list(ListObjectNames());
    for (std::string n; std::getline(list, n, ',');) names.push_back(n);
    for (size_t i = 1; i < names.size(); ++i) ASSERT_LT(CompareNames(names[i - 1], names[i]), 0);
    for (int k = 0; k < kCount; k += step) {
      TJObject* h = RegistryFind("N" + std::to_string(k));
      if (held[k])
        ASSERT_EQ(h, HandleOf(held[k])) << k;
      else
        ASSERT_EQ(h, nullptr) << k;
    }
  };
  check(1);
  for (int k = 0; k < kCount; k += 2) held[k].reset();
  const std::string names = ListObjectNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), ','), kCount / 2);
  check(1);

  auto a = Nw(main_, "TButton");
  auto b = Nw(main_, "TButton");
  auto c = Nw(main_, "TButton");
  b.reset();
  auto again = Nw(main_, "TButton");
  EXPECT_EQ(HandleOf(again)->Name(), "Button2");
  auto lower = Nw(main_, "tbutton");
  EXPECT_EQ(HandleOf(lower)->Name(), "button4");
  held.clear();
}

// A new handle's place in the registry is found once, before its component is made;
// if names came or went meanwhile (an event handler may make or free handles), it is
// searched again, and a name taken meanwhile is not entered twice.
TEST_F(Handles, APlaceFoundBeforeTheRegistryChangedIsSearchedAgain) {
  auto gone = Nw(main_, "TFont", "a1");
  const TRegistrySpot stale = RegistrySpotOf("m5");
  auto taken = Nw(main_, "TFont", "m5");
  gone.reset();
  IDispatchPtr late = CoJObject::Create();
  RegistryAddAt(stale, "m5", HandleOf(late));
  EXPECT_EQ(RegistryFind("M5"), HandleOf(taken));
  EXPECT_EQ(ListObjectNames(), "m5,main");

  const TRegistrySpot fresh = RegistrySpotOf("b7");
  RegistryAddAt(fresh, "b7", HandleOf(late));
  EXPECT_EQ(RegistryFind("B7"), HandleOf(late));
  EXPECT_EQ(ListObjectNames(), "b7,m5,main");
  late.reset();
  EXPECT_EQ(ListObjectNames(), "m5,main");
}
