#include "u_myedit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "u_myedit_complete.h"
#include "u_myedit_find.h"

namespace {

bool IsBlank(QChar c) {
  return c == QLatin1Char('\t') || c == QLatin1Char(' ');
}

int LeadingBlanks(const QString& line) {
  int n = 0;
  while (n < line.size() && IsBlank(line.at(n))) ++n;
  return n;
}

bool IsEnterKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The keypad flag says where a key sits, not that a modifier is held.
Qt::KeyboardModifiers HeldModifiers(const QKeyEvent* e) {
  return e->modifiers() &
         (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

bool IsOwnCommand(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = HeldModifiers(e);
  const int key = e->key();
  if (mods == Qt::NoModifier) return IsEnterKey(key) || key == Qt::Key_Home || key == Qt::Key_F3;
  if (mods == Qt::ShiftModifier) return key == Qt::Key_F3;
  if (mods == Qt::ControlModifier)
    return key == Qt::Key_Y || key == Qt::Key_A || key == Qt::Key_Backspace ||
           key == Qt::Key_Delete || key == Qt::Key_F || key == Qt::Key_H || key == Qt::Key_G ||
           key == Qt::Key_Space;
  return false;
}

}  // namespace

TMyEdit::TMyEdit(QWidget* parent) : QPlainTextEdit(parent) {
  CreateMargin();
  connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { UpdateMarginWidth(); });
  connect(this, &QPlainTextEdit::updateRequest, this, &TMyEdit::UpdateMarginArea);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TMyEdit::UpdateExtraSelections);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (FFindBar && FFindBar->isVisible()) UpdateExtraSelections();
  });
  UpdateMarginWidth();
  UpdateExtraSelections();
  if (parent) SetUp();
}

TMyEdit::~TMyEdit() {
  FCompleter.reset();
  // A shared document outlives this view: let go of it before the base class does.
  if (FSharedDocument) setDocument(nullptr);
}

void TMyEdit::SetParent(QWidget* parent) {
  // The set-up itself runs from the ParentChange event, so reparenting through a
  // layout behaves the same as calling this.
  setParent(parent);
}

