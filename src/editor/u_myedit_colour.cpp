#include "u_myedit_colour.h"

#include <QColor>
#include <QTextCharFormat>
#include <QTextDocument>
#include <algorithm>

TLineData* TLineData::Of(const QTextBlock& block, bool create) {
  auto* data = static_cast<TLineData*>(block.userData());
  if (!data && create) {
    data = new TLineData;
    QTextBlock(block).setUserData(data);
  }
  return data;
}

namespace {

bool IsIdentStart(QChar c) {
  return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool IsIdentPart(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool IsKeyword(QStringView w) {
  static const char* const kWords[] = {
      "async",    "await",      "break",   "case",   "catch",    "class", "const",
      "continue", "debugger",   "default", "delete", "do",       "else",  "export",
      "extends",  "false",      "finally", "for",    "function", "if",    "import",
      "in",       "instanceof", "let",     "new",    "null",     "of",    "return",
      "static",   "super",      "switch",  "this",   "throw",    "true",  "try",
      "typeof",   "undefined",  "var",     "void",   "while",    "with",  "yield"};
  for (const char* k : kWords)
    if (w == QLatin1String(k)) return true;
  return false;
}

// After these words an expression starts, so a slash opens a regular expression.
bool KeywordBeforeExpression(QStringView w) {
  static const char* const kWords[] = {"return", "typeof",     "case",  "do",     "else",
                                       "in",     "instanceof", "new",   "delete", "void",
                                       "throw",  "yield",      "await", "of"};
  for (const char* k : kWords)
    if (w == QLatin1String(k)) return true;
  return false;
}

// Index just past the closing quote, or the line's end when it is not closed.
int SkipQuoted(const QString& line, int i, QChar quote, bool* closed = nullptr) {
  const int n = static_cast<int>(line.size());
  if (closed) *closed = false;
  while (i < n) {
    const QChar c = line.at(i);
    if (c == QLatin1Char('\\')) {
      i += 2;
      continue;
    }
    ++i;
    if (c == quote) {
      if (closed) *closed = true;
      return i;
    }
  }
  return n;
}

// Index past a regular expression starting at the slash at i, or -1 when the line
// holds no closing slash (then the slash is a division after all).
int SkipRegex(const QString& line, int i) {
  const int n = static_cast<int>(line.size());
  bool inClass = false;
  for (++i; i < n; ++i) {
    const QChar c = line.at(i);
    if (c == QLatin1Char('\\')) {
      ++i;
    } else if (c == QLatin1Char('[')) {
      inClass = true;
    } else if (c == QLatin1Char(']')) {
      inClass = false;
    } else if (c == QLatin1Char('/') && !inClass) {
      ++i;
      while (i < n && line.at(i).isLetter()) ++i;  // flags
      return i;
    }
  }
  return -1;
}

}  // namespace

int ScanJsLine(const QString& line, int state, QList<TColourRange>* ranges) {
  const int n = static_cast<int>(line.size());
  auto add = [ranges](int start, int end, TColourKind kind) {
    if (ranges && end > start) ranges->append(TColourRange{start, end - start, kind});
  };
  int i = 0;
  if (state == ssBlockComment) {
    const int end = line.indexOf(QLatin1String("*/"));
    if (end < 0) {
      add(0, n, TColourKind::Comment);
      return ssBlockComment;
    }
    add(0, end + 2, TColourKind::Comment);
    i = end + 2;
  } else if (state == ssTemplate) {
    bool closed = false;
    const int end = SkipQuoted(line, 0, QLatin1Char('`'), &closed);
    add(0, end, TColourKind::String);
    if (!closed) return ssTemplate;
    i = end;
  } else {
    int first = 0;
    while (first < n && line.at(first).isSpace()) ++first;
    if (first < n && line.at(first) == QLatin1Char('#')) {
      add(first, n, TColourKind::Directive);
      return ssCode;
    }
  }

  bool expressionStart = true;  // a slash here opens a regular expression
  while (i < n) {
    const QChar c = line.at(i);
    const QChar next = i + 1 < n ? line.at(i + 1) : QChar();
    if (c.isSpace()) {
      ++i;
    } else if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
      add(i, n, TColourKind::Comment);
      return ssCode;
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      const int end = line.indexOf(QLatin1String("*/"), i + 2);
      if (end < 0) {
        add(i, n, TColourKind::Comment);
        return ssBlockComment;
      }
      add(i, end + 2, TColourKind::Comment);
      i = end + 2;
    } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      const int end = SkipQuoted(line, i + 1, c);
      add(i, end, TColourKind::String);
      i = end;
      expressionStart = false;
    } else if (c == QLatin1Char('`')) {
      bool closed = false;
      const int end = SkipQuoted(line, i + 1, c, &closed);
      add(i, end, TColourKind::String);
      if (!closed) return ssTemplate;
      i = end;
      expressionStart = false;
    } else if (c == QLatin1Char('/') && expressionStart && SkipRegex(line, i) > 0) {
      const int end = SkipRegex(line, i);
      add(i, end, TColourKind::Regex);
      i = end;
      expressionStart = false;
    } else if (c.isDigit() || (c == QLatin1Char('.') && next.isDigit())) {
      int end = i + 1;
      while (end < n && (IsIdentPart(line.at(end)) || line.at(end) == QLatin1Char('.'))) ++end;
      add(i, end, TColourKind::Number);
      i = end;
      expressionStart = false;
    } else if (IsIdentStart(c)) {
      int end = i + 1;
      while (end < n && IsIdentPart(line.at(end))) ++end;
      const QStringView word = QStringView(line).mid(i, end - i);
      const bool member = i > 0 && line.at(i - 1) == QLatin1Char('.');
      if (!member && IsKeyword(word)) {
        add(i, end, TColourKind::Keyword);
        expressionStart = KeywordBeforeExpression(word);
      } else {
        expressionStart = false;
      }
      i = end;
    } else {
      expressionStart = c != QLatin1Char(')') && c != QLatin1Char(']') && c != QLatin1Char('}');
      ++i;
    }
  }
  return ssCode;
}

