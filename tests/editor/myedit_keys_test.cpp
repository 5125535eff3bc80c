// Key commands and caret reports of the code editor, typed with QTest.

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "u_myedit.h"

namespace {

class EditorKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    page->resize(400, 300);
    (new QVBoxLayout(page.get()))->addWidget(ed);
    page->show();
    ed->setFocus();
  }
  // Sets the text, puts the caret at (x, y), types one key; returns the text.
  std::string Press(const std::string& text, int x, int y, int key,
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
    ed->SetText(text);
    ed->SetCaretPos({x, y});
    QTest::keyClick(ed, static_cast<Qt::Key>(key), mods);
    return ed->Text();
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ed, static_cast<Qt::Key>(key), mods);
  }
  std::pair<int, int> Caret() const { return {ed->CaretPos().X, ed->CaretPos().Y}; }

  std::unique_ptr<QWidget> page = std::make_unique<QWidget>();
  TMyEdit* ed = new TMyEdit(page.get());
};

using XY = std::pair<int, int>;

// Enter copies the whole indentation wherever the caret sits and replaces a
// selection; a modified Enter (which the base editor turns into a break) types nothing.
TEST_F(EditorKeys, EnterCopiesIndentationAndModifiedEnterInsertsNothing) {
  EXPECT_EQ(Press("\t\t x = 1;", 6, 0, Qt::Key_Return), "\t\t x =\r\n\t\t  1;");
  EXPECT_EQ(Caret(), XY(3, 1));
  EXPECT_EQ(Press("\t\t x", 1, 0, Qt::Key_Return), "\t\r\n\t\t \t x");
  EXPECT_EQ(Caret(), XY(3, 1));

  ed->SetText("  abc def");
  ed->SetSelection(3, 4);
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(ed->Text(), "  a\r\n  ef");

  for (auto mods : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier})
    EXPECT_EQ(Press("ab", 1, 0, Qt::Key_Return, mods), "ab") << mods;
}

TEST_F(EditorKeys, HomeAlternatesBetweenIndentationAndLineStart) {
  Press("x\r\n    y", 6, 1, Qt::Key_Home);
  EXPECT_EQ(Caret(), XY(4, 1));
  Key(Qt::Key_Home);
  EXPECT_EQ(Caret(), XY(0, 1));
  Key(Qt::Key_Home);
  EXPECT_EQ(Caret(), XY(4, 1));

  Press("ab", 0, 0, Qt::Key_Home);  // no indentation: stays at column 0
  EXPECT_EQ(Caret(), XY(0, 0));

  Press("\t  ", 1, 0, Qt::Key_Home);  // blanks only: the line's end, then column 0
  EXPECT_EQ(Caret(), XY(3, 0));
  Key(Qt::Key_Home);
  EXPECT_EQ(Caret(), XY(0, 0));
}

TEST_F(EditorKeys, CtrlYDeletesTheCaretLineAndCtrlASelectsAll) {
  EXPECT_EQ(Press("one\r\ntwo2\r\nthree", 3, 1, Qt::Key_Y, Qt::ControlModifier), "one\r\nthree");
  EXPECT_EQ(Caret(), XY(3, 1));

  ed->SetCaretPos({5, 1});  // the last line; the new last line is shorter
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "one");
  EXPECT_EQ(Caret(), XY(3, 0));

  Key(Qt::Key_Y, Qt::ControlModifier);  // the only line
  EXPECT_EQ(ed->Text(), "");
  EXPECT_EQ(Caret(), XY(0, 0));
  EXPECT_TRUE(ed->Modified());

  Press("ab\r\ncd", 1, 0, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(ed->SelStart(), 0);
  EXPECT_EQ(ed->SelLength(), 6);
}

