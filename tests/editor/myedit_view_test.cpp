// What the code editor shows around the text: colours, the line-number margin, the
// current line, matching brackets, error marks; undo and redo; one document in two
// editors.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "u_myedit.h"
#include "u_myedit_colour.h"

namespace {

using Kinds = std::vector<std::pair<std::string, TColourKind>>;

// The coloured pieces of one line, as text.
Kinds Colours(const QString& line, int* state = nullptr) {
  QList<TColourRange> ranges;
  const int end = ScanJsLine(line, state ? *state : ssCode, &ranges);
  if (state) *state = end;
  Kinds out;
  for (const TColourRange& r : ranges)
    out.emplace_back(line.mid(r.Start, r.Length).toStdString(), r.Kind);
  return out;
}

using K = TColourKind;

TEST(EditorColours, TellsJavaScriptTokensApart) {
  EXPECT_EQ(Colours("var s = \"a\\\"b\" + 'c' + 0x1F + 2.5e3; // note"),
            (Kinds{{"var", K::Keyword},
                   {"\"a\\\"b\"", K::String},
                   {"'c'", K::String},
                   {"0x1F", K::Number},
                   {"2.5e3", K::Number},
                   {"// note", K::Comment}}));
  // Member names that are keywords elsewhere stay plain; so do names holding digits.
  EXPECT_EQ(Colours("o.new(x1, this.delete)"), (Kinds{{"this", K::Keyword}}));

  // A slash after a value divides; after an operator or a keyword it opens a pattern.
  EXPECT_EQ(Colours("a = b / c / d;"), Kinds{});
  EXPECT_EQ(Colours("r = /a[/]b\\//gi.test(s)"), (Kinds{{"/a[/]b\\//gi", K::Regex}}));
  EXPECT_EQ(Colours("return /x/"), (Kinds{{"return", K::Keyword}, {"/x/", K::Regex}}));
  EXPECT_EQ(Colours("f(x) / 2 / y"), (Kinds{{"2", K::Number}}));

  // An include directive is a line of its own colour, even indented.
  EXPECT_EQ(Colours("  #include \"lib/a.js\""), (Kinds{{"#include \"lib/a.js\"", K::Directive}}));
}

// Comments and template literals go on over line ends; the state carried from one
// line to the next is what the lazy colouring keeps.
TEST(EditorColours, BlockCommentsAndTemplatesSpanLines) {
  int state = ssCode;
  EXPECT_EQ(Colours("x = 1; /* start", &state),
            (Kinds{{"1", K::Number}, {"/* start", K::Comment}}));
  EXPECT_EQ(state, ssBlockComment);
  EXPECT_EQ(Colours("var \"not a string", &state), (Kinds{{"var \"not a string", K::Comment}}));
  EXPECT_EQ(Colours("end */ var", &state), (Kinds{{"end */", K::Comment}, {"var", K::Keyword}}));
  EXPECT_EQ(state, ssCode);

  EXPECT_EQ(Colours("s = `a ${b}", &state), (Kinds{{"`a ${b}", K::String}}));
  EXPECT_EQ(state, ssTemplate);
  EXPECT_EQ(Colours("#include in a template", &state),
            (Kinds{{"#include in a template", K::String}}));
  EXPECT_EQ(Colours("\\` still` + 1", &state),
            (Kinds{{"\\` still`", K::String}, {"1", K::Number}}));
  EXPECT_EQ(state, ssCode);
}

class EditorView : public ::testing::Test {
 protected:
  void SetUp() override {
    page->resize(500, 300);
    (new QVBoxLayout(page.get()))->addWidget(ed);
    page->show();
    ed->setFocus();
    QApplication::processEvents();
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ed, static_cast<Qt::Key>(key), mods);
  }
  // The colour painted at a place, or an invalid colour when none was set.
  QColor PaintedColour(int line, int column) {
    ed->viewport()->repaint();
    const QTextBlock b = ed->document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& r : b.layout()->formats())
      if (column >= r.start && column < r.start + r.length) return r.format.foreground().color();
    return QColor();
  }
  // The document positions of the extra selections after the current line's.
  std::vector<int> BracketMarks() const {
    std::vector<int> out;
    const auto sels = ed->extraSelections();
    for (int i = 1; i < sels.size(); ++i) out.push_back(sels[i].cursor.selectionStart());
    return out;
  }

  std::unique_ptr<QWidget> page = std::make_unique<QWidget>();
  TMyEdit* ed = new TMyEdit(page.get());
};

