#include "Unit1.h"

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
#include <QTabWidget>
#include <QTabBar>
#include <QtMath>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <sys/stat.h>

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

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Client area of the designed window; the outer size is 731 × 604 with its frame.
constexpr int kClientWidth = 715;
constexpr int kClientHeight = 566;

// The layout was designed for a narrow font 13 pixels high; a wider or taller UI font
// scales every position and size by one ratio, so that every caption fits.
double LayoutScale = 1.0;
int Px(int designed) { return qRound(designed * LayoutScale); }

std::function<void(const std::string&)>& UrlOpener() {
  static std::function<void(const std::string&)> opener = [](const std::string& address) {
    QDesktopServices::openUrl(QUrl(Q(address)));
  };
  return opener;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setGeometry(Px(left), Px(top), Px(width), Px(height));
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

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

std::string OrvelTitle() { return std::string("Orvel configurator ") + ORVEL_VERSION; }

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

void TForm1::BuildLayout() {
  // The designed 8-point size in the system's own UI family; buttons keep a thin
  // padding so their captions fit the designed widths. On a screen too narrow for
  // that (high dpi), a smaller size, so the first window fits and nothing is cut off.
  QRect area(0, 0, 1 << 20, 1 << 20);
  if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  // Room for a window manager's frame.
  const int roomWidth = area.width() - 16;
  const int roomHeight = area.height() - 48;
  QFont uiFont = QApplication::font();
  int needWidth = 0;
  for (int points = 8; points >= 5; --points) {
    uiFont.setPointSize(points);
    LayoutScale = 1.0;
    const QFontMetricsF metrics(uiFont);
    const std::pair<QString, int> captions[] = {
        {"Load", 35}, {"Save (Ctrl+S)", 67}, {"Run (F9)", 49}, {"Stop (Ctrl+F2)", 71},
        {"Close Page", 67}, {"Clear", 36}, {"Minim", 36},
        {QString::fromUtf8("Последняя версия ") + ORVEL_SITE, 228}};
    for (const auto& [caption, designed] : captions)
      LayoutScale = std::max(LayoutScale, (metrics.horizontalAdvance(caption) + 8) / designed);
    LayoutScale = std::max(LayoutScale, metrics.height() / 13.0);
    // The caret label right of Stop needs room for its widest usual caption.
    caretLabelWidth_ = qCeil(metrics.horizontalAdvance("lbCaretPos")) + 4;
    needWidth = std::max(Px(kClientWidth), Px(672) + caretLabelWidth_ + Px(4));
    if (needWidth <= roomWidth) break;
  }
  setFont(uiFont);
  setStyleSheet("QPushButton { padding: 0px 2px; }");
  const int firstWidth = std::min(needWidth, std::max(roomWidth, 1));
  const int firstHeight = std::min(Px(kClientHeight), std::max(roomHeight, 1));
  resize(firstWidth, firstHeight);
  move(area.center() - QPoint(firstWidth / 2, firstHeight / 2));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(Px(34));
  column->addWidget(Panel1);

  lbFileName = new QLabel("File:", Panel1);
  lbFileName->setObjectName("lbFileName");
  lbFileName->move(Px(22), Px(13));
  lbFileName->adjustSize();

  edMainFile = new QLineEdit("edMainFile", Panel1);
  edMainFile->setObjectName("edMainFile");
  edMainFile->setGeometry(Px(46), Px(7), Px(257), Px(21));

  btSelectMainFile = MakeButton(Panel1, "btSelectMainFile", "...", 303, 7, 21, 21);

  edLanguage = new QLineEdit("edLanguage", Panel1);
  edLanguage->setObjectName("edLanguage");
  edLanguage->setGeometry(Px(337), Px(7), Px(95), Px(21));

  btLoad = MakeButton(Panel1, "btLoad", "Load", 440, 7, 35, 20);
  btSave = MakeButton(Panel1, "btSave", "Save (Ctrl+S)", 477, 7, 67, 20);
  btRun = MakeButton(Panel1, "btRun", "Run (F9)", 546, 7, 49, 20);
  btStop = MakeButton(Panel1, "btStop", "Stop (Ctrl+F2)", 598, 7, 71, 20);
  btStop->setEnabled(false);

  lbCaretPos = new QLabel("lbCaretPos", Panel1);
  lbCaretPos->setObjectName("lbCaretPos");
  lbCaretPos->move(Px(672), Px(12));
  lbCaretPos->setMinimumWidth(caretLabelWidth_);
  lbCaretPos->adjustSize();

  Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(Px(7));
  Splitter1->setChildrenCollapsible(false);
  Splitter1->setStyleSheet("QSplitter::handle { border-top: 1px solid palette(light);"
                           " border-bottom: 1px solid palette(dark); }");
  column->addWidget(Splitter1, 1);

  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setDocumentMode(true);
  PageControl1->setFocusPolicy(Qt::NoFocus);
  Splitter1->addWidget(PageControl1);

  pnLog = new QWidget(Splitter1);
  pnLog->setObjectName("pnLog");
  pnLog->setMinimumHeight(10);
  Splitter1->addWidget(pnLog);
  auto* logLayout = new QVBoxLayout(pnLog);
  logLayout->setContentsMargins(0, 0, 0, 0);
  log = new QPlainTextEdit(pnLog);
  log->setObjectName("log");
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log->setMinimumHeight(10);
  log->setTabStopDistance(log->fontMetrics().horizontalAdvance(' ') * 4);
  logLayout->addWidget(log);

  btLogClear = MakeButton(pnLog, "btLogClear", "Clear", 613, 5, 36, 20);
  btLogMinim = MakeButton(pnLog, "btLogMinim", "Minim", 656, 5, 36, 20);
  Button1 = MakeButton(pnLog, "Button1", QString::fromUtf8("Описание на ") + ORVEL_SITE, 464, 29,
                       228, 20);
  Button2 = MakeButton(pnLog, "Button2", QString::fromUtf8("Последняя версия ") + ORVEL_SITE,
                       464, 50, 228, 20);

  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  Splitter1->setSizes({Px(kClientHeight - 34 - 19 - 7 - 115), Px(115)});

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setFixedHeight(Px(19));
  StatusBar1->setSizeGripEnabled(true);
  StatusText1 = new QLabel(StatusBar1);
  StatusText1->setObjectName("StatusText1");
  StatusBar1->addWidget(StatusText1, 1);
  column->addWidget(StatusBar1);

  // Over the right end of the tab row.
  btClosePage = MakeButton(this, "btClosePage", "Close Page", 644, 36, 67, 18);
  btClosePage->raise();
  btRecent = MakeButton(this, "btRecent", "Recent", 584, 36, 58, 18);
  btRecent->setMenu(new QMenu(btRecent));
  connect(btRecent->menu(), &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this), &QShortcut::activated, this,
          [this] { NewPage(); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this),
          &QShortcut::activated, this, [this] { SaveAsClick(); });

  connect(btSelectMainFile, &QPushButton::clicked, this, [this] { btSelectMainFileClick(); });
  connect(btLoad, &QPushButton::clicked, this, [this] { btLoadClick(); });
  connect(btSave, &QPushButton::clicked, this, [this] { btSaveClick(); });
  connect(btRun, &QPushButton::clicked, this, [this] { btRunClick(); });
  connect(btStop, &QPushButton::clicked, this, [this] { btStopClick(); });
  connect(btClosePage, &QPushButton::clicked, this, [this] { btClosePageClick(); });
  connect(btLogClear, &QPushButton::clicked, this, [this] { btLogClearClick(); });
  connect(btLogMinim, &QPushButton::clicked, this, [this] { btLogMinimClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  PlaceAnchoredControls();
}

// Controls over the right end of the tab row and of the log keep their distance from
// the right edge, as laid out for the designed width.
void TForm1::PlaceAnchoredControls() {
  PlaceCaretLabel();
  const int shift = width() - Px(kClientWidth);
  btClosePage->move(Px(644) + shift, Px(36));
  btClosePage->raise();
  btRecent->move(Px(584) + shift, Px(36));
  btRecent->raise();
  btLogClear->move(Px(613) + shift, Px(5));
  btLogMinim->move(Px(656) + shift, Px(5));
  Button1->move(Px(464) + shift, Px(29));
  Button2->move(Px(464) + shift, Px(50));
  for (QWidget* b : {static_cast<QWidget*>(btLogClear), static_cast<QWidget*>(btLogMinim),
                     static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2)})
    b->raise();
}

// The caret label keeps its designed place unless that would cut it off at the right
// edge; then it moves left, never over the Stop button.
void TForm1::PlaceCaretLabel() {
  const int right = width() - Px(4);
  int x = Px(672);
  if (x + lbCaretPos->width() > right)
    x = std::max(btStop->geometry().right() + Px(3), right - lbCaretPos->width());
  lbCaretPos->move(x, Px(12));
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceAnchoredControls();
  LogGeometry();
}

// ---------------------------------------------------------------------------------
// Workspace and main file.

std::string TForm1::DefaultWorkspaceFileName() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  const QString beside = dir + "/" + name + ".ini";
  const QFileInfo besideInfo(beside);
  if (QFileInfo(dir).isWritable() && (!besideInfo.exists() || besideInfo.isWritable()))
    return S(beside);
  QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (config.isEmpty()) config = QDir::homePath() + "/.config";
  return S(config + "/orvel/" + name + ".ini");
}

