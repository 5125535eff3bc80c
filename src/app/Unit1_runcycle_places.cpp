#include "Unit1_runcycle_places.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>

#include "Unit1.h"
#include "u_myedit.h"

namespace {

// The place of a report, kept with each of its log lines.
class TPlaceData final : public QTextBlockUserData {
 public:
  explicit TPlaceData(TErrorPlace place) : Place(std::move(place)) {}
  const TErrorPlace Place;
};

// Paths name the same file when they are equal or lead to the same file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const QString ca = QFileInfo(QString::fromStdString(a)).canonicalFilePath();
  return !ca.isEmpty() && ca == QFileInfo(QString::fromStdString(b)).canonicalFilePath();
}

}  // namespace

TErrorPlaces::TErrorPlaces(TForm1* form)
    : QObject(form), form_(form), logAddress_(form->log), logViewAddress_(form->log->viewport()) {
  // The arrow keys walk the log's lines, so Enter has a line to open.
  form_->log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  form_->log->installEventFilter(this);
  form_->log->viewport()->installEventFilter(this);
}

void TErrorPlaces::Report(const std::vector<std::string>& lines, const TErrorPlace& place) {
  QTextDocument* doc = form_->log->document();
  for (const std::string& line : lines) {
    // A line may hold line breaks (a description): every block of it keeps the place.
    const bool empty = doc->isEmpty();
    const int first = empty ? 0 : doc->blockCount();
    form_->LogLine(line);
    for (QTextBlock b = doc->findBlockByNumber(first); b.isValid(); b = b.next())
      b.setUserData(new TPlaceData(place));
  }
  if (place.File.empty() || place.Line < 1) return;
  marks_.push_back(place);
  for (int i = 0; i < form_->PageCount(); ++i)
    if (SameFile(form_->PageEditor(i)->FilePath, place.File))
      form_->PageEditor(i)->MarkErrorLine(place.Line - 1);
}

void TErrorPlaces::ClearMarks() {
  marks_.clear();
  for (int i = 0; i < form_->PageCount(); ++i) form_->PageEditor(i)->ClearErrorMarks();
}

int TErrorPlaces::PageOfFile(const std::string& file) const {
  const int current = form_->PageControl1->currentIndex();
  if (current >= 0 && SameFile(form_->PageEditor(current)->FilePath, file)) return current;
  for (int i = 0; i < form_->PageCount(); ++i)
    if (SameFile(form_->PageEditor(i)->FilePath, file)) return i;
  return -1;
}

void TErrorPlaces::MarkPage(int page) {
  TMyEdit* editor = form_->PageEditor(page);
  for (const TErrorPlace& mark : marks_)
    if (SameFile(editor->FilePath, mark.File)) editor->MarkErrorLine(mark.Line - 1);
}

bool TErrorPlaces::OpenPlace(const QTextBlock& logLine) {
  const auto* data = dynamic_cast<const TPlaceData*>(logLine.userData());
  if (!data) return false;
  const TErrorPlace& place = data->Place;
  if (place.File.empty()) {
    // An event's own text is in no file: say where it is instead.
    form_->StatusText(place.Event.empty() ? "The place of this error is not known"
                                          : "The error lies in the text bound to " + place.Event +
                                                ", which no file holds");
    return true;
  }
  int page = PageOfFile(place.File);
  if (page < 0) {
    if (!QFileInfo(QString::fromStdString(place.File)).isFile()) {
      form_->StatusText("File not found: " + place.File);
      return true;
    }
    page = form_->OpenPage(place.File);
    MarkPage(page);
  }
  form_->PageControl1->setCurrentIndex(page);
  TMyEdit* editor = form_->PageEditor(page);
  if (place.Line >= 1) editor->SetCaretPos({place.Column - 1, place.Line - 1});
  editor->setFocus();
  form_->ShowCaretPos();
  return true;
}

bool TErrorPlaces::eventFilter(QObject* watched, QEvent* event) {
  const bool onView = watched == logViewAddress_;
  if (!(onView && event->type() == QEvent::MouseButtonDblClick) &&
      !(watched == logAddress_ && event->type() == QEvent::KeyPress))
    return QObject::eventFilter(watched, event);
  QPlainTextEdit* log = form_->log;
  if (onView) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton &&
        OpenPlace(log->cursorForPosition(mouse->position().toPoint()).block()))
      return true;
  } else if (watched == log && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && OpenPlace(log->textCursor().block()))
      return true;
  }
  return QObject::eventFilter(watched, event);
}
