// What a control connects or makes only once it is needed: a click or change
// handler bound late still fires, once per action, and a control that never gets one
// keeps the events the shared filter turns into its own.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "StdCtrls.h"
#include "shown_form.h"

TEST(Creation, HandlersBoundLateFireOncePerAction) {
  ShownForm f;
  auto* b = f.Add<TButton>(10, 10);
  auto* e = f.Add<TEdit>(10, 50);
  int clicks = 0, changes = 0;

  // A click before any handler fires nothing, and binding twice connects once.
  b->ButtonWidget()->click();
  b->SetEvent("OnClick", [&](TObject*) { clicks += 100; });
  b->SetEvent("OnClick", [&](TObject*) { ++clicks; });
  b->ButtonWidget()->click();
  QTest::mouseClick(b->Widget(), Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  b->SetEvent("OnClick", nullptr);
  b->ButtonWidget()->click();
  EXPECT_EQ(clicks, 2);
  b->SetEvent("OnClick", [&](TObject*) { ++clicks; });
  b->SetFocus();
  QTest::keyClick(b->Widget(), Qt::Key_Return);  // the button's own Enter
  EXPECT_EQ(clicks, 3);

  // A handler bound to another event does not connect the click.
  auto* other = f.Add<TButton>(100, 10);
  int enters = 0;
  other->SetEvent("OnEnter", [&](TObject*) { ++enters; });
  other->ButtonWidget()->click();
  other->SetFocus();
  EXPECT_EQ(enters, 1);

  e->SetText("before");
  e->SetEvent("OnChange", [&](TObject*) { ++changes; });
  e->SetEvent("OnChange", [&](TObject*) { ++changes; });
  e->SetText("after");
  EXPECT_EQ(changes, 1);
  e->SetFocus();
  QTest::keyClick(e->Widget(), Qt::Key_X);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(e->Text(), "afterx");
}

TEST(Creation, ControlsWithoutHandlersStillFollowTheirWidgets) {
  ShownForm f;
  auto* b = f.Add<TButton>(10, 10);
  // Sizes the toolkit gives the widget come back to the control through the shared
  // filter, which finds the control by its widget.
  b->Widget()->resize(140, 33);
  EXPECT_EQ(b->Width(), 140);
  EXPECT_EQ(b->Height(), 33);
  // A form keeps its own events with no signal connection made for it.
  int resized = 0;
  f.form.SetEvent("OnResize", [&](TObject*) { ++resized; });
  f.form.Widget()->resize(380, 290);
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(f.form.Width(), 380);
}
