// Pages: opening, closing, saving under a new name, the marks of modified pages.

#include <sys/stat.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "Classes.h"
#include "Unit1.h"
#include "Unit1_runcycle_places.h"
#include "Unit1_testhook.h"
#include "u_jobject.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"
#include "vantor_utils.h"

TMyEdit* TForm1::NewEditorSheet() {
  auto* sheet = new QWidget;
  sheet->setObjectName("TabSheet");
  auto* editor = new TMyEdit(sheet);
  auto* fill = new QVBoxLayout(sheet);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(editor);
  return editor;
}

int TForm1::OpenPage(const std::string& path) {
  // The editor is in place before the page joins the control, whose change signal
  // reads the active page's editor.
  TMyEdit* editor = NewEditorSheet();
  QWidget* sheet = editor->parentWidget();
  const int index = PageControl1->addTab(sheet, QFileInfo(Q(path)).fileName());

  // A second page on a file shows the same text as the first, so that neither save
  // can overwrite the other page's edits.
  TMyEdit* sameFile = nullptr;
  struct stat target {};
  const bool known = ::stat(path.c_str(), &target) == 0;
  for (int i = 0; known && i < PageCount() && !sameFile; ++i) {
    if (i == index) continue;
    TMyEdit* other = PageEditor(i);
    struct stat st {};
    if (!other->FilePath.empty() && ::stat(other->FilePath.c_str(), &st) == 0 &&
        st.st_dev == target.st_dev && st.st_ino == target.st_ino)
      sameFile = other;
  }
  try {
    if (sameFile)
      editor->ShareDocument(sameFile);
    else
      editor->LoadFromFile(path);
  } catch (const std::exception& e) {
    PageControl1->removeTab(index);
    delete sheet;
    ShowMessage("Cannot open file " + path, e.what());
    return -1;
  }
  editor->OnCaretMove = [this](TMyEdit*) { ShowCaretPos(); };
  editor->FilePath = path;
  editor->Sheet = sheet;
  connect(editor, &QPlainTextEdit::modificationChanged, this, [this] { UpdateModifiedMarks(); });
  NoteRecentFile(path);
  RememberDisk(editor);

  PageControl1->setCurrentIndex(index);
  UpdateModifiedMarks();
  editor->setFocus();
  QTimer::singleShot(0, this, [this] { LogGeometry(); });
  return index;
}

int TForm1::PageCount() const {
  return PageControl1->count();
}

TMyEdit* TForm1::PageEditor(int index) const {
  QWidget* sheet = PageControl1->widget(index);
  TMyEdit* editor = sheet ? sheet->findChild<TMyEdit*>() : nullptr;
  if (!editor) throw Exception("MyEdit control not found");
  return editor;
}

void TForm1::ClosePage(int index) {
  QWidget* sheet = PageControl1->widget(index);
  if (!sheet) return;
  for (TMyEdit* editor : sheet->findChildren<TMyEdit*>()) ForgetDisk(editor);
  PageControl1->removeTab(index);
  delete sheet;
  UpdateModifiedMarks();
  QTimer::singleShot(0, this, [this] { LogGeometry(); });
}

void TForm1::btClosePageClick() {
  const int index = PageControl1->currentIndex();
  if (index < 0) return;
  if (!ConfirmDiscard({index})) return;
  ClosePage(index);
  if (PageCount() > 0) PageEditor(PageControl1->currentIndex())->setFocus();
}

void TForm1::ShowCaretPos() {
  QWidget* sheet = PageControl1->currentWidget();
  TMyEdit* editor = sheet ? sheet->findChild<TMyEdit*>() : nullptr;
  if (!editor) return;
  lbCaretPos->setText(
      QString("%1, %2").arg(editor->CaretPos().Y + 1).arg(editor->CaretPos().X + 1));
  lbCaretPos->adjustSize();
  PlaceCaretLabel();
  TestLogGeometry(lbCaretPos, "lbCaretPos");
}

void TForm1::btSaveClick() {
  SaveAll();
}

int TForm1::NewPage() {
  TMyEdit* editor = NewEditorSheet();
  QWidget* sheet = editor->parentWidget();
  editor->OnCaretMove = [this](TMyEdit*) { ShowCaretPos(); };
  editor->Sheet = sheet;
  connect(editor, &QPlainTextEdit::modificationChanged, this, [this] { UpdateModifiedMarks(); });
  const int index = PageControl1->addTab(sheet, "Untitled");
  PageControl1->setCurrentIndex(index);
  UpdateModifiedMarks();
  editor->setFocus();
  return index;
}

void TForm1::SaveAsClick() {
  const int index = PageControl1->currentIndex();
  if (index < 0) return;
  TMyEdit* editor = PageEditor(index);
  const std::string name = ChooseSaveFile();
  if (name.empty()) return;
  try {
    editor->SaveToFile(name);
  } catch (const std::exception& e) {
    ShowMessage("error of saving", e.what());
    return;
  }
  // The page now stands for the new file; a page still on the old one keeps its text.
  editor->DetachDocument();
  editor->FilePath = name;
  editor->SetModified(false);
  PageControl1->setTabText(index, QFileInfo(Q(name)).fileName());
  NoteRecentFile(name);
  UpdateModifiedMarks();
  try {
    SaveWorkspace();
  } catch (const std::exception& e) {
    ShowMessage("error of saving", e.what());
  }
}

std::string TForm1::ChooseSaveFile() {
  if (ChooseSaveFileHook) return ChooseSaveFileHook();
  QFileDialog dialog(this);
  dialog.setObjectName("SaveDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("js");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return S(dialog.selectedFiles().first());
}

void TForm1::UpdateModifiedMarks() {
  bool any = false;
  for (int i = 0; i < PageCount(); ++i) {
    TMyEdit* editor = PageEditor(i);
    const bool modified = editor->Modified();
    any = any || modified;
    const QString name =
        editor->FilePath.empty() ? QString("Untitled") : QFileInfo(Q(editor->FilePath)).fileName();
    QString caption = modified ? "*" + name : name;
    if (const auto f = pageFiles_.find(editor); f != pageFiles_.end()) {
      if (f->second.mark == TPageMark::Changed) caption += " (changed on disk)";
      if (f->second.mark == TPageMark::Deleted) caption += " (deleted)";
    }
    if (PageControl1->tabText(i) != caption) PageControl1->setTabText(i, caption);
  }
  const QString title = Q(any ? "*" + OrvelTitle() : OrvelTitle());
  if (windowTitle() != title) setWindowTitle(title);
}