void TMyEdit::SetUp() {
  setObjectName(QStringLiteral("MyEdit"));
  QFont f(QStringLiteral("Courier"), 10);
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  setFont(f);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  document()->setModified(false);
  setTabChangesFocus(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight,
             p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
  UpdateTabStops();
}

void TMyEdit::UpdateTabStops() {
  // A horizontal dialog unit is a quarter of the font's average character width,
  // measured over the letters as the native dialogs do; a stop every 15 units.
  const QFontMetricsF fm(font());
  const qreal average =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
      52.0;
  setTabStopDistance(15.0 * average / 4.0);
}

namespace {

// The document's text with CR LF between lines. The raw text, unlike the plain one,
// keeps no-break spaces as they are.
QString CrLfText(const QTextDocument* doc) {
  QString text = doc->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
  return text;
}

}  // namespace

std::string TMyEdit::Text() const {
  return FileText(CrLfText(document())).toStdString();
}

void TMyEdit::SetText(const std::string& text) {
  SetDocumentText(QString::fromStdString(text));
}

namespace {

// Characters that the document would take as line breaks (U+2029 and its two frame
// marks) or lay out as one (U+2028). Only CR LF, CR and LF break a file's lines, so
// the document holds a private-use stand-in for each, one the text does not contain.
constexpr char16_t kBreakLike[] = {0x2028, 0x2029, 0xFDD0, 0xFDD1};
constexpr int kBreakLikeCount = 4;

bool IsBreakLike(char16_t c) {
  return c >= 0x2028 && (c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1);
}

struct TBreakScan {
  int Lines = 1;
  bool BreakLike = false;  // the text holds one of kBreakLike
};

// Every CR LF, lone CR and lone LF becomes one line break of the document, in one
// pass over the text in place (a large file's load is mostly passes over its text).
TBreakScan ToDocumentBreaks(QString& text) {
  TBreakScan scan;
  const qsizetype n = text.size();
  char16_t* p = reinterpret_cast<char16_t*>(text.data());
  qsizetype out = 0;
  for (qsizetype i = 0; i < n; ++i) {
    char16_t c = p[i];
    if (c == u'\r') {
      if (i + 1 < n && p[i + 1] == u'\n') ++i;
      c = u'\n';
    }
    if (c == u'\n')
      ++scan.Lines;
    else if (IsBreakLike(c))
      scan.BreakLike = true;
    p[out++] = c;
  }
  text.truncate(out);
  return scan;
}

QString PickStandIns(const QString& text) {
  std::vector<bool> used(0xF900 - 0xE000, false);
  for (const QChar c : text)
    if (c.unicode() >= 0xE000 && c.unicode() < 0xF900) used[c.unicode() - 0xE000] = true;
  QString standIns;
  for (char16_t u = 0xF8FF; u >= 0xE000 && standIns.size() < kBreakLikeCount; --u)
    if (!used[u - 0xE000]) standIns.append(QChar(u));
  return standIns.size() == kBreakLikeCount ? standIns : QString();
}

}  // namespace

void TMyEdit::SetDocumentText(QString text) {
  const TBreakScan scan = ToDocumentBreaks(text);
  const QString standIns = scan.BreakLike ? PickStandIns(text) : QString();
  for (int i = 0; i < standIns.size(); ++i) text.replace(QChar(kBreakLike[i]), standIns.at(i));
  document()->setProperty("orvelStandIns", standIns);
  // The margin takes its new width before the text arrives, so the lines are laid out
  // once for the final width rather than again when the line count grows.
  SetMarginWidth(MarginWidthFor(scan.Lines));
  setPlainText(text);
  document()->setModified(false);
  // New text drops the marks shown on the old one, the current line's among them.
  FShownCaretLine = -1;
  UpdateExtraSelections();
}

QString TMyEdit::FileText(QString text) const {
  const QString standIns = document()->property("orvelStandIns").toString();
  for (int i = 0; i < standIns.size(); ++i) text.replace(standIns.at(i), QChar(kBreakLike[i]));
  return text;
}

namespace {

// File names are bytes: a name that is not UTF-8 must still open, so files are
// reached through the system calls, never through a QString name.
QByteArray ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EEditorFileError(path, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw EEditorFileError(path, std::strerror(EISDIR));
  }
  // Read straight into one block sized from the file; a file that grows meanwhile
  // (or reports no size) still arrives whole, the block grows as it must.
  QByteArray bytes;
  bytes.resize(st.st_size > 0 ? static_cast<qsizetype>(st.st_size) + 1 : 65536);
  qsizetype got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EEditorFileError(path, std::strerror(err));
    }
    got += n;
  }
  ::close(fd);
  bytes.truncate(got);
  return bytes;
}

bool WriteAll(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= n;
  }
  return true;
}

// Writes through a temporary file beside the target that is renamed over it, so the
// old file stays whole until the new bytes are on disk.
void ReplaceFile(const std::string& path, const QByteArray& bytes) {
  if (path.empty()) throw EEditorFileError(path, "no file name");
  std::string target = path;
  struct stat st {};
  // A link is saved through: the file it points to gets the text, the link stays.
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw EEditorFileError(path, std::strerror(EISDIR));
  // Renaming over a file would replace even one the user has made read-only.
  if (exists && ::access(target.c_str(), W_OK) != 0)
    throw EEditorFileError(path, "the file is read-only");
  mode_t mode = 0;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::vector<char> temp(folder.begin(), folder.end());
  if (slash == std::string::npos) temp.push_back('/');
  const std::string pattern = "." + base + ".XXXXXX";
  temp.insert(temp.end(), pattern.begin(), pattern.end());
  temp.push_back('\0');

  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw EEditorFileError(path, std::strerror(errno));
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.data());
    throw EEditorFileError(path, std::strerror(err));
  };
  if (!WriteAll(fd, bytes)) fail(errno);
  if (::fchmod(fd, mode) != 0) fail(errno);
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
    (void)!::fchown(fd, st.st_uid, st.st_gid);  // kept where allowed
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.data());
    throw EEditorFileError(path, std::strerror(err));
  }
  if (::rename(temp.data(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.data());
    throw EEditorFileError(path, std::strerror(err));
  }
}

}  // namespace

void TMyEdit::LoadFromFile(const std::string& path) {
  const QByteArray bytes = ReadWholeFile(path);

  // A byte-order mark is kept as text so that saving writes it back.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  QString text = utf8.decode(bytes);
  const bool latin1 = utf8.hasError();
  if (latin1) text = QString::fromLatin1(bytes);

  SetDocumentText(std::move(text));
  // Saved back as 8-bit, byte for byte; kept with the document that its views share.
  document()->setProperty("orvelLatin1", latin1);
}

