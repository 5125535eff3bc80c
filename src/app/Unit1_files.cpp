// The workbench's files: saving every page, the questions asked before typed work
// could be lost, and the watch on the open files for changes made behind its back.

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <set>

#include "Classes.h"
#include "Unit1.h"
#include "Unit1_testhook.h"
#include "u_myedit.h"

namespace {

// What a file holds now; `exists` false when it is gone (or cannot be read).
struct TDiskState {
  bool exists = false;
  QByteArray bytes;
};

TDiskState ReadDisk(const std::string& path) {
  TDiskState state;
  QFile file(Q(path));
  if (!file.open(QIODevice::ReadOnly)) return state;
  state.bytes = file.readAll();
  state.exists = file.error() == QFileDevice::NoError;
  return state;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Questions.

TForm1::TAnswer TForm1::Ask(const std::string& text, const std::vector<TAnswer>& answers,
                            TAnswer byDefault) {
  if (AskHook) return AskHook(text);
  QMessageBox box(QMessageBox::Question, windowTitle(), Q(text), QMessageBox::NoButton, this);
  std::vector<std::pair<QAbstractButton*, TAnswer>> buttons;
  for (TAnswer a : answers) {
    QAbstractButton* b = nullptr;
    switch (a) {
      case TAnswer::Save:
        b = box.addButton(QMessageBox::Save);
        break;
      case TAnswer::Discard:
        b = box.addButton(QMessageBox::Discard);
        break;
      case TAnswer::Cancel:
        b = box.addButton(QMessageBox::Cancel);
        break;
      case TAnswer::Yes:
        b = box.addButton(QMessageBox::Yes);
        break;
      case TAnswer::No:
        b = box.addButton(QMessageBox::No);
        break;
    }
    buttons.emplace_back(b, a);
    if (a == byDefault) box.setDefaultButton(static_cast<QPushButton*>(b));
  }
  // Escape and the window's close button choose the answer that changes nothing.
  for (auto& [b, a] : buttons)
    if (a == TAnswer::Cancel || a == TAnswer::No) box.setEscapeButton(b);
  ExecBox(box);
  for (auto& [b, a] : buttons)
    if (box.clickedButton() == b) return a;
  return answers.back();
}

// ---------------------------------------------------------------------------------
// Saving.

bool TForm1::SavePage(TMyEdit* editor, std::vector<std::string>& failures) {
  if (editor->FilePath.empty()) {
    // A new page gets its name at its first save; without one it stays modified.
    if (editor->Sheet) PageControl1->setCurrentWidget(editor->Sheet);
    const std::string name = ChooseSaveFile();
    if (name.empty()) return false;
    try {
      editor->SaveToFile(name);
    } catch (const std::exception& e) {
      failures.push_back(e.what());
      return false;
    }
    editor->FilePath = name;
    NoteRecentFile(name);
    editor->SetModified(false);
    RememberDisk(editor);
    return true;
  }
  TPageFile& page = pageFiles_[editor];
  // Something else wrote the file since we read or wrote it: ask before overwriting.
  const TDiskState now = ReadDisk(editor->FilePath);
  if (now.exists && page.known && now.bytes != page.disk) {
    const TAnswer a =
        Ask("\"" + editor->FilePath +
                "\" was changed on disk after it was opened.\nOverwrite it with the text of "
                "this page?",
            {TAnswer::Yes, TAnswer::No}, TAnswer::No);
    if (a != TAnswer::Yes) return false;
  }
  try {
    editor->SaveToFile(editor->FilePath);
  } catch (const std::exception& e) {
    failures.push_back(e.what());
    return false;
  }
  editor->SetModified(false);
  for (int i = 0; i < PageCount(); ++i)
    for (TMyEdit* other : PageControl1->widget(i)->findChildren<TMyEdit*>())
      if (other->document() == editor->document()) RememberDisk(other);
  return true;
}

bool TForm1::SaveAll() {
  std::vector<std::string> failures;
  bool allWritten = true;
  std::set<const void*> documents;  // pages on one file share one document: write it once
  for (int i = 0; i < PageCount(); ++i) {
    for (TMyEdit* editor : PageControl1->widget(i)->findChildren<TMyEdit*>()) {
      if (!editor->Modified() || !documents.insert(editor->document()).second) continue;
      if (!SavePage(editor, failures)) allWritten = false;
    }
  }
  try {
    SaveWorkspace();
  } catch (const std::exception& e) {
    failures.push_back(e.what());
    allWritten = false;
  }
  if (PageControl1->currentIndex() >= 0) PageEditor(PageControl1->currentIndex())->setFocus();
  if (!failures.empty()) ShowMessage("error of saving", Join(failures));
  return allWritten;
}

// ---------------------------------------------------------------------------------
// Before a page goes.

bool TForm1::ConfirmDiscard(const std::vector<int>& closing) {
  std::set<QWidget*> going;
  for (int i : closing) going.insert(PageControl1->widget(i));
  std::vector<TMyEdit*> unsaved;
  std::set<const void*> documents;
  for (int i : closing) {
    QWidget* sheet = PageControl1->widget(i);
    if (!sheet) continue;
    for (TMyEdit* editor : sheet->findChildren<TMyEdit*>()) {
      if (!editor->Modified() || !documents.insert(editor->document()).second) continue;
      // A page that stays and shows the same document keeps the typed text.
      bool kept = false;
      for (int j = 0; j < PageCount() && !kept; ++j)
        if (!going.count(PageControl1->widget(j)))
          for (TMyEdit* other : PageControl1->widget(j)->findChildren<TMyEdit*>())
            kept = kept || other->document() == editor->document();
      if (!kept) unsaved.push_back(editor);
    }
  }
  if (unsaved.empty()) return true;

  std::string text;
  const auto name = [](const TMyEdit* e) {
    return e->FilePath.empty() ? std::string("Untitled") : e->FilePath;
  };
  if (unsaved.size() == 1) {
    text = "Save changes to \"" + name(unsaved.front()) + "\"?";
  } else {
    text = "Save changes to these files?";
    for (TMyEdit* editor : unsaved) text += "\n" + name(editor);
  }
  switch (Ask(text, {TAnswer::Save, TAnswer::Discard, TAnswer::Cancel}, TAnswer::Save)) {
    case TAnswer::Discard:
      return true;
    case TAnswer::Save: {
      std::vector<std::string> failures;
      bool allWritten = true;
      for (TMyEdit* editor : unsaved)
        if (!SavePage(editor, failures)) allWritten = false;
      if (!failures.empty()) ShowMessage("error of saving", Join(failures));
      return allWritten;  // a page that was not written stays
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------------
// The watch on the open files.

void TForm1::RememberDisk(TMyEdit* editor) {
  TPageFile& page = pageFiles_[editor];
  const TDiskState now = ReadDisk(editor->FilePath);
  page.known = now.exists;
  page.disk = now.bytes;
  SetPageMark(editor, TPageMark::None);
  if (!watcher_) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { FileChangedOnDisk(path.toStdString()); });
  }
  if (now.exists && !watcher_->files().contains(Q(editor->FilePath)))
    watcher_->addPath(Q(editor->FilePath));
}

void TForm1::ForgetDisk(TMyEdit* editor) {
  pageFiles_.erase(editor);
}

void TForm1::SetPageMark(TMyEdit* editor, TPageMark mark) {
  pageFiles_[editor].mark = mark;
  UpdateModifiedMarks();
}

void TForm1::FileChangedOnDisk(const std::string& path) {
  const QString absolute = QFileInfo(Q(path)).absoluteFilePath();
  std::set<const void*> documents;
  for (int i = 0; i < PageCount(); ++i) {
    for (TMyEdit* editor : PageControl1->widget(i)->findChildren<TMyEdit*>()) {
      if (QFileInfo(Q(editor->FilePath)).absoluteFilePath() != absolute) continue;
      TPageFile& page = pageFiles_[editor];
      const TDiskState now = ReadDisk(editor->FilePath);
      if (!now.exists) {
        // Programs that save by renaming remove the file for a moment: look again.
        if (!page.recheck) {
          page.recheck = true;
          QPointer<TMyEdit> guard(editor);
          QTimer::singleShot(300, this, [this, guard] {
            if (!guard) return;
            pageFiles_[guard].recheck = false;
            if (!ReadDisk(guard->FilePath).exists) {
              // The page's text is now the only copy: it counts as unsaved, so saving
              // writes the file again and closing the page asks first.
              SetPageMark(guard, TPageMark::Deleted);
              guard->SetModified(true);
              TestLog("file", "deleted " + guard->FilePath);
            } else {
              FileChangedOnDisk(guard->FilePath);
            }
          });
        }
        continue;
      }
      if (!watcher_->files().contains(Q(editor->FilePath))) watcher_->addPath(Q(editor->FilePath));
      if (page.known && now.bytes == page.disk) {
        if (page.mark == TPageMark::Deleted) SetPageMark(editor, TPageMark::None);
        continue;  // our own save, or a write of the same bytes
      }
      if (!documents.insert(editor->document()).second) {
        // Another page on the same document has dealt with it.
        if (editor->Modified())
          SetPageMark(editor, TPageMark::Changed);
        else
          RememberDisk(editor);
        continue;
      }
      if (editor->Modified()) {
        SetPageMark(editor, TPageMark::Changed);
        TestLog("file", "changed " + editor->FilePath);
        continue;
      }
      // Unmodified: show what is on disk, where the user was.
      const int selStart = editor->SelStart();
      const int firstLine = editor->FirstVisibleLine();
      try {
        editor->LoadFromFile(editor->FilePath);
      } catch (const std::exception&) {
        continue;  // unreadable now: keep what the page shows; the next change retries
      }
      editor->SetSelStart(selStart);
      editor->SetFirstVisibleLine(firstLine);
      RememberDisk(editor);
      TestLog("file", "reloaded " + editor->FilePath);
    }
  }
}