// Only painted lines are coloured; an edit that opens a comment recolours the lines
// below it when they are painted next.
TEST_F(EditorView, PaintedLinesAreColouredAndFollowEdits) {
  std::string text = "var a = 1;\r\nvar b = 2;";
  for (int i = 0; i < 3000; ++i) text += "\r\nx = " + std::to_string(i) + ";";
  ed->SetText(text);
  const QColor keyword = PaintedColour(0, 0);
  ASSERT_TRUE(keyword.isValid());
  EXPECT_FALSE(PaintedColour(1, 4).isValid());  // the name b
  EXPECT_TRUE(ed->document()->findBlockByNumber(2900).layout()->formats().isEmpty());

  QTest::keyClicks(ed, "/*");
  EXPECT_NE(PaintedColour(1, 0), keyword);
  EXPECT_EQ(PaintedColour(1, 0), PaintedColour(0, 0));  // both inside the comment

  ed->SetFirstVisibleLine(2900);
  const QColor far = PaintedColour(2905, 0);
  EXPECT_EQ(far, PaintedColour(0, 0)) << "the open comment reaches the last line";
  ed->SetCaretPos({0, 0});
  Key(Qt::Key_Delete);
  Key(Qt::Key_Delete);
  ed->SetFirstVisibleLine(2900);
  EXPECT_FALSE(PaintedColour(2905, 0).isValid());
  EXPECT_TRUE(PaintedColour(2905, 4).isValid());  // the number again
}

// A first look far down a file carries the scanner state through every line above,
// wherever those lines hide comment and template marks (strings, other scripts,
// separators the document would otherwise break on).
TEST_F(EditorView, FarLinesCarryTheStateOfEveryLineAbove) {
  auto filler = [](int from, int to) {
    std::string out;
    for (int i = from; i < to; ++i) out += "\r\nline " + std::to_string(i) + " \xf0\x9f\x98\x80";
    return out;
  };
  std::string text = "s = '/* \xd0\xbd\xd0\xb5 comment' + '\xe2\x80\xa8' + \"`\";\r\nt = `open";
  text += filler(2, 1000) + "\r\nclose` /* c" + filler(1001, 2000) + "\r\nend */ t = `again";
  text += filler(2001, 3001) + "\r\nclose` + 1;\r\n/* a comment\r\nstill */ y = 2;";
  ed->SetText(text);
  ed->SetFirstVisibleLine(3001);
  const QColor string = PaintedColour(3001, 0);
  ASSERT_TRUE(string.isValid()) << "the template opened on line 2000 reaches here";
  EXPECT_TRUE(PaintedColour(3001, 9).isValid());  // the number after it
  EXPECT_NE(PaintedColour(3001, 9), string);
  const QColor comment = PaintedColour(3002, 0);
  EXPECT_EQ(PaintedColour(3003, 0), comment);
  EXPECT_TRUE(PaintedColour(3003, 13).isValid());  // 2, after it
  // The states kept for the lines passed over change exactly where their marks are.
  ed->SetFirstVisibleLine(1001);
  EXPECT_EQ(PaintedColour(1001, 0), comment);
  ed->SetFirstVisibleLine(2001);
  EXPECT_EQ(PaintedColour(2001, 0), string);
  ed->SetFirstVisibleLine(0);
  EXPECT_EQ(PaintedColour(1, 4), string);

  // Closing the template early turns the lines below back into code.
  ed->SetCaretPos({10, 2000});
  QTest::keyClicks(ed, "`");
  ed->SetFirstVisibleLine(3001);
  EXPECT_FALSE(PaintedColour(3001, 0).isValid());
}

