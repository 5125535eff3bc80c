// What the editor shows beside and behind the text: the line-number margin with the
// error marks, the current line, matching brackets, colours, and shared documents.

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "u_myedit.h"
#include "u_myedit_colour.h"
#include "u_myedit_find.h"

class TLineNumberMargin final : public QWidget {
 public:
  explicit TLineNumberMargin(TMyEdit* editor) : QWidget(editor), FEditor(editor) {}
  QSize sizeHint() const override { return {FEditor->MarginWidth(), 0}; }

 protected:
  void paintEvent(QPaintEvent* e) override { FEditor->PaintMargin(e); }

 private:
  TMyEdit* FEditor;
};

namespace {

const QColor kMarginBack(0xF0, 0xF0, 0xF0);
const QColor kMarginText(0x90, 0x90, 0x90);
const QColor kErrorMark(0xD0, 0x20, 0x20);
const QColor kCurrentLine(0xFF, 0xF8, 0xD8);
const QColor kBracketMatch(0xA8, 0xE8, 0xA8);
const QColor kBracketAlone(0xFF, 0xB0, 0xB0);
const QColor kFoundText(0xFF, 0xE0, 0x60);

bool HasErrorMark(const QTextBlock& b) {
  const TLineData* d = TLineData::Of(b, false);
  return d && d->ErrorMark && d->MarkedText == b.text();
}

int BracketDirection(QChar c, QChar* partner) {
  switch (c.unicode()) {
    case '(':
      *partner = QLatin1Char(')');
      return 1;
    case '[':
      *partner = QLatin1Char(']');
      return 1;
    case '{':
      *partner = QLatin1Char('}');
      return 1;
    case ')':
      *partner = QLatin1Char('(');
      return -1;
    case ']':
      *partner = QLatin1Char('[');
      return -1;
    case '}':
      *partner = QLatin1Char('{');
      return -1;
    default:
      return 0;
  }
}

// The document position of the bracket that matches the one at (block, column), or -1;
// the search gives up after a few thousand lines so a lone bracket costs little.
int MatchingBracket(QTextBlock block, int column) {
  const QChar open = block.text().at(column);
  QChar close;
  const int dir = BracketDirection(open, &close);
  int depth = 0;
  for (int lines = 0; block.isValid() && lines < 5000; ++lines) {
    const QString text = block.text();
    for (int i = column; i >= 0 && i < text.size(); i += dir) {
      if (text.at(i) == open) {
        ++depth;
      } else if (text.at(i) == close && --depth == 0) {
        return block.position() + i;
      }
    }
    block = dir > 0 ? block.next() : block.previous();
    column = dir > 0 ? 0 : static_cast<int>(block.text().size()) - 1;
  }
  return -1;
}

QTextEdit::ExtraSelection CharSelection(QTextDocument* doc, int position, const QColor& back) {
  QTextEdit::ExtraSelection s;
  s.cursor = QTextCursor(doc);
  s.cursor.setPosition(position);
  s.cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
  s.format.setBackground(back);
  return s;
}

}  // namespace

void TMyEdit::CreateMargin() {
  FMargin = new TLineNumberMargin(this);
}

int TMyEdit::MarginWidth() const {
  return MarginWidthFor(blockCount());
}

int TMyEdit::MarginWidthFor(int lines) const {
  int digits = 1;
  for (int n = std::max(1, lines); n >= 10; n /= 10) ++digits;
  digits = std::max(digits, 3);
  return 16 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits + 6;
}

void TMyEdit::SetMarginWidth(int width) {
  if (viewportMargins().left() != width) setViewportMargins(width, 0, 0, 0);
}

void TMyEdit::UpdateMarginWidth() {
  SetMarginWidth(MarginWidth());
  PlaceMargin();
}

void TMyEdit::PlaceMargin() {
  const QRect cr = contentsRect();
  FMargin->setGeometry(QRect(cr.left(), cr.top(), viewportMargins().left(), viewport()->height()));
  if (FFindBar) FFindBar->Place();
}

void TMyEdit::UpdateMarginArea(const QRect& rect, int dy) {
  if (dy)
    FMargin->scroll(0, dy);
  else
    FMargin->update(0, rect.y(), FMargin->width(), rect.height());
}

void TMyEdit::resizeEvent(QResizeEvent* e) {
  QPlainTextEdit::resizeEvent(e);
  PlaceMargin();
}

void TMyEdit::PaintMargin(QPaintEvent* e) {
  QPainter p(FMargin);
  p.fillRect(e->rect(), kMarginBack);
  p.setFont(font());
  const int lineHeight = fontMetrics().height();
  const int current = textCursor().blockNumber();
  QTextBlock b = firstVisibleBlock();
  qreal top = blockBoundingGeometry(b).translated(contentOffset()).top();
  while (b.isValid() && top <= e->rect().bottom()) {
    const qreal height = blockBoundingRect(b).height();
    if (b.isVisible() && top + height >= e->rect().top()) {
      if (HasErrorMark(b)) {
        const int d = std::min(10, lineHeight - 2);
        p.setPen(Qt::NoPen);
        p.setBrush(kErrorMark);
        p.drawEllipse(QRectF(3, top + (lineHeight - d) / 2.0, d, d));
      }
      p.setPen(b.blockNumber() == current ? palette().color(QPalette::Text) : kMarginText);
      p.drawText(QRectF(0, top, FMargin->width() - 4, lineHeight), Qt::AlignRight,
                 QString::number(b.blockNumber() + 1));
    }
    top += height;
    b = b.next();
  }
}

