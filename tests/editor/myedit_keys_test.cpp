// Key commands and caret reports of the code editor, typed with QTest.

#include <QAction>
#include <QMainWindow>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "u_myedit.h"

namespace {

class EditorKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    page = std::make_unique<QWidget>();
    page->resize(400, 300);
    ed = new TMyEdit(page.get());
    auto* layout = new QVBoxLayout(page.get());
    layout->addWidget(ed);
    page->show();
    ed->setFocus();
  }

  void Type(const std::string& text, TCaretPos caret) {
    ed->SetText(text);
    ed->SetCaretPos(caret);
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ed, static_cast<Qt::Key>(key), mods);
  }
  TCaretPos Caret() const { return ed->CaretPos(); }

  std::unique_ptr<QWidget> page;
  TMyEdit* ed = nullptr;
};

#define EXPECT_CARET(x, y)            \
  do {                                \
    EXPECT_EQ(Caret().X, (x)) << "X"; \
    EXPECT_EQ(Caret().Y, (y)) << "Y"; \
  } while (0)

// Enter must copy the whole indentation wherever the caret sits, replace a selection,
// and never be produced by a modified Enter (which the base editor would insert as a
// line or paragraph break).
TEST_F(EditorKeys, EnterCopiesIndentationAndModifiedEnterInsertsNothing) {
  Type("\t\t x = 1;", {6, 0});
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->Text(), "\t\t x =\r\n\t\t  1;");
  EXPECT_CARET(3, 1);

  Type("\t\t x", {1, 0});  // inside the indentation
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->Text(), "\t\r\n\t\t \t x");
  EXPECT_CARET(3, 1);

  Type("  abc def", {0, 0});
  ed->SetSelection(3, 4);  // "bc d"
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(ed->Text(), "  a\r\n  ef");
  EXPECT_CARET(2, 1);

  for (auto mods : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
    Type("ab", {1, 0});
    Key(Qt::Key_Return, mods);
    EXPECT_EQ(ed->Text(), "ab") << mods;
    EXPECT_EQ(ed->LineCount(), 1);
  }
}

TEST_F(EditorKeys, HomeAlternatesBetweenIndentationAndLineStart) {
  Type("x\r\n    y", {6, 1});
  Key(Qt::Key_Home);
  EXPECT_CARET(4, 1);
  Key(Qt::Key_Home);
  EXPECT_CARET(0, 1);
  Key(Qt::Key_Home);
  EXPECT_CARET(4, 1);

  ed->SetCaretPos({1, 0});  // no indentation: stays at column 0
  Key(Qt::Key_Home);
  EXPECT_CARET(0, 0);
  Key(Qt::Key_Home);
  EXPECT_CARET(0, 0);

  Type("\t  ", {1, 0});  // blanks only: end of line and column 0
  Key(Qt::Key_Home);
  EXPECT_CARET(3, 0);
  Key(Qt::Key_Home);
  EXPECT_CARET(0, 0);
  Key(Qt::Key_Home);
  EXPECT_CARET(3, 0);

  // Shift+Home is not the command: it selects as usual.
  Type("  ab", {4, 0});
  Key(Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_GT(ed->SelLength(), 0);
}

TEST_F(EditorKeys, CtrlYDeletesTheCaretLineAndKeepsTheColumn) {
  Type("one\r\ntwo2\r\nthree", {3, 1});
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "one\r\nthree");
  EXPECT_CARET(3, 1);

  ed->SetCaretPos({5, 1});  // last line, the new last line is shorter
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "one");
  EXPECT_CARET(3, 0);

  Key(Qt::Key_Y, Qt::ControlModifier);  // the only line
  EXPECT_EQ(ed->Text(), "");
  EXPECT_CARET(0, 0);
  EXPECT_TRUE(ed->Modified());
}

TEST_F(EditorKeys, CtrlASelectsAll) {
  Type("ab\r\ncd", {1, 0});
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(ed->SelStart(), 0);
  EXPECT_EQ(ed->SelLength(), 6);
}

// The word commands work on the caret's line only and ignore the selection.
TEST_F(EditorKeys, CtrlBackspaceAndCtrlDeleteRemoveWordsWithTheirBlanks) {
  Type("ab  cd  ", {8, 0});
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "ab  ");
  EXPECT_CARET(4, 0);

  Type("x\r\n\t  ", {3, 1});  // only blanks before the caret: all of them go
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "x\r\n");
  EXPECT_CARET(0, 1);

  Key(Qt::Key_Backspace, Qt::ControlModifier);  // column 0: never joins lines
  EXPECT_EQ(ed->Text(), "x\r\n");
  EXPECT_CARET(0, 1);

  Type("foo(bar) \tbaz qux", {3, 0});
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "foo \tbaz qux");
  EXPECT_CARET(3, 0);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "foo qux");
  EXPECT_CARET(3, 0);

  Type("ab\r\ncd", {2, 0});  // end of line: nothing, no join
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "ab\r\ncd");
  EXPECT_FALSE(ed->Modified());

  Type("one two three", {0, 0});
  ed->SetSelection(4, 5);  // caret (selection end) after "two t"
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "one two hree");
  EXPECT_CARET(8, 0);
  EXPECT_EQ(ed->SelLength(), 0);

  // A Ctrl+Backspace bound to a window action must not steal the editor's command.
  QMainWindow win;
  auto* action = new QAction(&win);
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
  int fired = 0;
  QObject::connect(action, &QAction::triggered, [&] { ++fired; });
  win.addAction(action);
  auto* ed2 = new TMyEdit(&win);
  win.setCentralWidget(ed2);
  win.show();
  win.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&win));
  ed2->setFocus();
  ed2->SetText("ab cd");
  ed2->SetCaretPos({5, 0});
  QTest::keyClick(ed2, Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(ed2->Text(), "ab ");
  EXPECT_EQ(fired, 0);
}