TEST_F(EditorView, MarginCurrentLineAndBrackets) {
  ed->SetText("a\r\nb");
  const int narrow = ed->MarginWidth();
  EXPECT_GE(ed->viewport()->x(), narrow) << "the text must start right of the margin";
  std::string many;
  for (int i = 0; i < 12000; ++i) many += "x\r\n";
  ed->SetText(many);
  EXPECT_GT(ed->MarginWidth(), narrow);  // five digits take more room than three
  EXPECT_GE(ed->viewport()->x(), ed->MarginWidth());

  ed->SetText("f(a[1], {\r\n  b: (c)\r\n}) (");
  auto sels = ed->extraSelections();
  ASSERT_FALSE(sels.isEmpty()) << "a loaded text shows its current line at once";
  EXPECT_EQ(sels[0].cursor.blockNumber(), 0);
  Key(Qt::Key_Down);
  sels = ed->extraSelections();
  ASSERT_FALSE(sels.isEmpty());
  EXPECT_TRUE(sels[0].format.property(QTextFormat::FullWidthSelection).toBool());
  EXPECT_EQ(sels[0].cursor.blockNumber(), 1);

  ed->SetCaretPos({1, 0});  // after "f": the bracket after the caret
  Key(Qt::Key_Right);
  Key(Qt::Key_Left);
  EXPECT_EQ(BracketMarks(), (std::vector<int>{1, 20}));  // positions count a break as one
  Key(Qt::Key_End);                                      // after "{", matched on the last line
  EXPECT_EQ(BracketMarks(), (std::vector<int>{8, 19}));
  const QBrush matched = ed->extraSelections()[1].format.background();
  ed->SetCaretPos({4, 2});  // after "(" with nothing to close it
  EXPECT_EQ(BracketMarks(), (std::vector<int>{22}));
  EXPECT_NE(ed->extraSelections()[1].format.background(), matched);
}

// An error mark stays on its line while lines come and go above it and goes away
// when the line itself is edited.
TEST_F(EditorView, ErrorMarksFollowTheirLineUntilItChanges) {
  ed->SetText("one\r\ntwo\r\nthree");
  ed->MarkErrorLine(1);
  ed->MarkErrorLine(2);
  ed->MarkErrorLine(7);
  ed->MarkErrorLine(-1);
  EXPECT_EQ(ed->ErrorLines(), (std::vector<int>{1, 2}));

  ed->SetCaretPos({0, 0});
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->ErrorLines(), (std::vector<int>{2, 3}));
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ed->ErrorLines(), (std::vector<int>{1, 2}));

  ed->SetCaretPos({3, 1});
  QTest::keyClicks(ed, "!");
  EXPECT_EQ(ed->ErrorLines(), (std::vector<int>{2}));
  Key(Qt::Key_Backspace);  // the text is as marked again, but it was changed
  ed->ClearErrorMarks();
  EXPECT_TRUE(ed->ErrorLines().empty());
  ed->MarkErrorLine(0);
  ed->SetText("new text");
  EXPECT_TRUE(ed->ErrorLines().empty()) << "a new text keeps no old marks";
}

TEST_F(EditorView, UndoAndRedoTakeBackCommandsToo) {
  ed->SetText("keep\r\ngone\r\nlast");
  ed->SetCaretPos({2, 1});
  Key(Qt::Key_Y, Qt::ControlModifier);
  QTest::keyClicks(ed, "x");
  EXPECT_EQ(ed->Text(), "keep\r\nlaxst");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "keep\r\nlast");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "keep\r\ngone\r\nlast");
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(ed->Text(), "keep\r\nlast");
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(ed->Text(), "keep\r\nlaxst");

  // A line break with its copied indentation is one step, and the caret follows it.
  ed->SetText("\t  if (x)\r\nend");
  ed->SetCaretPos({9, 0});
  Key(Qt::Key_Return);
  QTest::keyClicks(ed, "y");
  EXPECT_EQ(ed->Text(), "\t  if (x)\r\n\t  y\r\nend");
  EXPECT_EQ(ed->CaretPos().Y, 1);
  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ed->Text(), "\t  if (x)\r\nend");
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(ed->Text(), "\t  if (x)\r\n\t  \r\nend");
}

// Two pages on one file must never hold two versions of it.
TEST_F(EditorView, SharedDocumentIsOneTextInTwoEditors) {
  ed->SetText("shared");
  auto second = std::make_unique<QWidget>();
  auto* other = new TMyEdit(second.get());
  other->ShareDocument(ed);
  EXPECT_EQ(other->Text(), "shared");
  EXPECT_FALSE(other->Modified());

  ed->SetCaretPos({6, 0});
  QTest::keyClicks(ed, "!");
  EXPECT_EQ(other->Text(), "shared!");
  EXPECT_TRUE(other->Modified());
  other->SetModified(false);
  EXPECT_FALSE(ed->Modified());
  EXPECT_EQ(other->CaretPos().X, 0) << "each editor keeps its own caret";

  // The first editor goes; the text stays with the second.
  page.reset();
  other->SetCaretPos({7, 0});
  QTest::keyClicks(other, "?");
  EXPECT_EQ(other->Text(), "shared!?");
  second.reset();
}

}  // namespace