void TMyEdit::UpdateExtraSelections() {
  // Typing within one line moves nothing that is shown here: skip the work per key.
  const bool finding = FFindBar && FFindBar->isVisible();
  const QTextCursor caret = textCursor();
  const int caretLine = caret.blockNumber();
  const QString caretText = caret.block().text();
  const int caretColumn = caret.positionInBlock();
  QChar unused;
  const bool nearBracket =
      (caretColumn < caretText.size() && BracketDirection(caretText.at(caretColumn), &unused)) ||
      (caretColumn > 0 && BracketDirection(caretText.at(caretColumn - 1), &unused));
  if (caretLine == FShownCaretLine && !nearBracket && !finding && !FShownMarks) return;
  if (caretLine != FShownCaretLine) FMargin->update();
  FShownCaretLine = caretLine;

  QList<QTextEdit::ExtraSelection> selections;
  QTextEdit::ExtraSelection line;
  line.format.setBackground(kCurrentLine);
  line.format.setProperty(QTextFormat::FullWidthSelection, true);
  line.cursor = textCursor();
  line.cursor.clearSelection();
  selections.append(line);

  // A bracket right after the caret wins over one right before it.
  const QTextCursor c = textCursor();
  const QTextBlock block = c.block();
  const QString text = block.text();
  const int column = c.positionInBlock();
  QChar partner;
  for (int at : {column, column - 1}) {
    if (at < 0 || at >= text.size() || !BracketDirection(text.at(at), &partner)) continue;
    const int match = MatchingBracket(block, at);
    selections.append(CharSelection(document(), block.position() + at,
                                    match >= 0 ? kBracketMatch : kBracketAlone));
    if (match >= 0) selections.append(CharSelection(document(), match, kBracketMatch));
    break;
  }
  // While the find bar is open, every match in view is marked, not only the selected one.
  if (FFindBar && FFindBar->isVisible() && FFindBar->Mode() != TFindBar::TMode::GoToLine &&
      !FFindBar->FindText().isEmpty()) {
    const QString what = FFindBar->FindText();
    const Qt::CaseSensitivity cs = FFindBar->MatchCase() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qreal top = blockBoundingGeometry(firstVisibleBlock()).translated(contentOffset()).top();
    for (QTextBlock b = firstVisibleBlock(); b.isValid() && top <= viewport()->height();
         b = b.next()) {
      const QString line = b.text();
      for (int at = line.indexOf(what, 0, cs); at >= 0; at = line.indexOf(what, at + 1, cs)) {
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(document());
        s.cursor.setPosition(b.position() + at);
        s.cursor.setPosition(b.position() + at + static_cast<int>(what.size()),
                             QTextCursor::KeepAnchor);
        s.format.setBackground(kFoundText);
        selections.append(s);
      }
      top += blockBoundingRect(b).height();
    }
  }
  FShownMarks = selections.size() > 1;
  setExtraSelections(selections);
}

void TMyEdit::paintEvent(QPaintEvent* e) {
  // Only the lines about to be painted are coloured.
  const QTextBlock first = firstVisibleBlock();
  QTextBlock last = first;
  qreal top = blockBoundingGeometry(first).translated(contentOffset()).top();
  for (QTextBlock b = first; b.isValid() && top <= viewport()->height(); b = b.next()) {
    last = b;
    top += blockBoundingRect(b).height();
  }
  TJsColouring::Of(document())->ColourBlocks(first, last);
  QPlainTextEdit::paintEvent(e);
}

void TMyEdit::MarkErrorLine(int line) {
  const QTextBlock b = document()->findBlockByNumber(line);
  if (line < 0 || !b.isValid()) return;
  TLineData* d = TLineData::Of(b, true);
  d->ErrorMark = true;
  d->MarkedText = b.text();
  FMargin->update();
}

void TMyEdit::ClearErrorMarks() {
  for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next())
    if (TLineData* d = TLineData::Of(b, false)) d->ErrorMark = false;
  FMargin->update();
}

std::vector<int> TMyEdit::ErrorLines() const {
  std::vector<int> lines;
  for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next())
    if (HasErrorMark(b)) lines.push_back(b.blockNumber());
  return lines;
}

void TMyEdit::ShareDocument(TMyEdit* other) {
  if (!other || other == this || other->document() == document()) return;
  if (!other->FSharedDocument) {
    // From now on the document belongs to its editors together, not to the first one.
    QTextDocument* doc = other->document();
    doc->setParent(nullptr);
    other->FSharedDocument.reset(doc);
  }
  const int v = other->verticalScrollBar()->value();
  FSharedDocument = other->FSharedDocument;
  setDocument(FSharedDocument.get());
  UpdateTabStops();
  other->verticalScrollBar()->setValue(v);
  UpdateMarginWidth();
  FShownCaretLine = -1;
  UpdateExtraSelections();
}

void TMyEdit::DetachDocument() {
  if (!FSharedDocument) return;
  const QString text = QString::fromStdString(Text());
  const QVariant latin1 = document()->property("orvelLatin1");
  const bool modified = Modified();
  const TCaretPos caret = CaretPos();
  const int v = verticalScrollBar()->value();
  setDocument(nullptr);  // a fresh document of this editor's own
  FSharedDocument.reset();
  UpdateTabStops();
  SetDocumentText(text);
  document()->setProperty("orvelLatin1", latin1);
  SetModified(modified);
  SetCaretPos(caret);
  verticalScrollBar()->setValue(v);
  FShownCaretLine = -1;
  UpdateExtraSelections();
}