std::string TForm1::ExampleMainFile() {
  return S(QCoreApplication::applicationDirPath() + "/examples/hello.js");
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
  std::vector<int> all;
  for (int i = 0; i < PageCount(); ++i) all.push_back(i);
  if (!ConfirmDiscard(all)) return false;
  btStopClick();
  for (int i = PageCount() - 1; i >= 0; --i) ClosePage(i);
  OpenPage(name);
  return true;
}

// ---------------------------------------------------------------------------------
// Pages.

int TForm1::OpenPage(const std::string& path) {
  auto* sheet = new QWidget;
  sheet->setObjectName("TabSheet");
  // The editor is in place before the page joins the control, whose change signal
  // reads the active page's editor.
  auto* editor = new TMyEdit(sheet);
  auto* fill = new QVBoxLayout(sheet);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(editor);
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

int TForm1::PageCount() const { return PageControl1->count(); }

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
  lbCaretPos->setText(QString("%1, %2").arg(editor->CaretPos().Y + 1).arg(editor->CaretPos().X + 1));
  lbCaretPos->adjustSize();
  PlaceCaretLabel();
  TestLogGeometry(lbCaretPos, "lbCaretPos");
}

void TForm1::btSaveClick() { SaveAll(); }

int TForm1::NewPage() {
  auto* sheet = new QWidget;
  sheet->setObjectName("TabSheet");
  auto* editor = new TMyEdit(sheet);
  auto* fill = new QVBoxLayout(sheet);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(editor);
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
  for (const std::string& r : recent_)
    menu->addAction(Q(r), this, [this, r] { OpenPage(r); });
  if (recent_.empty()) menu->addAction("(none)")->setEnabled(false);
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

void TForm1::btLogClearClick() { log->clear(); }

void TForm1::btLogMinimClick() {
  const QList<int> sizes = Splitter1->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  Splitter1->setSizes({total - 10, 10});
}

void TForm1::Button1Click() {
  const QString readme = QCoreApplication::applicationDirPath() + "/README.md";
  OpenInBrowser(S(QUrl::fromLocalFile(readme).toString()));
}

void TForm1::Button2Click() { OpenInBrowser(ORVEL_DOWNLOAD_URL); }

void TForm1::LogLine(const std::string& line) {
  log->appendPlainText(Q(line));
  TestLog("log", line);
}

void TForm1::StatusText(const std::string& text) { StatusText1->setText(Q(text)); }

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
           edMainFile, btSelectMainFile, edLanguage, btLoad, btSave, btRun, btStop,
           lbCaretPos, PageControl1, btClosePage, log, btLogClear, btLogMinim, Button1,
           Button2, StatusBar1})
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

