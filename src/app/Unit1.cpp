#include "Unit1.h"

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
#include "Unit1_runcycle_places.h"
#include "Unit1_testhook.h"
#include "u_jobject.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"
#include "vantor_utils.h"

TForm1* Form1 = nullptr;

namespace {

std::function<void(const std::string&)>& UrlOpener() {
  static std::function<void(const std::string&)> opener = [](const std::string& address) {
    QDesktopServices::openUrl(QUrl(Q(address)));
  };
  return opener;
}

}  // namespace

std::string OrvelTitle() {
  return std::string("Orvel configurator ") + ORVEL_VERSION;
}

void OpenInBrowser(const std::string& address) {
  if (address.empty()) return;
  if (UrlOpener()) UrlOpener()(address);
}

void SetUrlOpener(std::function<void(const std::string&)> opener) {
  UrlOpener() = std::move(opener);
}

// ---------------------------------------------------------------------------------

TForm1::TForm1(const std::string& mainFile, QWidget* parent)
    : QWidget(parent),
      rootOwner_(std::make_unique<TComponent>(nullptr)),
      workspaceFile_(DefaultWorkspaceFileName()),
      initialMainFile_(mainFile) {
  setObjectName("Form1");
  setWindowTitle(Q(OrvelTitle()));
  BuildLayout();

  run_.Log = [this](const std::string& line) { LogLine(line); };
  places_ = new TErrorPlaces(this);
  run_.OnErrorReport = [this](const std::vector<std::string>& lines, const TErrorPlace& place) {
    places_->Report(lines, place);
  };
  run_.OnActiveChange = [this](bool active) { SetRunState(active); };
  SetRootOwner(rootOwner_.get());
  SetWorkbenchOutput(this);
  // The editors offer the names of the running script's objects inside sys.getObj(".
  SetLiveObjectNamesProvider([this] {
    std::vector<std::string> names;
    if (!run_.Active()) return names;
    const std::string list = ListObjectNames();
    std::string name;
    bool quoted = false;
    for (size_t i = 0; i <= list.size(); ++i) {
      const char c = i < list.size() ? list[i] : ',';
      if (quoted && c == '"' && i + 1 < list.size() && list[i + 1] == '"') {
        name += '"';
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        if (!name.empty()) names.push_back(name);
        name.clear();
      } else {
        name += c;
      }
    }
    return names;
  });
  qApp->installEventFilter(this);

  // Releases queued by the garbage collector run once control is back in the loop.
  if (auto* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [] {
      if (ScriptCtrl && ScriptCtrl->Depth() == 0) ScriptCtrl->ReleasePending();
    });
}

TForm1::~TForm1() {
  qApp->removeEventFilter(this);
  SetLiveObjectNamesProvider(nullptr);
  run_.Stop();
  if (WorkbenchOutput() == this) SetWorkbenchOutput(nullptr);
  SetRootOwner(nullptr);
  rootOwner_.reset();
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::btLoadClick() {
  const std::string name = ChooseFile();
  if (!name.empty()) OpenPage(name);
}

void TForm1::btSelectMainFileClick() {
  const std::string name = ChooseFile();
  if (name.empty()) return;
  const QString previous = edMainFile->text();
  const std::string previousBytes = mainFileBytes_;
  SetMainFileText(name);
  if (!LoadMainFile()) {  // cancelled: nothing changes
    edMainFile->setText(previous);
    mainFileBytes_ = previousBytes;
  }
}

void TForm1::edMainFileKeyDown(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) btLoadClick();
}

void TForm1::btLogClearClick() {
  log->clear();
}

void TForm1::btLogMinimClick() {
  const QList<int> sizes = Splitter1->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  Splitter1->setSizes({total - 10, 10});
}

void TForm1::Button1Click() {
  const QString readme = QString::fromStdString(ProgramFile("README.md"));
  OpenInBrowser(S(QUrl::fromLocalFile(readme).toString()));
}

void TForm1::Button2Click() {
  OpenInBrowser(ORVEL_DOWNLOAD_URL);
}

void TForm1::LogLine(const std::string& line) {
  log->appendPlainText(Q(line));
  TestLog("log", line);
}

void TForm1::StatusText(const std::string& text) {
  StatusText1->setText(Q(text));
}

void TForm1::ShowMessage(const std::string& text, const std::string& detail) {
  if (ShowMessageHook) {
    ShowMessageHook(text, detail);
    return;
  }
  QMessageBox box(QMessageBox::Warning, windowTitle(), Q(text), QMessageBox::Ok, this);
  if (!detail.empty()) box.setInformativeText(Q(detail));
  ExecBox(box);
}

int TForm1::ExecBox(QMessageBox& box) {
  const std::string text = S(box.text());
  if (TestLogOn()) {
    const std::string detail = S(box.informativeText());
    if (!detail.empty()) TestLog("boxdetail", detail);
    // Where its buttons are, once it is on the screen.
    QTimer::singleShot(0, &box, [&box] {
      for (QAbstractButton* b : box.buttons())
        TestLogGeometry(b, "box:" + S(b->text().remove('&')));
    });
  }
  TestLog("box", text);
  const int answer = box.exec();
  TestLog("boxdone", text);
  return answer;
}

void TForm1::LogGeometry() const {
  if (!TestLogOn() || !shown_) return;
  TestLogGeometry(this, "Form1");
  for (QWidget* w : std::initializer_list<QWidget*>{
           edMainFile, btSelectMainFile, edLanguage, btLoad, btSave, btRun, btStop, lbCaretPos,
           PageControl1, btClosePage, log, btLogClear, btLogMinim, Button1, Button2, StatusBar1})
    TestLogGeometry(w, S(w->objectName()));
  QTabBar* tabs = PageControl1->tabBar();
  const double ratio = devicePixelRatioF();
  for (int i = 0; i < tabs->count(); ++i) {
    const QRect r(tabs->mapToGlobal(tabs->tabRect(i).topLeft()), tabs->tabRect(i).size());
    TestLog("geometry", "tab" + std::to_string(i) + " " + std::to_string(qRound(r.x() * ratio)) +
                            " " + std::to_string(qRound(r.y() * ratio)) + " " +
                            std::to_string(qRound(r.width() * ratio)) + " " +
                            std::to_string(qRound(r.height() * ratio)));
  }
}

std::string TForm1::ChooseFile() {
  if (ChooseFileHook) return ChooseFileHook();
  // Default settings: no filter, no default extension, the file need not exist.
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  TestLog("dialog", "OpenDialog1");
  const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  TestLog("dialogdone", "OpenDialog1");
  return chosen ? S(dialog.selectedFiles().first()) : "";
}
