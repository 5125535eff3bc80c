// Controls skip the toolkit's accessibility objects while no assistive technology
// listens; these cases catch a control that stays mute, or wrongly described, once one
// does, and a placeholder that outlives its widget.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QPushButton>

#include "Forms.h"
#include "StdCtrls.h"

namespace {

// Turns the toolkit's accessibility on for one case, and off again after it.
struct Listening {
  Listening() { QAccessible::setActive(true); }
  ~Listening() { QAccessible::setActive(false); }
};

TButton* Button(TForm& form, const std::string& caption) {
  auto* b = new TButton(&form);
  b->SetParent(&form);
  b->SetCaption(caption);
  return b;
}

}  // namespace

TEST(Accessibility, ControlsMadeBeforeAnAssistiveTechnologyDescribeThemselvesAfter) {
  ASSERT_FALSE(QAccessible::isActive()) << "the case needs accessibility off at first";
  TForm form(nullptr);
  TButton* early = Button(form, "Press me");
  TLabel* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetCaption("Name:");
  // A widget of no control is the toolkit's business alone, listening or not.
  QPushButton plain("Plain", form.Widget());
  QAccessibleInterface* plainIface = QAccessible::queryAccessibleInterface(&plain);
  ASSERT_NE(plainIface, nullptr);
  EXPECT_EQ(plainIface->role(), QAccessible::Button);

  {
    const Listening on;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(early->Widget());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Button);
    EXPECT_EQ(iface->text(QAccessible::Name), "Press me");
    QAccessibleInterface* labelIface = QAccessible::queryAccessibleInterface(label->Widget());
    ASSERT_NE(labelIface, nullptr);
    EXPECT_EQ(labelIface->text(QAccessible::Name), "Name:");

    // Made while listening: described from the start, and its caption follows.
    TButton* late = Button(form, "Later");
    QAccessibleInterface* lateIface = QAccessible::queryAccessibleInterface(late->Widget());
    ASSERT_NE(lateIface, nullptr);
    EXPECT_EQ(lateIface->role(), QAccessible::Button);
    late->SetCaption("Renamed");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(late->Widget())->text(QAccessible::Name),
              "Renamed");
    // The parent knows its children.
    QAccessibleInterface* formIface = QAccessible::queryAccessibleInterface(form.Widget());
    ASSERT_NE(formIface, nullptr);
    EXPECT_GE(formIface->indexOfChild(iface), 0);
  }
}

TEST(Accessibility, ControlsWithPlaceholdersGoCleanly) {
  // Many controls captioned, freed one by one and with their form, while nobody
  // listens; then listening starts over the survivors. The address sanitizer catches
  // a placeholder left behind its widget.
  auto* form = new TForm(nullptr);
  std::vector<TButton*> buttons;
  for (int i = 0; i < 200; ++i) buttons.push_back(Button(*form, "b" + std::to_string(i)));
  for (int i = 0; i < 200; i += 2) buttons[i]->Free();
  QApplication::processEvents();
  {
    const Listening on;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(buttons[1]->Widget());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), "b1");
  }
  TButton* after = Button(*form, "quiet again");
  EXPECT_NE(QAccessible::queryAccessibleInterface(after->Widget()), nullptr);
  form->Free();
  QApplication::processEvents();
}