TEST_F(EditorKeys, WordBoundaries) {
  const QString line = QStringLiteral("  ab\t cd");
  EXPECT_EQ(TMyEdit::WordStartBefore(line, 8), 6);
  EXPECT_EQ(TMyEdit::WordStartBefore(line, 6), 2);
  EXPECT_EQ(TMyEdit::WordStartBefore(line, 2), 0);
  EXPECT_EQ(TMyEdit::WordStartBefore(line, 3), 2);
  EXPECT_EQ(TMyEdit::WordEndAfter(line, 0), 4);
  EXPECT_EQ(TMyEdit::WordEndAfter(line, 4), 8);
  EXPECT_EQ(TMyEdit::WordEndAfter(line, 8), 8);
}

TEST_F(EditorKeys, TabInsertsATabAndPlainTypingWorks) {
  Type("", {0, 0});
  Key(Qt::Key_Tab);
  QTest::keyClicks(ed, "if (a)");
  Key(Qt::Key_Backtab, Qt::ShiftModifier);  // Shift+Tab is the Tab key too
  EXPECT_EQ(ed->Text(), "\tif (a)\t");
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace);  // a plain Backspace still deletes one character
  EXPECT_EQ(ed->Text(), "\tif (a");
}

TEST_F(EditorKeys, CaretReportsAfterKeysAndClicksOnlyWhenMoved) {
  std::vector<std::pair<int, int>> reports;
  ed->OnCaretMove = [&](TMyEdit* sender) {
    EXPECT_EQ(sender, ed);
    reports.emplace_back(sender->LastCaretX, sender->LastCaretY);
  };
  ed->SetText("abc\r\ndefgh\r\nij");
  ed->SetCaretPos({0, 0});
  EXPECT_EQ(ed->LastCaretX, -1);  // nothing reported before the first event

  Key(Qt::Key_Right);
  Key(Qt::Key_Down);
  Key(Qt::Key_Shift);  // no move: no report
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], std::make_pair(1, 0));
  EXPECT_EQ(reports[1], std::make_pair(1, 1));

  // A click reports at once.
  const QRect r = ed->cursorRect(QTextCursor(ed->document()->findBlockByNumber(2)));
  QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 1, r.center().y()));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[2], std::make_pair(0, 2));

  // A selection made without a key or click is reported at the next of them.
  QTextCursor c = ed->textCursor();
  c.setPosition(2);
  c.setPosition(8, QTextCursor::KeepAnchor);
  ed->setTextCursor(c);
  EXPECT_EQ(reports.size(), 3u);
  QTest::keyRelease(ed, Qt::Key_Shift);
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[3], std::make_pair(4, 1));  // the end of the selection
}

// The workspace restore sets the selection, then scrolls from the top; showing the
// editor afterwards must keep that first visible line.
TEST_F(EditorKeys, SelectionOffsetsAndFirstVisibleLineSurviveShow) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\r\n";
  auto other = std::make_unique<QWidget>();
  auto* e = new TMyEdit(other.get());
  (new QVBoxLayout(other.get()))->addWidget(e);
  e->SetText(text);
  e->SetSelStart(16);  // "line 0\r\nline 1\r\n" is 16 characters: start of line 2
  EXPECT_EQ(e->CaretPos().Y, 2);
  EXPECT_EQ(e->CaretPos().X, 0);
  e->LineScroll(200);
  other->resize(400, 300);
  other->show();
  QApplication::processEvents();
  EXPECT_EQ(e->FirstVisibleLine(), 200);
  EXPECT_EQ(e->SelStart(), 16);

  e->SetSelStart(7);  // between CR and LF: the end of line 0
  EXPECT_EQ(e->CaretPos().Y, 0);
  EXPECT_EQ(e->CaretPos().X, 6);
  e->SetSelStart(1 << 30);
  EXPECT_EQ(e->SelStart(), static_cast<int>(text.size()));
  EXPECT_EQ(e->FirstVisibleLine(), 200);  // setting the selection does not scroll
}

TEST_F(EditorKeys, ReparentingRunsTheSetUp) {
  TMyEdit loose;
  EXPECT_NE(loose.objectName(), "MyEdit");
  loose.insertPlainText("x");
  EXPECT_TRUE(loose.Modified());
  loose.SetParent(page.get());
  EXPECT_EQ(loose.objectName(), "MyEdit");
  EXPECT_FALSE(loose.Modified());
  EXPECT_EQ(loose.lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_GT(loose.tabStopDistance(), 0);
  loose.setParent(nullptr);
}

}  // namespace