void TMyEdit::SaveToFile(const std::string& path) const {
  if (path.empty()) throw EEditorFileError(path, "no file name");
  const QString text = FileText(CrLfText(document()));
  QByteArray bytes;
  if (document()->property("orvelLatin1").toBool()) {
    QStringEncoder latin1(QStringEncoder::Latin1);
    bytes = latin1.encode(text);
    if (latin1.hasError())
      throw EEditorFileError(
          path, "the text holds characters that the file's 8-bit encoding cannot store");
  } else {
    bytes = text.toUtf8();
  }
  ReplaceFile(path, bytes);
}

bool TMyEdit::Modified() const {
  return document()->isModified();
}

void TMyEdit::SetModified(bool modified) {
  document()->setModified(modified);
}

namespace {

// Offsets count a line break as two characters, document positions as one.
int OffsetOfPosition(const QTextDocument* doc, int position) {
  return position + doc->findBlock(position).blockNumber();
}

int PositionOfOffset(const QTextDocument* doc, int offset) {
  if (offset <= 0) return 0;
  // The last line whose start offset is at most offset.
  int lo = 0, hi = doc->blockCount() - 1;
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    const QTextBlock b = doc->findBlockByNumber(mid);
    if (b.position() + mid <= offset)
      lo = mid;
    else
      hi = mid - 1;
  }
  const QTextBlock b = doc->findBlockByNumber(lo);
  const int column = std::min(offset - (b.position() + lo), b.length() - 1);
  return b.position() + column;
}

}  // namespace

int TMyEdit::SelStart() const {
  return OffsetOfPosition(document(), textCursor().selectionStart());
}

int TMyEdit::SelLength() const {
  const QTextCursor c = textCursor();
  return OffsetOfPosition(document(), c.selectionEnd()) -
         OffsetOfPosition(document(), c.selectionStart());
}

void TMyEdit::SetSelStart(int offset) {
  SetSelection(offset, 0);
}

void TMyEdit::SetSelection(int start, int length) {
  // Like the native selection call this does not scroll: the window restores the
  // first visible line separately.
  const int v = verticalScrollBar()->value();
  const int h = horizontalScrollBar()->value();
  QTextCursor c(document());
  c.setPosition(PositionOfOffset(document(), start));
  if (length > 0)
    c.setPosition(PositionOfOffset(document(), start + length), QTextCursor::KeepAnchor);
  setTextCursor(c);
  verticalScrollBar()->setValue(v);
  horizontalScrollBar()->setValue(h);
}

TCaretPos TMyEdit::CaretPos() const {
  const int position = textCursor().selectionEnd();
  const QTextBlock b = document()->findBlock(position);
  return TCaretPos{position - b.position(), b.blockNumber()};
}

void TMyEdit::SetCaretPos(TCaretPos pos) {
  PlaceCaret(pos.Y, pos.X);
}

void TMyEdit::PlaceCaret(int line, int column) {
  const QTextBlock b =
      document()->findBlockByNumber(std::clamp(line, 0, document()->blockCount() - 1));
  QTextCursor c(document());
  c.setPosition(b.position() + std::clamp(column, 0, b.length() - 1));
  setTextCursor(c);
  ensureCursorVisible();
}

int TMyEdit::LineCount() const {
  return document()->blockCount();
}

std::string TMyEdit::Line(int index) const {
  if (index < 0 || index >= document()->blockCount()) return std::string();
  return FileText(document()->findBlockByNumber(index).text()).toStdString();
}

int TMyEdit::FirstVisibleLine() const {
  // Without wrapping the vertical scroll position counts lines.
  return verticalScrollBar()->value();
}

void TMyEdit::SetFirstVisibleLine(int line) {
  verticalScrollBar()->setValue(std::max(line, 0));
}

void TMyEdit::LineScroll(int lines) {
  verticalScrollBar()->setValue(verticalScrollBar()->value() + lines);
}

void TMyEdit::CheckCaretMove() {
  const TCaretPos p = CaretPos();
  if (p.X == LastCaretX && p.Y == LastCaretY) return;
  LastCaretX = p.X;
  LastCaretY = p.Y;
  if (OnCaretMove) OnCaretMove(this);
}

