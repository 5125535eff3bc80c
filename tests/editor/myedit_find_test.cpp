// Find, replace and go to line, typed as a user types them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <utility>

#include "u_myedit.h"

namespace {

class EditorFind : public ::testing::Test {
 protected:
  void SetUp() override {
    page->resize(600, 300);
    (new QVBoxLayout(page.get()))->addWidget(ed);
    page->show();
    page->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    ed->setFocus();
  }
  // Keys go where the user's keys would: to the focused widget.
  static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), mods);
  }
  static void Type(const char* text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  std::pair<int, int> Selection() const { return {ed->SelStart(), ed->SelLength()}; }
  int Marked() const {
    int n = 0;
    for (const auto& s : ed->extraSelections())
      n += s.cursor.selectedText().compare("foo", Qt::CaseInsensitive) == 0;
    return n;
  }
  QWidget* Bar() const { return ed->findChild<QWidget*>("FindBar"); }
  QString Status() const { return ed->findChild<QLabel*>("FindStatus")->text(); }

  std::unique_ptr<QWidget> page = std::make_unique<QWidget>();
  TMyEdit* ed = new TMyEdit(page.get());
};

using Sel = std::pair<int, int>;

TEST_F(EditorFind, FindNextAndPreviousWrapAroundTheText) {
  ed->SetText("foo bar\r\nFOO foo");  // matches at offsets 0, 9 and 13
  ed->SetCaretPos({1, 0});
  Key(Qt::Key_F, Qt::ControlModifier);
  ASSERT_NE(Bar(), nullptr);
  EXPECT_TRUE(Bar()->isVisible());
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "FindText");
  Type("foo");
  Key(Qt::Key_Return);
  EXPECT_EQ(Selection(), Sel(9, 3));  // letter case is ignored unless asked for
  EXPECT_EQ(Marked(), 3) << "every match in view is marked";
  Key(Qt::Key_F3);
  EXPECT_EQ(Selection(), Sel(13, 3));
  Key(Qt::Key_F3);
  EXPECT_EQ(Selection(), Sel(0, 3));
  EXPECT_FALSE(Status().isEmpty()) << "a wrap is told";
  Key(Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(Selection(), Sel(13, 3));

  Key(Qt::Key_Escape);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_EQ(Marked(), 0);
  EXPECT_EQ(QApplication::focusWidget(), ed);
  Key(Qt::Key_F3, Qt::ShiftModifier);  // in the text, with the bar closed
  EXPECT_EQ(Selection(), Sel(9, 3));
  Key(Qt::Key_Right);
  Type("d");
  EXPECT_EQ(ed->Text(), "foo bar\r\nFOOd foo") << "typing goes on in the text";

  // With the case to match, FOO is skipped; a word not in the text changes nothing.
  Key(Qt::Key_F, Qt::ControlModifier);
  ed->findChild<QWidget*>("MatchCase")->setProperty("checked", true);
  Type("FOO");
  ed->SetCaretPos({0, 0});
  EXPECT_TRUE(ed->FindNext());
  EXPECT_EQ(Selection(), Sel(9, 3));
  EXPECT_TRUE(ed->FindNext());
  EXPECT_EQ(Selection(), Sel(9, 3));
  Key(Qt::Key_A, Qt::ControlModifier);
  Type("zzz");
  Key(Qt::Key_Return);
  EXPECT_EQ(Selection(), Sel(9, 3));
  EXPECT_TRUE(Status().contains("Not found"));
}

TEST_F(EditorFind, SelectedWordIsWhatCtrlFLooksFor) {
  ed->SetText("alpha beta\r\nbeta");
  ed->SetSelection(6, 4);
  Key(Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(ed->findChild<QLineEdit*>("FindText")->text(), "beta");
  Key(Qt::Key_Return);
  EXPECT_EQ(Selection(), Sel(12, 4));
}

TEST_F(EditorFind, ReplaceOneAtATimeOrAllInOneUndoStep) {
  ed->SetText("a-a-a\r\na");
  Key(Qt::Key_H, Qt::ControlModifier);
  Type("a");
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "ReplaceText");
  Type("bb");
  Key(Qt::Key_Return);  // nothing selected yet: finds the first
  EXPECT_EQ(ed->Text(), "a-a-a\r\na");
  EXPECT_EQ(Selection(), Sel(0, 1));
  Key(Qt::Key_Return);  // replaces it and finds the next
  EXPECT_EQ(ed->Text(), "bb-a-a\r\na");
  EXPECT_EQ(Selection(), Sel(3, 1));

  QTest::mouseClick(ed->findChild<QPushButton*>("ReplaceAll"), Qt::LeftButton);
  EXPECT_EQ(ed->Text(), "bb-bb-bb\r\nbb");
  EXPECT_TRUE(Status().startsWith("3"));
  ed->setFocus();
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "bb-a-a\r\na");
}

TEST_F(EditorFind, GoToLineMovesTheCaretAndReportsIt) {
  std::string text;
  for (int i = 1; i <= 300; ++i) text += "line " + std::to_string(i) + "\r\n";
  ed->SetText(text);
  ed->CheckCaretMove();  // the first check always reports
  int reports = 0;
  ed->OnCaretMove = [&](TMyEdit*) { ++reports; };
  Key(Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(ed->findChild<QLineEdit*>("FindText")->text(), "1");
  Type("250");
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->CaretPos().Y, 249);
  EXPECT_EQ(ed->CaretPos().X, 0);
  EXPECT_EQ(reports, 1);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), ed);
  EXPECT_LE(ed->FirstVisibleLine(), 249);
  EXPECT_GT(ed->FirstVisibleLine(), 200) << "the line is scrolled into view";

  Key(Qt::Key_G, Qt::ControlModifier);
  Type("x");
  Key(Qt::Key_Return);
  EXPECT_TRUE(Bar()->isVisible()) << "a bad number is told, not obeyed";
  EXPECT_EQ(ed->CaretPos().Y, 249);
  Key(Qt::Key_A, Qt::ControlModifier);
  Type("99999");
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->CaretPos().Y, 300);  // the last line
}

}  // namespace
