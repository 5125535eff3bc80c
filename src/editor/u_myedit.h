#pragma once

// TMyEdit: the code editor on every workbench page. A plain-text editor that never
// wraps, with auto-indent on Enter, a two-stage Home key, line and word deletion, and
// a caret-move notification for the window's line/column label.
//
// Text model: lines are the document's lines; between two lines the text holds CR LF,
// so a line break counts as two characters in selection offsets, and Text() and saved
// files carry CR LF breaks with no break added at the end.

#include <QPlainTextEdit>
#include <QPointer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QResizeEvent;
class QShowEvent;
class QTextDocument;

class TMyEdit;

// Caret position: line Y and column X, both 0-based.
struct TCaretPos {
  int X = 0;
  int Y = 0;
};

using TCaretMoveEvent = std::function<void(TMyEdit* Sender)>;

// A file could not be read or written. what() is Path + ": " + Reason.
class EEditorFileError : public std::runtime_error {
 public:
  EEditorFileError(const std::string& path, const std::string& reason)
      : std::runtime_error(path + ": " + reason), Path(path), Reason(reason) {}
  std::string Path;
  std::string Reason;  // e.g. "No such file or directory"
};

class TMyEdit final : public QPlainTextEdit {
  Q_OBJECT

 public:
  // With a parent, the editor's set-up runs at once (as SetParent does).
  explicit TMyEdit(QWidget* parent = nullptr);
  ~TMyEdit() override;
  Q_DISABLE_COPY_MOVE(TMyEdit)

  // Reparents like QWidget::setParent; with a non-null parent the set-up follows:
  // name "MyEdit", Courier 10 pt, both scroll bars, modified flag cleared, Tab
  // inserts a tab, no wrap, selection kept visible without focus, tab stops.
  void SetParent(QWidget* parent);

  std::string FilePath;     // full path as the window passed it; used for saving
  QPointer<QWidget> Sheet;  // the page holding the editor; not owned
  int LastCaretX = -1;      // caret at the last report; -1 until the first
  int LastCaretY = -1;
  TCaretMoveEvent OnCaretMove;  // called by CheckCaretMove when the caret moved

  // The whole text, UTF-8, CR LF between lines. SetText accepts CR LF, lone CR or
  // lone LF breaks; it leaves the caret at the start and clears the modified flag.
  std::string Text() const;
  void SetText(const std::string& text);

  // Reads the whole file (UTF-8; bytes that are not UTF-8 are kept as 8-bit Latin-1
  // and written back unchanged). On failure throws EEditorFileError and the editor is
  // left as it was. Clears the modified flag.
  void LoadFromFile(const std::string& path);
  // Writes the text to path through a temporary file beside it that is renamed over
  // the old one, so a failure never leaves a partial or empty file. Throws
  // EEditorFileError with the reason; the old file then stays as it was. Does not
  // touch the modified flag (the caller clears it after a successful save).
  void SaveToFile(const std::string& path) const;

  bool Modified() const;
  void SetModified(bool modified);

  // Selection as character offsets into Text() (a line break counts two).
  int SelStart() const;
  int SelLength() const;
  void SetSelStart(int offset);  // empty selection at offset (clamped to the text)
  void SetSelection(int start, int length);

  // The caret is the end of the current selection.
  TCaretPos CaretPos() const;
  void SetCaretPos(TCaretPos pos);  // clamped; empty selection

  int LineCount() const;
  std::string Line(int index) const;  // "" when out of range

  int FirstVisibleLine() const;
  void SetFirstVisibleLine(int line);
  void LineScroll(int lines);  // scroll the view down (negative: up)

  // Reports the caret through OnCaretMove if it differs from the last report.
  void CheckCaretMove();

  // Word boundaries for Ctrl+Backspace and Ctrl+Delete: first over tabs and blanks,
  // then over the following other characters.
  static int WordStartBefore(const QString& line, int x);
  static int WordEndAfter(const QString& line, int x);

  // Marks line (0-based) as the place of an error of the last run, in the margin; the
  // mark goes away when the line's text changes. Lines out of range are ignored.
  void MarkErrorLine(int line);
  void ClearErrorMarks();
  std::vector<int> ErrorLines() const;  // the marked lines, in order

  // Shows and edits other's document from now on: one text, one modified flag and one
  // undo history for every page on the same file. The document lives while any of
  // its editors does.
  void ShareDocument(TMyEdit* other);
  // Gives this editor a document of its own holding the same text (after Save As,
  // the other pages stay on the old file). Nothing happens when none is shared.
  void DetachDocument();

  int MarginWidth() const;  // the line-number margin left of the text

  // Find (Ctrl+F, F3, Shift+F3), replace (Ctrl+H) and go to line (Ctrl+G) work through
  // a bar over the text. FindNext looks for the bar's text from the caret, wrapping
  // at the ends; false when the text holds none.
  bool FindNext(bool backward = false);

  // Completion: Ctrl+Space, and after "." on a name it knows (sys, main, inet, a
  // handle); property, value, class and live object names inside the string
  // arguments that take them. The list is a child widget: keys stay with the editor.
  void Complete();
  bool CompletionOpen() const;

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  friend class TLineNumberMargin;
  friend class TFindBar;
  void SetUp();
  bool KeyDown(QKeyEvent* e);   // true: handled and consumed
  bool KeyPress(QKeyEvent* e);  // true: the key's character is dropped
  void DeleteCaretLine();
  void InsertLineBreakWithIndent();
  void SmartHome();
  void DeleteWordBefore();
  void DeleteWordAfter();
  void PlaceCaret(int line, int column);  // empty selection, scrolled into view
  void UpdateTabStops();
  void SetDocumentText(QString text);  // clears the modified flag
  void UpdateMarginWidth();
  int MarginWidthFor(int lines) const;
  void SetMarginWidth(int width);
  void PlaceMargin();
  void PaintMargin(QPaintEvent* e);
  void UpdateMarginArea(const QRect& rect, int dy);
  void UpdateExtraSelections();  // current line and matching brackets
  void CreateMargin();

  QWidget* FMargin = nullptr;
  int FShownCaretLine = -1;            // the current line as last highlighted
  bool FShownMarks = true;             // brackets or matches were marked last time
  class TFindBar* FFindBar = nullptr;  // made on first use
  class TFindBar* FindBar();
  std::unique_ptr<class TCompleter> FCompleter;  // made on first use
  class TCompleter* Completer();
  void AfterTyping(QKeyEvent* e);
  std::shared_ptr<QTextDocument> FSharedDocument;  // set once a document is shared
  QString FileText(QString text) const;            // the document's text as the file holds it
};