// The word commands work at the caret (the selection's end), never join lines, and
// are not taken away by a window shortcut on the same keys.
TEST_F(EditorKeys, CtrlBackspaceAndCtrlDeleteRemoveWordsWithTheirBlanks) {
  EXPECT_EQ(Press("ab  cd  ", 8, 0, Qt::Key_Backspace, Qt::ControlModifier), "ab  ");
  EXPECT_EQ(Caret(), XY(4, 0));
  EXPECT_EQ(Press("x\r\n\t  ", 3, 1, Qt::Key_Backspace, Qt::ControlModifier), "x\r\n");
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "x\r\n");
  EXPECT_EQ(Caret(), XY(0, 1));

  EXPECT_EQ(Press("foo(bar) \tbaz qux", 3, 0, Qt::Key_Delete, Qt::ControlModifier),
            "foo \tbaz qux");
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "foo qux");
  EXPECT_EQ(Caret(), XY(3, 0));
  EXPECT_EQ(Press("ab\r\ncd", 2, 0, Qt::Key_Delete, Qt::ControlModifier), "ab\r\ncd");
  EXPECT_FALSE(ed->Modified());

  ed->SetText("one two three");
  ed->SetSelection(4, 5);
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "one two hree");
  EXPECT_EQ(Caret(), XY(8, 0));

  QMainWindow win;
  auto* action = new QAction(&win);
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
  int fired = 0;
  QObject::connect(action, &QAction::triggered, [&] { ++fired; });
  win.addAction(action);
  auto* other = new TMyEdit(&win);
  win.setCentralWidget(other);
  win.show();
  win.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&win));
  other->SetText("ab cd");
  other->SetCaretPos({5, 0});
  QTest::keyClick(other, Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(other->Text(), "ab ");
  EXPECT_EQ(fired, 0);
}

TEST_F(EditorKeys, TabAndShiftTabTypeATab) {
  ed->SetText("");
  Key(Qt::Key_Tab);
  QTest::keyClicks(ed, "if (a)");
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(ed->Text(), "\tif (a)\t");
  Key(Qt::Key_Backspace);
  EXPECT_EQ(ed->Text(), "\tif (a)");
}

TEST_F(EditorKeys, CaretReportsAfterKeysAndClicksOnlyWhenMoved) {
  std::vector<XY> reports;
  ed->OnCaretMove = [&](TMyEdit* sender) {
    reports.emplace_back(sender->LastCaretX, sender->LastCaretY);
  };
  ed->SetText("abc\r\ndefgh\r\nij");
  Key(Qt::Key_Right);
  Key(Qt::Key_Down);
  Key(Qt::Key_Shift);  // no move: no report
  EXPECT_EQ(reports, (std::vector<XY>{{1, 0}, {1, 1}}));

  const QRect r = ed->cursorRect(QTextCursor(ed->document()->findBlockByNumber(2)));
  QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 1, r.center().y()));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[2], XY(0, 2));

  // A selection made without a key or click shows at the next one, by its end.
  QTextCursor c = ed->textCursor();
  c.setPosition(2);
  c.setPosition(8, QTextCursor::KeepAnchor);
  ed->setTextCursor(c);
  EXPECT_EQ(reports.size(), 3u);
  QTest::keyRelease(ed, Qt::Key_Shift);
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[3], XY(4, 1));
}

// The workspace restore sets the selection, then scrolls from the top; showing the
// editor afterwards must keep that first visible line. Offsets count CR LF as two.
TEST_F(EditorKeys, SelectionOffsetsAndFirstVisibleLineSurviveShow) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\r\n";
  QWidget hidden;
  auto* e = new TMyEdit(&hidden);
  (new QVBoxLayout(&hidden))->addWidget(e);
  e->SetText(text);
  e->SetSelStart(16);  // "line 0\r\nline 1\r\n": the start of line 2
  EXPECT_EQ(e->CaretPos().Y, 2);
  e->LineScroll(200);
  hidden.resize(400, 300);
  hidden.show();
  QApplication::processEvents();
  EXPECT_EQ(e->FirstVisibleLine(), 200);
  EXPECT_EQ(e->SelStart(), 16);

  e->SetSelStart(7);  // between CR and LF: the end of line 0
  EXPECT_EQ(e->CaretPos().X, 6);
  EXPECT_EQ(e->CaretPos().Y, 0);
  e->SetSelStart(1 << 30);
  EXPECT_EQ(e->SelStart(), static_cast<int>(text.size()));
  EXPECT_EQ(e->FirstVisibleLine(), 200);  // setting the selection does not scroll
}

}  // namespace