// ---------------------------------------------------------------------------------
// The run cycle's window side.

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
  if (!SaveAll() &&
      Ask("Not all changes could be saved.\nClose anyway and lose them?",
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

// ---------------------------------------------------------------------------------
// Keys seen in every window of the program.

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    if (watched == edMainFile) edMainFileKeyDown(static_cast<QKeyEvent*>(event)->key());
    if (IsNewKeyEvent(watched, event)) ApplicationEvents1Message(static_cast<QKeyEvent*>(event));
  }
  return false;  // the key goes on to its window as well
}

// One key press passes this filter once for each object it is delivered to: the
// window it arrived at, then its focus widget, then each parent that the widget let
// it travel up to. The same event object may be reused for the next key (it lives on
// the stack of the delivery), so the address alone does not tell a new key.
bool TForm1::IsNewKeyEvent(QObject* receiver, QEvent* event) {
  if (!receiver->isWidgetType()) {
    // A key from the window system reaches its top-level window first.
    keyEvent_ = event;
    keyFromWindow_ = true;
    keyReceiver_ = nullptr;
    return true;
  }
  auto* widget = static_cast<QWidget*>(receiver);
  bool travelling = false;
  if (event == keyEvent_) {
    if (keyFromWindow_) {
      travelling = true;
    } else if (QWidget* previous = keyReceiver_.data()) {
      // A key sent straight to a widget travels to the direct parent, never past a window.
      travelling = !previous->isWindow() && previous->parentWidget() == widget;
    }
  }
  if (!travelling) {
    keyEvent_ = event;
    keyFromWindow_ = false;
  }
  keyReceiver_ = widget;
  return !travelling;
}

void TForm1::ApplicationEvents1Message(QKeyEvent* key) {
  const Qt::KeyboardModifiers mods = key->modifiers();
  if (mods & Qt::AltModifier) return;  // system keys are not seen
  const bool ctrl = mods & Qt::ControlModifier;
  // The commands run once the key has been delivered: Run and Stop may tear down the
  // window that holds the key's widget, and Save may ask a question.
  if (key->key() == Qt::Key_F9) {
    QTimer::singleShot(0, this, [this] { btRunClick(); });
  } else if (key->key() == Qt::Key_S && ctrl && !(mods & Qt::ShiftModifier)) {
    QTimer::singleShot(0, this, [this] { btSaveClick(); });
  } else if (key->key() == Qt::Key_F2 && ctrl) {
    QTimer::singleShot(0, this, [this] { btStopClick(); });
  }
}