int TMyEdit::WordStartBefore(const QString& line, int x) {
  x = std::clamp(x, 0, static_cast<int>(line.size()));
  while (x > 0 && IsBlank(line.at(x - 1))) --x;
  while (x > 0 && !IsBlank(line.at(x - 1))) --x;
  return x;
}

int TMyEdit::WordEndAfter(const QString& line, int x) {
  const int n = static_cast<int>(line.size());
  x = std::clamp(x, 0, n);
  while (x < n && IsBlank(line.at(x))) ++x;
  while (x < n && !IsBlank(line.at(x))) ++x;
  return x;
}

bool TMyEdit::event(QEvent* e) {
  // Our commands win over any window shortcut bound to the same keys.
  if (e->type() == QEvent::ShortcutOverride && IsOwnCommand(static_cast<QKeyEvent*>(e))) {
    e->accept();
    return true;
  }
  return QPlainTextEdit::event(e);
}

void TMyEdit::keyPressEvent(QKeyEvent* e) {
  const bool plain = (HeldModifiers(e) & ~Qt::ShiftModifier) == Qt::NoModifier;
  if (plain && FCompleter && FCompleter->HandleKey(e->key())) {
    e->accept();
  } else if (e->key() == Qt::Key_Escape && FCompleter && FCompleter->Tip()->isVisible()) {
    FCompleter->Tip()->hide();
    e->accept();
  } else if (e->key() == Qt::Key_Escape && FFindBar && FFindBar->isVisible()) {
    FFindBar->Close();
    e->accept();
  } else if (KeyDown(e) || KeyPress(e)) {
    e->accept();
  } else {
    QPlainTextEdit::keyPressEvent(e);
    AfterTyping(e);
  }
  CheckCaretMove();
}

bool TMyEdit::KeyDown(QKeyEvent* e) {
  if (!IsOwnCommand(e)) return false;
  switch (e->key()) {
    case Qt::Key_F:
      FindBar()->Open(TFindBar::TMode::Find);
      break;
    case Qt::Key_H:
      FindBar()->Open(TFindBar::TMode::Replace);
      break;
    case Qt::Key_G:
      FindBar()->Open(TFindBar::TMode::GoToLine);
      break;
    case Qt::Key_F3:
      // With nothing to look for yet, F3 asks for it.
      if (FindBar()->FindText().isEmpty())
        FindBar()->Open(TFindBar::TMode::Find);
      else
        FindBar()->FindNext(HeldModifiers(e) == Qt::ShiftModifier);
      break;
    case Qt::Key_Space:
      Complete();
      break;
    case Qt::Key_Y:
      DeleteCaretLine();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      InsertLineBreakWithIndent();
      break;
    case Qt::Key_Home:
      SmartHome();
      break;
    case Qt::Key_A:
      selectAll();
      break;
    case Qt::Key_Backspace:
      DeleteWordBefore();
      break;
    case Qt::Key_Delete:
      DeleteWordAfter();
      break;
    default:
      return false;
  }
  return true;
}

bool TMyEdit::KeyPress(QKeyEvent* e) {
  // Shift+Tab is still the Tab key: it types a tab instead of leaving the editor.
  if (e->key() == Qt::Key_Backtab && HeldModifiers(e) == Qt::ShiftModifier) {
    insertPlainText(QStringLiteral("\t"));
    return true;
  }
  // Carriage returns (Enter with a modifier) and the DEL character that
  // Ctrl+Backspace produces are dropped: a line break comes only from plain Enter.
  if (IsEnterKey(e->key())) return true;
  if (e->key() == Qt::Key_Backspace && (e->modifiers() & Qt::ControlModifier)) return true;
  const QString text = e->text();
  return text.size() == 1 && (text.at(0) == QChar(13) || text.at(0) == QChar(127));
}

TFindBar* TMyEdit::FindBar() {
  if (!FFindBar) FFindBar = new TFindBar(this);
  return FFindBar;
}

TCompleter* TMyEdit::Completer() {
  if (!FCompleter) FCompleter = std::make_unique<TCompleter>(this);
  return FCompleter.get();
}

void TMyEdit::Complete() {
  Completer()->Update(true);
}

bool TMyEdit::CompletionOpen() const {
  return FCompleter && FCompleter->IsOpen();
}