namespace {

QTextCharFormat FormatOf(TColourKind kind) {
  QTextCharFormat f;
  switch (kind) {
    case TColourKind::Keyword:
      f.setForeground(QColor(0x00, 0x00, 0xFF));
      break;
    case TColourKind::String:
      f.setForeground(QColor(0xA3, 0x15, 0x15));
      break;
    case TColourKind::Comment:
      f.setForeground(QColor(0x00, 0x80, 0x00));
      break;
    case TColourKind::Number:
      f.setForeground(QColor(0x09, 0x86, 0x58));
      break;
    case TColourKind::Regex:
      f.setForeground(QColor(0x81, 0x1F, 0x9F));
      break;
    case TColourKind::Directive:
      f.setForeground(QColor(0xB0, 0x60, 0x00));
      break;
  }
  return f;
}

}  // namespace

TJsColouring* TJsColouring::Of(QTextDocument* doc) {
  // Found by name: without a meta-object of its own a cast could not tell it apart.
  if (QObject* c =
          doc->findChild<QObject*>(QStringLiteral("orvelJsColouring"), Qt::FindDirectChildrenOnly))
    return static_cast<TJsColouring*>(c);
  return new TJsColouring(doc);
}

TJsColouring::TJsColouring(QTextDocument* doc) : QObject(doc), FDoc(doc) {
  setObjectName(QStringLiteral("orvelJsColouring"));
  connect(doc, &QTextDocument::contentsChange, this, &TJsColouring::ContentsChanged);
}

void TJsColouring::ContentsChanged(int position, int /*removed*/, int added) {
  QTextBlock b = FDoc->findBlock(position);
  if (!b.isValid()) b = FDoc->lastBlock();
  FValidUpTo = std::min(FValidUpTo, b.blockNumber());
  const QTextBlock last = FDoc->findBlock(position + added);
  for (; b.isValid(); b = b.next()) {
    if (TLineData* d = TLineData::Of(b, false)) d->ColouredFrom = -1;
    if (b == last) break;
  }
}

void TJsColouring::ColourBlocks(const QTextBlock& first, const QTextBlock& last) {
  if (!first.isValid() || !last.isValid()) return;
  const int firstNumber = first.blockNumber();
  const int lastNumber = last.blockNumber();
  int start = std::min(FValidUpTo, firstNumber);
  QTextBlock b = FDoc->findBlockByNumber(start);
  int state = start == 0 ? ssCode : std::max(b.previous().userState(), 0);
  for (; b.isValid() && b.blockNumber() < firstNumber; b = b.next()) {
    state = ScanJsLine(b.text(), state, nullptr);
    b.setUserState(state);
  }

  int dirtyFrom = -1, dirtyTo = -1;
  for (; b.isValid() && b.blockNumber() <= lastNumber; b = b.next()) {
    TLineData* data = TLineData::Of(b, true);
    if (data->ColouredFrom == state && b.blockNumber() < FValidUpTo) {
      state = std::max(b.userState(), 0);
      continue;
    }
    if (data->ColouredFrom == state) {
      state = ScanJsLine(b.text(), state, nullptr);
      b.setUserState(state);
      continue;
    }
    QList<TColourRange> ranges;
    data->ColouredFrom = state;
    state = ScanJsLine(b.text(), state, &ranges);
    b.setUserState(state);
    QList<QTextLayout::FormatRange> formats;
    formats.reserve(ranges.size());
    for (const TColourRange& r : ranges) formats.append({r.Start, r.Length, FormatOf(r.Kind)});
    b.layout()->setFormats(formats);
    if (dirtyFrom < 0) dirtyFrom = b.position();
    dirtyTo = b.position() + b.length();
  }
  FValidUpTo = std::max(FValidUpTo, lastNumber + 1);
  // The layouts take the new colours only when laid out again.
  if (dirtyFrom >= 0) FDoc->markContentsDirty(dirtyFrom, dirtyTo - dirtyFrom);
}

void TJsColouring::ColourAll() {
  ColourBlocks(FDoc->firstBlock(), FDoc->lastBlock());
}
