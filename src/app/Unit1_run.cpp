// The run cycle's window side: Run, Stop, and the window's first show and close.

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

void TForm1::SetRunState(bool active) {
  btRun->setEnabled(!active);
  btStop->setEnabled(active);
}

void TForm1::btRunClick() {
  if (!btRun->isEnabled()) return;
  btSaveClick();
  LogLine("== RUN ==");
  places_->ClearMarks();
  run_.Start(MainFileText(), S(edLanguage->text()));
  // The log gets nothing more; why a run did not get going goes to the status bar.
  if (!run_.Failure().empty() && run_.ErrorsReported() == 0) StatusText(run_.Failure());
}

void TForm1::btStopClick() {
  setFocus();
  if (run_.Busy()) {
    // A statement is running below us (we are in its interrupt): ask it to end, and
    // end the run once it has returned.
    run_.RequestStop();
    QTimer::singleShot(10, this, [this] { btStopClick(); });
    return;
  }
  run_.Stop();
  SetRunState(false);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TForm1::FormShow() {
  run_.IncludedFiles.clear();
  run_.ExpandedLines.clear();
  edLanguage->setText("JScript");
  ScriptCtrl = nullptr;
  winId();
  const bool restored = QFileInfo(Q(workspaceFile_)).exists();
  LoadWorkspace();
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    ShowCaretPos();
    // A click on a tab leaves the keyboard with that page's text.
    if (QWidget* sheet = PageControl1->currentWidget())
      if (auto* editor = sheet->findChild<TMyEdit*>(); editor && isActiveWindow())
        editor->setFocus();
  });
  ShowCaretPos();

  std::string mainFile = initialMainFile_;
  if (mainFile.empty() && !restored && QFileInfo(Q(ExampleMainFile())).isFile())
    mainFile = ExampleMainFile();
  if (!mainFile.empty()) {
    SetMainFileText(mainFile);
    LoadMainFile();
  }
  // Where everything lies once the window is mapped.
  QTimer::singleShot(0, this, [this] {
    LogGeometry();
    TestLog("ready", "");
  });
}

bool TForm1::FormClose() {
  // A close whose save failed would drop the unsaved text with the window.
  if (!SaveAll() && Ask("Not all changes could be saved.\nClose anyway and lose them?",
                        {TAnswer::Yes, TAnswer::No}, TAnswer::No) != TAnswer::Yes)
    return false;
  btStopClick();
  run_.IncludedFiles.clear();
  run_.ExpandedLines.clear();
  if (ObjectCount() <= 0) return true;
  if (ConfirmCloseWithObjectsHook) return ConfirmCloseWithObjectsHook();
  QMessageBox box(QMessageBox::Warning, "COM Server Warning",
                  "There are still active COM objects in this application.  One or more "
                  "clients may have references to these objects, so manually closing "
                  "this application may cause those client application(s) to fail.\n\n"
                  "Are you sure you want to close this application?",
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  box.setWindowModality(Qt::ApplicationModal);
  return ExecBox(box) == QMessageBox::Yes;
}

void TForm1::closeEvent(QCloseEvent* event) {
  TestLog("close", "asked");
  if (run_.Busy()) {
    // A statement is running below us (we are in its interrupt): save now, stop it,
    // and close once it has returned and the run can end.
    btSaveClick();
    run_.RequestStop();
    event->ignore();
    QTimer::singleShot(10, this, [this] { close(); });
    return;
  }
  if (!FormClose()) {
    event->ignore();
    return;
  }
  event->accept();
  if (QuitOnClose) QCoreApplication::quit();
}
