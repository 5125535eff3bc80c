// Destroying components: long chains cost no stack per level, and frees requested by
// event handlers wait until the code that fired the event is done.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <vector>

#include "Controls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "ValEdit.h"

namespace {

// `count` buttons owned by `form` and shown on it, watched.
std::vector<TWeakRef<TButton>> AddButtons(TForm* form, int count) {
  std::vector<TWeakRef<TButton>> buttons;
  for (int i = 0; i < count; ++i) {
    auto* b = new TButton(form);
    b->SetParent(form);
    buttons.emplace_back(b);
  }
  return buttons;
}

}  // namespace

// Each component owns the next: the old recursive teardown overflowed the stack.
TEST(Destruction, LongOwnershipChainGoesWithoutRecursion) {
  constexpr int kDepth = 300000;
  auto* root = new TComponent(nullptr);
  TComponent* c = root;
  for (int i = 0; i < kDepth; ++i) c = new TComponent(c);
  TWeakRef<TComponent> last(c);
  root->Free();
  EXPECT_FALSE(last);
}

// Each control is the parent (and owner) of the next.
TEST(Destruction, LongParentChainGoesWithoutRecursion) {
  constexpr int kDepth = 3000;
  auto* root = new TWinControl(nullptr);
  TWinControl* c = root;
  std::vector<TWeakRef<TWinControl>> all;
  for (int i = 0; i < kDepth; ++i) {
    auto* next = new TWinControl(c);
    next->SetParent(c);
    all.emplace_back(next);
    c = next;
  }
  // A control parented here but owned elsewhere goes with its window too.
  TComponent stranger(nullptr);
  auto* guest = new TWinControl(&stranger);
  guest->SetParent(c);
  TWeakRef<TWinControl> guestRef(guest);
  root->Free();
  for (const auto& r : all) ASSERT_FALSE(r);
  EXPECT_FALSE(guestRef);
  EXPECT_EQ(stranger.ComponentCount(), 0);
}

// A handler that frees its own sender while the write that fired it runs: the write
// finishes on a live object, which is destroyed once the handler's caller is done.
TEST(Destruction, FreeInsideAHandlerWaitsForTheFiringWrite) {
  TForm form(nullptr);
  auto* v = new TValueListEditor(&form);
  TWeakRef<TValueListEditor> ref(v);
  int fired = 0;
  v->SetEvent("OnStringsChanging", [&](TObject* sender) {
    ++fired;
    sender->Free();
  });
  v->SetEvent("OnStringsChange", [&](TObject*) { ++fired; });
  {
    const TModelCall call;
    v->Strings()->Add("a=1");
    EXPECT_TRUE(ref);  // still there while the call runs
    EXPECT_TRUE(v->FreePending());
  }
  EXPECT_FALSE(ref);
  EXPECT_EQ(fired, 1);  // a component whose destruction waits fires nothing more
  EXPECT_EQ(form.ComponentCount(), 0);
}

// Without an open call the wait ends in the event loop.
TEST(Destruction, WaitingFreeEndsInTheEventLoop) {
  auto* f = new TForm(nullptr);
  TWeakRef<TForm> ref(f);
  f->SetEvent("OnResize", [](TObject* sender) { sender->Free(); });
  f->SetBounds(0, 0, 400, 300);
  EXPECT_TRUE(ref);
  QCoreApplication::processEvents();
  EXPECT_FALSE(ref);
}

// Frees gathered by a batch (the end of a run releasing every handle): each runs its
// OnDestroy at once while its form is whole, nothing goes before the batch ends, and
// then windows go with their children, a child whose window stays leaves it, and one
// owned by a freed form but shown on a window that stays goes with its owner.
TEST(Destruction, ABatchFreesTogetherAtItsEnd) {
  auto* outer = new TForm(nullptr);
  auto* inner = new TForm(outer);
  inner->SetParent(outer);
  const std::vector<TWeakRef<TButton>> buttons = AddButtons(inner, 2000);
  TForm stays(nullptr);
  auto* guest = new TButton(inner);
  guest->SetParent(&stays);
  auto* lone = new TButton(&stays);
  lone->SetParent(&stays);
  auto* neighbour = new TButton(&stays);
  neighbour->SetParent(&stays);
  TWeakRef<TButton> guestRef(guest), loneRef(lone);
  TWeakRef<TForm> innerRef(inner), outerRef(outer);
  int seenAtOnDestroy = -1;
  inner->SetEvent("OnDestroy", [&](TObject* sender) {
    seenAtOnDestroy = static_cast<TForm*>(sender)->ComponentCount();
  });
  {
    const TFreeBatch batch;
    // Released children first, as handles go: each child handle holds its parent's.
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) (*it)->Free();
    lone->Free();
    inner->Free();
    EXPECT_EQ(seenAtOnDestroy, 2001);
    outer->Free();
    { const TFreeBatch nested; }
    QCoreApplication::processEvents();
    for (const auto& b : buttons) ASSERT_TRUE(b);
    EXPECT_TRUE(innerRef && outerRef && loneRef && guestRef);
    EXPECT_TRUE(inner->FreePending() && lone->FreePending());
    EXPECT_FALSE(guest->FreePending());
  }
  for (const auto& b : buttons) ASSERT_FALSE(b);
  EXPECT_FALSE(innerRef || outerRef || loneRef || guestRef);
  ASSERT_EQ(stays.ControlCount(), 1);
  EXPECT_EQ(stays.Controls(0), neighbour);
  ASSERT_EQ(stays.ComponentCount(), 1);
  EXPECT_EQ(stays.Components(0), neighbour);
}

// A batch that ends while a call into the model is open leaves the destruction to the
// call's end, but the waiting components' names are free at once.
TEST(Destruction, ABatchEndingInsideACallFreesTheNamesAtOnce) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetName("ok");
  TWeakRef<TButton> ref(b);
  {
    const TModelCall call;
    {
      const TFreeBatch batch;
      b->Free();
    }
    EXPECT_TRUE(ref);
    EXPECT_EQ(form.FindComponent("ok"), nullptr);
    auto* again = new TButton(&form);
    again->SetName("ok");
  }
  EXPECT_FALSE(ref);
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0)->Name(), "ok");
}

// Widgets made since the loop last turned still have their style request posted; a
// window freeing many children delivers the queue's requests once first, so that no
// child searches the queue for its own on the way out. A window with few children
// leaves the queue alone.
TEST(Destruction, AWindowFreeingManyChildrenDeliversPostedStyleRequestsFirst) {
  QCoreApplication::processEvents();
  auto polished = [](QWidget* w) { return w->testAttribute(Qt::WA_WState_Polished); };

  auto* few = new TForm(nullptr);
  AddButtons(few, 3);
  QWidget early;  // not a control: its request is delivered, not dropped
  few->Free();
  EXPECT_FALSE(polished(&early));

  auto* many = new TForm(nullptr);
  const std::vector<TWeakRef<TButton>> children = AddButtons(many, 100);
  TForm kept(nullptr);
  auto* keptButton = new TButton(&kept);
  keptButton->SetParent(&kept);
  QWidget late;
  many->Free();
  EXPECT_TRUE(polished(&early));
  EXPECT_TRUE(polished(&late));
  for (const auto& c : children) EXPECT_FALSE(c);
  // A control elsewhere had its request dropped, as the loop would have; it is
  // styled when shown.
  EXPECT_FALSE(polished(keptButton->Widget()));
  QCoreApplication::processEvents();
  kept.Show();
  EXPECT_TRUE(polished(keptButton->Widget()));
}
