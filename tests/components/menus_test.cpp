// Menu items on screen: the form's menu bar, drop-downs, shortcuts, check marks.

#include "Menus.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "Forms.h"
#include "StdCtrls.h"
#include "TypInfo.h"
#include "shown_form.h"

namespace {

QMenuBar* Bar(ShownForm& f) {
  return f.form.Widget()->findChild<QMenuBar*>();
}

}  // namespace

TEST(Menus, BarTakesRoomFromTheClientAreaOnlyWhileItShowsAnItem) {
  ShownForm f;
  auto* edit = new TEdit(&f.form);
  edit->SetParent(&f.form);
  edit->SetBounds(0, 0, 100, 20);
  auto* bottom = new TButton(&f.form);
  bottom->SetParent(&f.form);
  bottom->SetAlign(alBottom);
  EXPECT_EQ(f.form.ClientHeight(), 300);

  auto* file = new TMenuItem(&f.form);
  file->SetCaption("&File");
  QMenuBar* bar = Bar(f);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  const int h = bar->height();
  EXPECT_GT(h, 0);
  EXPECT_EQ(f.form.ClientHeight(), 300 - h);
  // Controls keep their client coordinates and sit below the bar.
  EXPECT_EQ(edit->Top(), 0);
  EXPECT_EQ(edit->Widget()->y(), h);
  EXPECT_EQ(bottom->Top() + bottom->Height(), f.form.ClientHeight());
  EXPECT_EQ(bottom->Widget()->geometry().bottom() + 1, 300);
  EXPECT_EQ(bar->width(), 400);

  file->SetVisible(false);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(f.form.ClientHeight(), 300);
  EXPECT_EQ(edit->Widget()->y(), 0);
  file->SetVisible(true);
  f.form.SetWidth(500);
  EXPECT_EQ(bar->width(), 500);
  file->Free();
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(f.form.ClientHeight(), 300);
}

TEST(Menus, ClicksOnTheBarAndInTheDropDownFireOnClick) {
  ShownForm f;
  auto* help = new TMenuItem(&f.form);
  help->SetCaption("Help");
  auto* file = new TMenuItem(&f.form);
  file->SetCaption("File");
  auto* open = new TMenuItem(file);
  open->SetCaption("Open");
  auto* off = new TMenuItem(file);
  off->SetCaption("Off");
  off->SetEnabled(false);
  EXPECT_EQ(file->Count(), 2);
  ASSERT_NE(file->Action()->menu(), nullptr);

  int helps = 0, opens = 0, offs = 0;
  help->SetEvent("OnClick", [&](TObject*) { ++helps; });
  open->SetEvent("OnClick", [&](TObject*) { ++opens; });
  off->SetEvent("OnClick", [&](TObject*) { ++offs; });
  QMenuBar* bar = Bar(f);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(help->Action()).center());
  EXPECT_EQ(helps, 1);

  // The drop-down opens on a click; choosing an item closes it and fires the item.
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file->Action()).center());
  QMenu* menu = file->Action()->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(off->Action()).center());
  EXPECT_EQ(offs, 0);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(open->Action()).center());
  EXPECT_EQ(opens, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }));
}

TEST(Menus, ShortCutsCheckMarksAndRadioGroups) {
  ShownForm f;
  auto* view = new TMenuItem(&f.form);
  view->SetCaption("View");
  auto* bold = new TMenuItem(view);
  bold->SetCaption("Bold");
  SetOrdProp(bold, GetPropInfo(TMenuItem::StaticClass(), "AutoCheck"), 1);
  SetOrdProp(bold, GetPropInfo(TMenuItem::StaticClass(), "ShortCut"), scCtrl | 'B');
  EXPECT_EQ(ShortCutToText(scCtrl | 'B'), "Ctrl+B");
  EXPECT_EQ(ShortCutToText(scShift | scAlt | 0x70), "Alt+Shift+F1");
  int clicks = 0;
  bold->SetEvent("OnClick", [&](TObject*) { ++clicks; });
  QTest::keyClick(f.form.Widget(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(bold->Checked());
  EXPECT_TRUE(bold->Action()->isChecked());
  bold->Action()->trigger();
  EXPECT_FALSE(bold->Checked());
  EXPECT_FALSE(bold->Action()->isChecked());

  // Without AutoCheck the user's choice leaves the mark as the program set it.
  auto* plain = new TMenuItem(view);
  plain->SetChecked(true);
  plain->Action()->trigger();
  EXPECT_TRUE(plain->Checked());
  EXPECT_TRUE(plain->Action()->isChecked());

  TMenuItem* radios[3];
  for (auto*& r : radios) {
    r = new TMenuItem(view);
    r->SetRadioItem(true);
    r->SetAutoCheck(true);
  }
  radios[2]->SetGroupIndex(1);
  radios[0]->SetChecked(true);
  radios[2]->SetChecked(true);
  radios[1]->Action()->trigger();
  EXPECT_FALSE(radios[0]->Checked());
  EXPECT_TRUE(radios[1]->Checked());
  EXPECT_TRUE(radios[2]->Checked());  // another group
  radios[1]->Action()->trigger();
  EXPECT_TRUE(radios[1]->Checked());  // a radio item stays on when chosen again
}

TEST(Menus, ItemsAndFormsGoInAnyOrder) {
  auto* form = new TForm(nullptr);
  auto* file = new TMenuItem(form);
  auto* quit = new TMenuItem(file);
  // A handler may free its own item while the toolkit is inside the action's signal.
  TWeakRef<TMenuItem> gone(quit);
  quit->SetEvent("OnClick", [&](TObject*) { quit->Free(); });
  quit->Action()->trigger();
  EXPECT_TRUE(gone);  // destroyed once control is back in the event loop
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(gone);
  EXPECT_EQ(file->Count(), 0);
  EXPECT_EQ(file->Action()->menu(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // The form takes its items with it.
  TWeakRef<TMenuItem> item(file);
  form->Free();
  EXPECT_FALSE(item);

  // An item moved from the bar into another item's menu leaves the bar.
  ShownForm f;
  auto* a = new TMenuItem(&f.form);
  auto* b = new TMenuItem(&f.form);
  b->Add(a);
  EXPECT_FALSE(Bar(f)->actions().contains(a->Action()));
  EXPECT_TRUE(b->Action()->menu()->actions().contains(a->Action()));
  EXPECT_THROW(a->Add(b), EComponentError);
}
