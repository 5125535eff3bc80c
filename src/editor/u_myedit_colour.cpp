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

// The word lists are built once with their lengths, so a comparison that cannot
// match ends on the length.
bool IsKeyword(QStringView w) {
  static const QLatin1String kWords[] = {
      QLatin1String("async"),     QLatin1String("await"),      QLatin1String("break"),
      QLatin1String("case"),      QLatin1String("catch"),      QLatin1String("class"),
      QLatin1String("const"),     QLatin1String("continue"),   QLatin1String("debugger"),
      QLatin1String("default"),   QLatin1String("delete"),     QLatin1String("do"),
      QLatin1String("else"),      QLatin1String("export"),     QLatin1String("extends"),
      QLatin1String("false"),     QLatin1String("finally"),    QLatin1String("for"),
      QLatin1String("function"),  QLatin1String("if"),         QLatin1String("import"),
      QLatin1String("in"),        QLatin1String("instanceof"), QLatin1String("let"),
      QLatin1String("new"),       QLatin1String("null"),       QLatin1String("of"),
      QLatin1String("return"),    QLatin1String("static"),     QLatin1String("super"),
      QLatin1String("switch"),    QLatin1String("this"),       QLatin1String("throw"),
      QLatin1String("true"),      QLatin1String("try"),        QLatin1String("typeof"),
      QLatin1String("undefined"), QLatin1String("var"),        QLatin1String("void"),
      QLatin1String("while"),     QLatin1String("with"),       QLatin1String("yield")};
  if (w.size() < 2 || w.size() > 10 || w.front() < QLatin1Char('a') || w.front() > QLatin1Char('y'))
    return false;
  for (const QLatin1String& k : kWords)
    if (w == k) return true;
  return false;
}

// After these words an expression starts, so a slash opens a regular expression.
bool KeywordBeforeExpression(QStringView w) {
  static const QLatin1String kWords[] = {
      QLatin1String("return"),     QLatin1String("typeof"), QLatin1String("case"),
      QLatin1String("do"),         QLatin1String("else"),   QLatin1String("in"),
      QLatin1String("instanceof"), QLatin1String("new"),    QLatin1String("delete"),
      QLatin1String("void"),       QLatin1String("throw"),  QLatin1String("yield"),
      QLatin1String("await"),      QLatin1String("of")};
  for (const QLatin1String& k : kWords)
    if (w == k) return true;
  return false;
}

// The state at the end of a line, without its colours. A line that starts in code
// can only end in a comment or a template literal if it holds "/*" or a backquote,
// so most lines need no scan at all.
int EndStateOf(QStringView line, int state) {
  if (state == ssCode) {
    const char16_t* p = line.utf16();
    const qsizetype n = line.size();
    bool plain = true;
    for (qsizetype i = 0; i < n && plain; ++i)
      plain = p[i] != u'`' && !(p[i] == u'*' && i > 0 && p[i - 1] == u'/');
    if (plain) return ssCode;
  }
  return ScanJsLine(line.toString(), state, nullptr);
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
  // Lines are counted along the walk: asking a block its number walks the document.
  const int firstNumber = first.blockNumber();
  const int lastNumber = last.blockNumber();
  int number = std::min(FValidUpTo, firstNumber);
  QTextBlock b = FDoc->findBlockByNumber(number);
  int state = number == 0 ? ssCode : std::max(b.previous().userState(), 0);
  if (firstNumber - number > 1000) {
    // A long run of lines above the view (the first look at the end of a large file):
    // the document's text in one copy, where a document position is an index, costs
    // far less than asking each line for a copy of its own.
    const QString all = FDoc->toRawText();
    qsizetype at = b.position();
    for (; b.isValid() && number < firstNumber; b = b.next(), ++number) {
      const qsizetype length = b.length();
      state = EndStateOf(QStringView(all).mid(at, length - 1), state);
      b.setUserState(state);
      at += length;
    }
  }
  for (; b.isValid() && number < firstNumber; b = b.next(), ++number) {
    state = EndStateOf(b.text(), state);
    b.setUserState(state);
  }

  int dirtyFrom = -1, dirtyTo = -1;
  for (; b.isValid() && number <= lastNumber; b = b.next(), ++number) {
    TLineData* data = TLineData::Of(b, true);
    if (data->ColouredFrom == state && number < FValidUpTo) {
      state = std::max(b.userState(), 0);
      continue;
    }
    if (data->ColouredFrom == state) {
      state = EndStateOf(b.text(), state);
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