void TMyEdit::AfterTyping(QKeyEvent* e) {
  // A dot or a quote may open the list; while it is open, typing narrows it. The
  // checks cost nothing on keys that cannot start a completion.
  const QString t = e->text();
  const bool opener = t == QLatin1String(".") || t == QLatin1String("\"") ||
                      t == QLatin1String("'") || t == QLatin1String(",");
  if (CompletionOpen()) {
    if (t.isEmpty() && e->key() != Qt::Key_Backspace && e->key() != Qt::Key_Delete)
      FCompleter->Close();  // the caret moved away
    else
      FCompleter->Update(false);
  } else if (opener) {
    Completer()->Update(false);
  }
  if (FCompleter && (FCompleter->Tip()->isVisible() || t == QLatin1String("(")))
    FCompleter->UpdateCallTip();
  else if (t == QLatin1String("("))
    Completer()->UpdateCallTip();
}

bool TMyEdit::FindNext(bool backward) {
  return FindBar()->FindNext(backward);
}

void TMyEdit::DeleteCaretLine() {
  const TCaretPos p = CaretPos();
  QTextDocument* doc = document();
  const QTextBlock b = doc->findBlockByNumber(p.Y);
  QTextCursor c(doc);
  if (doc->blockCount() == 1) {
    c.select(QTextCursor::Document);
  } else if (b.next().isValid()) {
    c.setPosition(b.position());
    c.setPosition(b.next().position(), QTextCursor::KeepAnchor);
  } else {
    // The last line goes together with the break before it.
    const QTextBlock prev = b.previous();
    c.setPosition(prev.position() + prev.length() - 1);
    c.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
  }
  c.removeSelectedText();
  PlaceCaret(std::min(p.Y, doc->blockCount() - 1), p.X);
}

void TMyEdit::InsertLineBreakWithIndent() {
  const TCaretPos p = CaretPos();
  const QString line = document()->findBlockByNumber(p.Y).text();
  // Through the editor's own caret: no second placing of the caret after the insert.
  insertPlainText(QLatin1Char('\n') + line.left(LeadingBlanks(line)));
  ensureCursorVisible();
}

void TMyEdit::SmartHome() {
  const TCaretPos p = CaretPos();
  const int n = LeadingBlanks(document()->findBlockByNumber(p.Y).text());
  PlaceCaret(p.Y, p.X == n ? 0 : n);
}

void TMyEdit::DeleteWordBefore() {
  const TCaretPos p = CaretPos();
  const QTextBlock b = document()->findBlockByNumber(p.Y);
  const int start = WordStartBefore(b.text(), p.X);
  if (start >= p.X) return;
  QTextCursor c(document());
  c.setPosition(b.position() + start);
  c.setPosition(b.position() + p.X, QTextCursor::KeepAnchor);
  c.removeSelectedText();
  PlaceCaret(p.Y, start);
}

void TMyEdit::DeleteWordAfter() {
  const TCaretPos p = CaretPos();
  const QTextBlock b = document()->findBlockByNumber(p.Y);
  const int end = WordEndAfter(b.text(), p.X);
  if (end <= p.X) return;
  QTextCursor c(document());
  c.setPosition(b.position() + p.X);
  c.setPosition(b.position() + end, QTextCursor::KeepAnchor);
  c.removeSelectedText();
  PlaceCaret(p.Y, p.X);
}

void TMyEdit::keyReleaseEvent(QKeyEvent* e) {
  QPlainTextEdit::keyReleaseEvent(e);
  CheckCaretMove();
}

void TMyEdit::mousePressEvent(QMouseEvent* e) {
  if (FCompleter) {
    FCompleter->Close();
    FCompleter->Tip()->hide();
  }
  QPlainTextEdit::mousePressEvent(e);
  CheckCaretMove();
}

void TMyEdit::mouseDoubleClickEvent(QMouseEvent* e) {
  QPlainTextEdit::mouseDoubleClickEvent(e);
  CheckCaretMove();
}

void TMyEdit::changeEvent(QEvent* e) {
  QPlainTextEdit::changeEvent(e);
  if (e->type() == QEvent::ParentChange && parentWidget())
    SetUp();
  else if (e->type() == QEvent::FontChange) {
    UpdateTabStops();
    UpdateMarginWidth();
  }
}

void TMyEdit::showEvent(QShowEvent* e) {
  // The base class scrolls to the caret on the first show, which would undo a
  // restored first visible line.
  const int v = verticalScrollBar()->value();
  const int h = horizontalScrollBar()->value();
  QPlainTextEdit::showEvent(e);
  verticalScrollBar()->setValue(v);
  horizontalScrollBar()->setValue(h);
}
