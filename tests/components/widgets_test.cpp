// What the properties do on screen, and the events that user actions fire, driven
// with QTest on the real widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

#include "Forms.h"
#include "StdCtrls.h"
#include "TypInfo.h"
#include "ValEdit.h"
#include "shown_form.h"

namespace {

void Count(TComponent* c, const char* event, int& n) {
  c->SetEvent(event, [&n](TObject*) { ++n; });
}

}  // namespace

TEST(OnScreen, VisibleEnabledFontHintReadBackFromWidgets) {
  ShownForm f;
  auto* b = f.Add<TButton>(10, 10);
  EXPECT_TRUE(b->Widget()->isVisible());
  b->SetVisible(false);
  EXPECT_FALSE(b->Widget()->isVisible());
  b->SetVisible(true);
  b->SetEnabled(false);
  EXPECT_FALSE(b->Widget()->isEnabled());

  b->Font()->SetSize(14);
  b->Font()->SetStyle((1 << fsBold) | (1 << fsItalic));
  b->Font()->SetColor(clRed);
  EXPECT_EQ(b->Widget()->font().pointSize(), 14);
  EXPECT_TRUE(b->Widget()->font().bold());
  EXPECT_TRUE(b->Widget()->font().italic());
  EXPECT_EQ(b->Widget()->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
  EXPECT_FALSE(b->ParentFont());
  EXPECT_EQ(b->Font()->Height(), -19);

  // A child that keeps ParentFont follows its parent's font.
  auto* l = f.Add<TLabel>(10, 50);
  f.form.Font()->SetName("Monospace");
  EXPECT_EQ(l->Font()->Name(), "Monospace");
  EXPECT_EQ(b->Font()->Name() == "Monospace", false);

  b->SetHint("press me");
  EXPECT_EQ(b->Widget()->toolTip(), "");  // ShowHint is off
  b->SetShowHint(true);
  EXPECT_EQ(b->Widget()->toolTip().toStdString(), "press me");
}

TEST(OnScreen, LabelAutoSizeAndEditOptions) {
  ShownForm f;
  auto* l = f.Add<TLabel>(0, 0);
  l->SetCaption("a rather long caption");
  const int wide = l->Width();
  l->SetCaption("x");
  EXPECT_LT(l->Width(), wide);
  l->SetCaption("&File");
  EXPECT_EQ(l->LabelWidget()->text().toStdString(), "File");

  auto* e = f.Add<TEdit>(0, 40);
  e->SetCharCase(ecUpperCase);
  e->SetMaxLength(4);
  e->SetFocus();
  QTest::keyClicks(e->Widget(), "abcdef");
  EXPECT_EQ(e->Text(), "ABCD");
  e->SetPasswordChar('*');
  EXPECT_EQ(e->LineEditWidget()->echoMode(), QLineEdit::Password);
  e->SetReadOnly(true);
  QTest::keyClicks(e->Widget(), "z");
  EXPECT_EQ(e->Text(), "ABCD");
}

TEST(Events, ClicksFromTheMouse) {
  ShownForm f;
  int button = 0, label = 0, form = 0, list = 0;
  auto* b = f.Add<TButton>(10, 10);
  Count(b, "OnClick", button);
  auto* l = f.Add<TLabel>(10, 60);
  l->SetCaption("label");
  Count(l, "OnClick", label);
  Count(&f.form, "OnClick", form);
  auto* box = f.Add<TListBox>(200, 10);
  box->Items()->Add("one");
  box->Items()->Add("two");
  Count(box, "OnClick", list);

  QTest::mouseClick(b->Widget(), Qt::LeftButton);
  QTest::mouseClick(l->Widget(), Qt::LeftButton);
  QTest::mouseClick(f.form.Widget(), Qt::LeftButton, {}, QPoint(300, 250));
  QListWidget* lw = box->ListWidget();
  QTest::mouseClick(lw->viewport(), Qt::LeftButton, {}, lw->visualItemRect(lw->item(1)).center());
  EXPECT_EQ(button, 1);
  EXPECT_EQ(label, 1);  // and not the form's click as well
  EXPECT_EQ(form, 1);
  EXPECT_EQ(list, 1);
  EXPECT_EQ(box->ItemIndex(), 1);
}

TEST(Events, CheckBoxClickOnEveryChangeOfChecked) {
  ShownForm f;
  auto* c = f.Add<TCheckBox>(10, 10);
  int clicks = 0;
  Count(c, "OnClick", clicks);
  QTest::mouseClick(c->Widget(), Qt::LeftButton, {}, QPoint(5, c->Height() / 2));
  EXPECT_TRUE(c->Checked());
  EXPECT_EQ(c->CheckBoxWidget()->checkState(), Qt::Checked);
  c->SetChecked(false);  // a write counts too
  EXPECT_EQ(clicks, 2);
  c->SetChecked(false);
  EXPECT_EQ(clicks, 2);
  c->SetAllowGrayed(true);
  c->CheckBoxWidget()->click();
  EXPECT_EQ(c->State(), cbGrayed);
  c->CheckBoxWidget()->click();
  EXPECT_EQ(c->State(), cbChecked);
}

TEST(Events, ChangeOnTypingAndOnWrites) {
  ShownForm f;
  auto* e = f.Add<TEdit>(10, 10);
  auto* m = f.Add<TMemo>(10, 50);
  int edits = 0, memos = 0;
  Count(e, "OnChange", edits);
  Count(m, "OnChange", memos);
  e->SetFocus();
  QTest::keyClicks(e->Widget(), "abc");
  EXPECT_EQ(edits, 3);
  e->SetText("xyz");
  EXPECT_EQ(edits, 4);
  m->SetFocus();
  QTest::keyClicks(m->Widget(), "hi");
  m->Lines()->Add("line");
  EXPECT_EQ(memos, 3);
  EXPECT_EQ(m->Lines()->Get(1), "line");
}

TEST(Events, EnterAndExitFollowTheFocus) {
  ShownForm f;
  auto* a = f.Add<TEdit>(10, 10);
  auto* b = f.Add<TButton>(10, 50);
  std::string log;
  a->SetEvent("OnEnter", [&](TObject*) { log += "a+"; });
  a->SetEvent("OnExit", [&](TObject*) { log += "a-"; });
  b->SetEvent("OnEnter", [&](TObject*) { log += "b+"; });
  a->SetFocus();
  b->SetFocus();
  EXPECT_EQ(log, "a+a-b+");
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(f.form.ActiveControl(), b);
}

// Enter and Esc press the Default and Cancel buttons; a memo that wants returns keeps
// Enter for itself.
TEST(Events, DefaultAndCancelButtons) {
  ShownForm f;
  auto* ok = f.Add<TButton>(10, 10);
  auto* cancel = f.Add<TButton>(100, 10);
  auto* e = f.Add<TEdit>(10, 50);
  auto* m = f.Add<TMemo>(10, 100);
  ok->SetDefault(true);
  cancel->SetCancel(true);
  int oks = 0, cancels = 0;
  Count(ok, "OnClick", oks);
  Count(cancel, "OnClick", cancels);
  e->SetFocus();
  QTest::keyClick(e->Widget(), Qt::Key_Return);
  QTest::keyClick(e->Widget(), Qt::Key_Escape);
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(cancels, 1);
  m->SetFocus();
  QTest::keyClick(m->Widget(), Qt::Key_Return);
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(m->Lines()->Count(), 1);
  m->SetWantReturns(false);
  m->Lines()->Clear();
  QTest::keyClick(m->Widget(), Qt::Key_Return);
  EXPECT_EQ(oks, 2);
  EXPECT_EQ(m->Lines()->Count(), 0);
  cancel->SetFocus();  // a focused button takes Enter itself
  QTest::keyClick(cancel->Widget(), Qt::Key_Return);
  EXPECT_EQ(cancels, 2);
  EXPECT_EQ(oks, 2);
}

// A handler that frees its own component (or the whole form) must not crash the
// toolkit, which is still inside the widget's signal.
TEST(Events, HandlerMayFreeItsOwnComponent) {
  auto* f = new ShownForm;
  auto* b = f->Add<TButton>(10, 10);
  TWeakRef<TButton> wb(b);
  b->SetEvent("OnClick", [b](TObject*) { b->Free(); });
  QTest::mouseClick(b->Widget(), Qt::LeftButton);
  EXPECT_TRUE(wb);  // destroyed once control is back in the event loop
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(wb);
  auto* b2 = f->Add<TButton>(10, 10);
  b2->SetEvent("OnClick", [f](TObject*) { delete f; });
  QTest::mouseClick(b2->Widget(), Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What a window needs only on screen (the application's icon, a widget's style) waits
// until a window shows: made and laid out while hidden, even with the event loop
// turning in between, nothing is done yet; shown, all of it is there.
TEST(OnScreen, StyleAndIconWaitForTheFirstWindow) {
  int hooks = 0;
  bool hiddenAtHook = false;
  TForm outer(nullptr);
  BeforeFirstFormWindow([&] {
    ++hooks;
    hiddenAtHook = !outer.Widget()->isVisible();
  });
  auto* inner = new TForm(&outer);
  inner->SetParent(&outer);
  inner->Show();
  auto* b = new TButton(&outer);
  b->SetParent(&outer);
  b->SetCaption("Styled");
  QCoreApplication::processEvents();
  EXPECT_EQ(hooks, 0);
  EXPECT_FALSE(b->Widget()->testAttribute(Qt::WA_WState_Polished));

  outer.SetBounds(100, 100, 300, 200);
  outer.Show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(outer.Widget()));
  EXPECT_EQ(hooks, 1);
  EXPECT_TRUE(hiddenAtHook);
  EXPECT_TRUE(b->Widget()->testAttribute(Qt::WA_WState_Polished));
  EXPECT_TRUE(inner->Widget()->testAttribute(Qt::WA_WState_Polished));
  // A control added to the window on screen is styled as it shows.
  auto* late = new TButton(&outer);
  late->SetParent(&outer);
  QCoreApplication::processEvents();
  EXPECT_TRUE(late->Widget()->isVisible());
  EXPECT_TRUE(late->Widget()->testAttribute(Qt::WA_WState_Polished));
  TForm second(nullptr);
  second.Show();
  EXPECT_EQ(hooks, 1);
}

TEST(Events, FormShowHideResizeAndGridEvents) {
  TForm form(nullptr);
  std::string log;
  form.SetEvent("OnShow", [&](TObject*) { log += "show "; });
  form.SetEvent("OnHide", [&](TObject*) { log += "hide "; });
  form.SetEvent("OnResize", [&](TObject*) { log += "resize "; });
  form.Show();
  form.SetWidth(500);
  form.Hide();
  EXPECT_EQ(log, "show resize hide ");

  ShownForm f;
  auto* g = f.Add<TValueListEditor>(0, 0);
  g->SetBounds(0, 0, 300, 100);
  for (int i = 0; i < 30; ++i) g->Strings()->Add("k" + std::to_string(i) + "=v");
  int top = 0, edit = 0, click = 0;
  Count(g, "OnTopLeftChanged", top);
  Count(g, "OnEditButtonClick", edit);
  Count(g, "OnClick", click);
  g->GridWidget()->scrollToBottom();
  EXPECT_GE(top, 1);
  g->SetFocus();
  QTest::keyClick(g->Widget(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(edit, 1);
  QTableWidget* t = g->GridWidget();
  QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(29, 0)).center());
  EXPECT_EQ(click, 1);
}

TEST(Events, GridKeyOptionsAddAndDeleteRows) {
  ShownForm f;
  auto* g = f.Add<TValueListEditor>(0, 0);
  g->Strings()->Add("a=1");
  EXPECT_THROW(g->InsertRowForUser(), EComponentError);
  g->SetKeyOptions((1 << keyAdd) | (1 << keyDelete));
  g->SetFocus();
  g->GridWidget()->setCurrentCell(0, 0);
  QTest::keyClick(g->Widget(), Qt::Key_Down);  // past the last row
  EXPECT_EQ(g->Strings()->Count(), 2);
  QTest::keyClick(g->Widget(), Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(g->Strings()->Count(), 1);
  EXPECT_EQ(g->Strings()->Get(0), "a=1");
}

TEST(Events, FormOnDestroyRunsOnceWhileTheFormIsWhole) {
  auto* form = new TForm(nullptr);
  auto* b = new TButton(form);
  int runs = 0;
  form->SetEvent("OnDestroy", [&](TObject* sender) {
    ++runs;
    EXPECT_EQ(static_cast<TForm*>(sender)->ComponentCount(), 1);
    EXPECT_EQ(b->Owner(), form);
    sender->Free();  // freeing it again from the handler is harmless
  });
  TWeakRef<TForm> wf(form);
  form->Free();
  EXPECT_FALSE(wf);
  EXPECT_EQ(runs, 1);
}

TEST(OnScreen, WrappedCaptionsFollowTheWidth) {
  ShownForm f;
  auto* b = f.Add<TButton>(10, 10);
  b->SetBounds(10, 10, 80, 60);
  b->SetCaption("Save all open pages now");
  EXPECT_EQ(b->ButtonWidget()->text(), "Save all open pages now");
  b->SetWordWrap(true);
  const QString wrapped = b->ButtonWidget()->text();
  EXPECT_GE(wrapped.count('\n'), 2);
  EXPECT_EQ(QString(wrapped).replace('\n', ' '), "Save all open pages now");
  b->SetWidth(400);
  EXPECT_EQ(b->ButtonWidget()->text(), "Save all open pages now");  // room again: one line
  b->SetWidth(80);
  EXPECT_EQ(b->ButtonWidget()->text(), wrapped);
  EXPECT_EQ(b->Caption(), "Save all open pages now");

  auto* c = f.Add<TCheckBox>(10, 100);
  c->SetBounds(10, 100, 90, 40);
  c->SetCaption("Remember this choice");
  c->SetWordWrap(true);
  EXPECT_TRUE(c->CheckBoxWidget()->text().contains('\n'));
  c->SetWordWrap(false);
  EXPECT_EQ(c->CheckBoxWidget()->text(), "Remember this choice");
}

TEST(Events, HoverDoubleClickActivationAndPaint) {
  ShownForm f;
  auto* l = f.Add<TLabel>(10, 10);
  l->SetCaption("hover here");
  std::string log;
  l->SetEvent("OnMouseEnter", [&](TObject*) { log += "enter "; });
  l->SetEvent("OnMouseLeave", [&](TObject*) { log += "leave "; });
  l->SetEvent("OnDblClick", [&](TObject*) { log += "dbl "; });
  QTest::mouseMove(f.form.Widget(), QPoint(300, 250));
  QTest::mouseMove(l->Widget(), QPoint(3, 3));
  QTest::mouseMove(f.form.Widget(), QPoint(350, 280));
  QTest::mouseDClick(l->Widget(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(log, "enter leave dbl ");

  int paints = 0;
  Count(&f.form, "OnPaint", paints);
  f.form.Widget()->repaint();
  EXPECT_GE(paints, 1);

  log.clear();
  f.form.SetEvent("OnActivate", [&](TObject*) { log += "activate "; });
  f.form.SetEvent("OnDeactivate", [&](TObject*) { log += "deactivate "; });
  TForm other(nullptr);
  other.Show();
  QApplication::setActiveWindow(other.Widget());
  QApplication::setActiveWindow(f.form.Widget());
  EXPECT_EQ(log, "deactivate activate ");
}

TEST(Events, LabelAccessKeyFocusesItsControl) {
  ShownForm f;
  auto* l = f.Add<TLabel>(10, 10);
  auto* e1 = f.Add<TEdit>(10, 40);
  auto* e2 = f.Add<TEdit>(10, 70);
  l->SetCaption("&Name");
  EXPECT_EQ(l->LabelWidget()->text(), "Name");
  l->SetFocusControl(e2);
  e1->SetFocus();
  QTest::keyClick(f.form.Widget(), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(e2->Focused());
  e2->Free();
  EXPECT_EQ(l->FocusControl(), nullptr);
}

TEST(OnScreen, DirectionSelectionSizeAndInputMethodsOfEditBoxes) {
  ShownForm f;
  auto* e1 = f.Add<TEdit>(10, 10);
  auto* e2 = f.Add<TEdit>(10, 40);
  auto* c = f.Add<TCheckBox>(10, 70);
  e2->SetText("some text");

  // Right to left mirrors the form and the children that follow it.
  f.form.SetBiDiMode(bdRightToLeft);
  EXPECT_EQ(e1->Widget()->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(e2->BiDiMode(), bdRightToLeft);
  EXPECT_EQ(c->CheckBoxWidget()->layoutDirection(), Qt::RightToLeft);  // box on the right
  e2->SetBiDiMode(bdLeftToRight);
  EXPECT_FALSE(e2->ParentBiDiMode());
  f.form.SetBiDiMode(bdRightToLeftReadingOnly);
  EXPECT_EQ(e1->Widget()->layoutDirection(), Qt::LeftToRight);
  EXPECT_EQ(e1->BiDiMode(), bdRightToLeftReadingOnly);
  EXPECT_EQ(e2->BiDiMode(), bdLeftToRight);
  f.form.SetBiDiMode(bdLeftToRight);

  // Tab into a box selects its text only with AutoSelect.
  e1->SetFocus();
  QTest::keyClick(e1->Widget(), Qt::Key_Tab);
  ASSERT_TRUE(e2->Focused());
  EXPECT_EQ(e2->LineEditWidget()->selectedText(), "some text");
  e2->SetAutoSelect(false);
  e1->SetFocus();
  QTest::keyClick(e1->Widget(), Qt::Key_Tab);
  ASSERT_TRUE(e2->Focused());
  EXPECT_EQ(e2->LineEditWidget()->selectedText(), "");

  // The height follows the font unless AutoSize is off.
  e1->Font()->SetSize(24);
  EXPECT_EQ(e1->Height(), e1->Widget()->sizeHint().height());
  EXPECT_GT(e1->Height(), 30);
  e1->SetAutoSize(false);
  e1->SetHeight(21);
  e1->Font()->SetSize(30);
  EXPECT_EQ(e1->Height(), 21);

  EXPECT_TRUE(e1->Widget()->testAttribute(Qt::WA_InputMethodEnabled));
  e1->SetImeMode(imDisable);
  EXPECT_FALSE(e1->Widget()->testAttribute(Qt::WA_InputMethodEnabled));
  e1->SetImeMode(imOpen);
  EXPECT_TRUE(e1->Widget()->testAttribute(Qt::WA_InputMethodEnabled));
}

TEST(OnScreen, SelectionShowsWithoutTheFocusOnlyWhenNotHidden) {
  ShownForm f;
  auto* e = f.Add<TEdit>(10, 10);
  auto* m = f.Add<TMemo>(10, 40);
  auto* other = f.Add<TButton>(10, 200);
  e->SetText("hello world");
  m->Lines()->Add("hello world");
  auto highlighted = [&](TControl* c) {
    const QImage img = c->Widget()->grab().toImage();
    const QColor hl = c->Widget()->palette().color(QPalette::Active, QPalette::Highlight);
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
      for (int y = 0; y < img.height(); ++y) n += img.pixelColor(x, y) == hl;
    return n;
  };
  auto selectThenLeave = [&](TCustomEdit* box) {
    box->SetFocus();
    if (box == e)
      e->SelectAll();
    else
      m->MemoWidget()->selectAll();
    other->SetFocus();
  };
  selectThenLeave(m);
  EXPECT_EQ(highlighted(m), 0);
  m->SetHideSelection(false);
  EXPECT_GT(highlighted(m), 0);

  selectThenLeave(e);
  EXPECT_EQ(e->LineEditWidget()->selectedText(), "");
  e->SetHideSelection(false);
  selectThenLeave(e);
  EXPECT_EQ(e->LineEditWidget()->selectedText(), "hello world");
}

TEST(OnScreen, FormScrollsToControlsBeyondItsClientArea) {
  ShownForm f;
  f.form.SetBounds(100, 100, 200, 150);
  auto* top = f.Add<TEdit>(0, 0);
  top->SetAlign(alTop);
  auto* far = f.Add<TButton>(300, 400);
  QCoreApplication::processEvents();
  auto* hbar = f.form.Widget()->findChild<QScrollBar*>();
  ASSERT_NE(hbar, nullptr);
  QScrollBar* vbar = nullptr;
  for (auto* b : f.form.Widget()->findChildren<QScrollBar*>())
    if (b->orientation() == Qt::Vertical) vbar = b;
  ASSERT_NE(vbar, nullptr);
  EXPECT_TRUE(hbar->isVisible());
  EXPECT_TRUE(vbar->isVisible());
  EXPECT_EQ(f.form.ClientWidth(), 200 - vbar->width());
  EXPECT_EQ(top->Width(), f.form.ClientWidth());  // aligned controls fit the view
  EXPECT_EQ(vbar->maximum(), 400 + far->Height() - f.form.ClientHeight());

  // Scrolling moves the free controls, not the aligned ones; Top stays as written.
  f.form.ScrollTo(0, vbar->maximum());
  EXPECT_EQ(far->Widget()->y(), 400 - vbar->maximum());
  EXPECT_EQ(far->Top(), 400);
  EXPECT_EQ(top->Widget()->y(), 0);
  QWheelEvent up(QPointF(50, 50), f.form.Widget()->mapToGlobal(QPointF(50, 50)), QPoint(),
                 QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(f.form.Widget(), &up);
  EXPECT_LT(f.form.ScrollY(), vbar->maximum());

  // Back within reach, or AutoScroll off: no bars, the view at its origin.
  far->SetBounds(10, 60, 75, 25);
  QCoreApplication::processEvents();
  EXPECT_FALSE(vbar->isVisible());
  EXPECT_EQ(f.form.ScrollY(), 0);
  EXPECT_EQ(far->Widget()->y(), 60);
  far->SetTop(400);
  f.form.SetAutoScroll(false);
  QCoreApplication::processEvents();
  EXPECT_FALSE(vbar->isVisible());
  EXPECT_EQ(far->Widget()->y(), 400);
  EXPECT_EQ(f.form.ClientHeight(), 150);
}

TEST(OnScreen, FormBorderWidthKeepsAMarginInside) {
  ShownForm f;
  auto* b = f.Add<TButton>(0, 0);
  auto* bottom = f.Add<TMemo>(0, 0);
  bottom->SetAlign(alBottom);
  f.form.SetBorderWidth(8);
  EXPECT_EQ(f.form.ClientWidth(), 400 - 16);
  EXPECT_EQ(f.form.ClientHeight(), 300 - 16);
  EXPECT_EQ(b->Widget()->pos(), QPoint(8, 8));
  EXPECT_EQ(bottom->Widget()->geometry().bottom() + 1, 300 - 8);
  EXPECT_EQ(bottom->Width(), 400 - 16);
}
