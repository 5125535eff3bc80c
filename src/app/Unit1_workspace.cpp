// The workspace file, the main file and the list of recent files.

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
#include <numeric>
#include <sstream>

#include "Classes.h"
#include "Unit1.h"
#include "Unit1_runcycle_places.h"
#include "Unit1_testhook.h"
#include "u_jobject.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"
#include "vantor_utils.h"

namespace {

// Trims blanks and control characters at both ends.
std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

bool ParseInt(const std::string& text, long long& value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  try {
    size_t used = 0;
    value = std::stoll(t, &used, 10);
    return used == t.size();
  } catch (const std::exception&) {
    return false;
  }
}

// Replaces `path` as a whole or not at all.
void WriteFileAtomically(const std::string& path, const std::string& data) {
  QSaveFile file(Q(path));
  if (!file.open(QIODevice::WriteOnly))
    throw Exception("Cannot write file \"" + path + "\". " + S(file.errorString()));
  if (file.write(data.data(), static_cast<qint64>(data.size())) !=
          static_cast<qint64>(data.size()) ||
      !file.commit())
    throw Exception("Cannot write file \"" + path + "\". " + S(file.errorString()));
}

}  // namespace

// An installed program keeps its samples and README in its data folder.
static QString InstalledDataFolder() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" ORVEL_DATA_FROM_BIN);
}

std::string TForm1::ProgramFile(const std::string& name) {
  const QString beside = QCoreApplication::applicationDirPath() + "/" + Q(name);
  if (QFileInfo::exists(beside)) return S(beside);
  const QString installed = InstalledDataFolder() + "/" + Q(name);
  return S(QFileInfo::exists(installed) ? installed : beside);
}

std::string TForm1::DefaultWorkspaceFileName() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  const QString beside = dir + "/" + name + ".ini";
  const QFileInfo besideInfo(beside);
  // Installed, the program's folder is shared (and writable by root): never there.
  const bool installed = QFileInfo(InstalledDataFolder()).isDir();
  if (!installed && QFileInfo(dir).isWritable() &&
      (!besideInfo.exists() || besideInfo.isWritable()))
    return S(beside);
  QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (config.isEmpty()) config = QDir::homePath() + "/.config";
  return S(config + "/orvel/" + name + ".ini");
}

std::string TForm1::ExampleMainFile() {
  return ProgramFile("examples/hello.js");
}

namespace {

// By the name's bytes: a name that is not UTF-8 has no exact QString.
bool IsPlainFile(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void TForm1::SaveWorkspace() {
  std::string text;
  auto line = [&text](const std::string& s) {
    text += s;
    text += "\r\n";
  };
  line(S(edLanguage->text()));
  line(std::to_string(PageControl1->currentIndex()));
  line(MainFileText());
  for (int i = 0; i < PageCount(); ++i) {
    TMyEdit* editor = PageEditor(i);
    line(std::to_string(editor->FirstVisibleLine()) + "," + std::to_string(editor->SelStart()) +
         "," + editor->FilePath);
  }
  const QString folder = QFileInfo(Q(workspaceFile_)).absolutePath();
  if (!QDir().mkpath(folder)) throw Exception("Cannot create folder \"" + S(folder) + "\"");
  WriteFileAtomically(workspaceFile_, text);
}

void TForm1::LoadWorkspace() {
  std::ifstream in(workspaceFile_, std::ios::binary);
  if (!in) return;
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string data = buffer.str();

  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    lines.push_back(data.substr(pos, end - pos));
    pos = end;
    if (pos < data.size() && data[pos] == '\r') ++pos;
    if (pos < data.size() && data[pos] == '\n') ++pos;
  }

  long long active = -1;
  if (lines.size() > 0) edLanguage->setText(Q(lines[0]));
  if (lines.size() > 1 && !ParseInt(lines[1], active)) active = -1;
  if (lines.size() > 2) SetMainFileText(lines[2]);

  int activePage = -1;
  long long entry = 0;  // position among the page lines as they were saved
  for (size_t i = 3; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const long long thisEntry = entry++;
    std::string head, rest, selHead, path;
    SplitAtSeparator(lines[i], ",", head, rest);
    SplitAtSeparator(rest, ",", selHead, path);
    head = Trim(head);
    selHead = Trim(selHead);
    path = Trim(path);
    long long scroll = 0, selStart = 0;
    // A line of another shape, or a file that is gone, is left out.
    if (!ParseInt(head, scroll) || !ParseInt(selHead, selStart) || path.empty()) continue;
    if (!IsPlainFile(path)) continue;
    const int index = OpenPage(path);
    if (index < 0) continue;
    TMyEdit* editor = PageEditor(index);
    editor->SetSelStart(static_cast<int>(std::max(0LL, selStart)));
    // Placing the caret may have scrolled the view already: set the first line itself.
    editor->SetFirstVisibleLine(static_cast<int>(std::max(0LL, scroll)));
    if (thisEntry == active) activePage = index;
  }

  if (activePage >= 0) PageControl1->setCurrentIndex(activePage);
  if (PageControl1->currentIndex() >= 0) PageEditor(PageControl1->currentIndex())->setFocus();
}

void TForm1::SetMainFileText(const std::string& name) {
  mainFileBytes_ = name;
  edMainFile->setText(Q(name));
}

std::string TForm1::MainFileText() const {
  // The box shows a name that is not UTF-8 with replacement characters; while the
  // user leaves it as set, the name's own bytes are meant.
  if (!mainFileBytes_.empty() && edMainFile->text() == Q(mainFileBytes_)) return mainFileBytes_;
  return S(edMainFile->text());
}

bool TForm1::LoadMainFile() {
  const std::string name = MainFileText();
  if (!IsPlainFile(name)) {
    ShowMessage("File not found: " + name);
    return false;
  }
  std::vector<int> all(PageCount());
  std::iota(all.begin(), all.end(), 0);
  if (!ConfirmDiscard(all)) return false;
  btStopClick();
  for (int i = PageCount() - 1; i >= 0; --i) ClosePage(i);
  OpenPage(name);
  return true;
}

void TForm1::LoadRecentFiles() {
  if (recentLoaded_) return;
  recentLoaded_ = true;
  std::ifstream in(RecentFileName(), std::ios::binary);
  std::string line;
  while (std::getline(in, line) && recent_.size() < 8) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) recent_.push_back(line);
  }
}

void TForm1::NoteRecentFile(const std::string& path) {
  LoadRecentFiles();
  const std::string full = S(QFileInfo(Q(path)).absoluteFilePath());
  const std::string entry = full.empty() ? path : full;
  recent_.erase(std::remove(recent_.begin(), recent_.end(), entry), recent_.end());
  recent_.insert(recent_.begin(), entry);
  if (recent_.size() > 8) recent_.resize(8);
  std::string text;
  for (const std::string& r : recent_) text += r + "\n";
  try {
    WriteFileAtomically(RecentFileName(), text);
  } catch (const std::exception&) {
    // The list is a convenience: a folder that takes no file only loses it.
  }
}

void TForm1::FillRecentMenu() {
  LoadRecentFiles();
  QMenu* menu = btRecent->menu();
  menu->clear();
  for (const std::string& r : recent_) menu->addAction(Q(r), this, [this, r] { OpenPage(r); });
  if (recent_.empty()) menu->addAction("(none)")->setEnabled(false);
}
