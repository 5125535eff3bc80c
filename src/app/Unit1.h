#pragma once
// The workbench window: tool row, editor pages, log panel, status bar, the keys that
// work in every window of the program, the workspace file, and the run cycle's
// window side (Run, Stop, the error report into the log memo).

#include <QByteArray>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Unit1_runcycle.h"
#include "u_SupScript.h"

class QKeyEvent;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class TComponent;
class TErrorPlaces;
class TMyEdit;

// "Orvel configurator 1.0.2"
// The workbench's texts are UTF-8 strings; Qt's are QString.
inline QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
  return s.toStdString();
}

std::string OrvelTitle();

// Opens an address in the user's browser; a failed start is not reported.
void OpenInBrowser(const std::string& address);
// Replaces the desktop's URL opener (tests).
void SetUrlOpener(std::function<void(const std::string&)> opener);

class TForm1 final : public QWidget, public IWorkbenchOutput {
  Q_OBJECT

 public:
  // `mainFile`: from the command line; it replaces the restored main file.
  explicit TForm1(const std::string& mainFile = "", QWidget* parent = nullptr);
  ~TForm1() override;
  Q_DISABLE_COPY_MOVE(TForm1)

  // Pages.
  int OpenPage(const std::string& path);
  bool LoadMainFile();  // false: nothing changed (no such file, or the user kept the pages)
  int PageCount() const;
  TMyEdit* PageEditor(int index) const;  // throws "MyEdit control not found"
  void SaveWorkspace();
  void LoadWorkspace();
  void ShowCaretPos();
  // A page without a file (Ctrl+N); its first save asks for a name.
  int NewPage();
  // Saves the active page under a name the user chooses (Ctrl+Shift+S).
  void SaveAsClick();
  // The files opened or saved last, newest first; kept beside the workspace file.
  const std::vector<std::string>& RecentFiles() const { return recent_; }

  // Handlers.
  void btRunClick();
  void btStopClick();
  void btSaveClick();
  void btLoadClick();
  void btSelectMainFileClick();
  void btClosePageClick();
  void btLogClearClick();
  void btLogMinimClick();
  void Button1Click();
  void Button2Click();
  void ScriptControlError(TScriptControl* sender) { run_.ScriptControlError(sender); }

  // IWorkbenchOutput: the log memo and the status bar.
  void LogLine(const std::string& line) override;
  void StatusText(const std::string& text) override;

  // The workspace file: orvel.ini beside the executable, or in the user's
  // configuration folder when that folder cannot be written.
  static std::string DefaultWorkspaceFileName();
  std::string WorkspaceFileName() const { return workspaceFile_; }
  void SetWorkspaceFileName(const std::string& path) { workspaceFile_ = path; }

  // The main file of a first start without a workspace file.
  static std::string ExampleMainFile();
  // A file of the program: beside the executable (a build), else in the installed
  // data folder.
  static std::string ProgramFile(const std::string& name);

  TRunCycle& RunCycle() { return run_; }

  // Seams for what would otherwise wait for a person (tests replace them).
  std::function<void(const std::string& text, const std::string& detail)> ShowMessageHook;
  std::function<std::string()> ChooseFileHook;        // "" when cancelled
  std::function<std::string()> ChooseSaveFileHook;    // "" when cancelled
  std::function<bool()> ConfirmCloseWithObjectsHook;  // true: end anyway
  enum class TAnswer { Save, Discard, Cancel, Yes, No };
  std::function<TAnswer(const std::string& question)> AskHook;
  // Ending the program when the window has closed (off in tests).
  bool QuitOnClose = false;

  // Controls, named as in the layout.
  QWidget* Panel1 = nullptr;
  QLabel* lbFileName = nullptr;
  QLineEdit* edMainFile = nullptr;
  QPushButton* btSelectMainFile = nullptr;
  QLineEdit* edLanguage = nullptr;
  QPushButton* btLoad = nullptr;
  QPushButton* btSave = nullptr;
  QPushButton* btRun = nullptr;
  QPushButton* btStop = nullptr;
  QLabel* lbCaretPos = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QPushButton* btClosePage = nullptr;
  QPushButton* btRecent = nullptr;  // the recent-files menu, over the tab row
  QSplitter* Splitter1 = nullptr;
  QWidget* pnLog = nullptr;
  QPlainTextEdit* log = nullptr;
  QPushButton* btLogClear = nullptr;
  QPushButton* btLogMinim = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusText1 = nullptr;  // the status bar's one text

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A tab sheet (not yet in the page control) filled by a new editor; returns the editor.
  TMyEdit* NewEditorSheet();
  void BuildLayout();
  void PlaceAnchoredControls();
  void PlaceCaretLabel();
  void FormShow();
  bool FormClose();  // false: the user chose to keep the program running
  void edMainFileKeyDown(int key);
  bool IsNewKeyEvent(QObject* receiver, QEvent* event);
  void ApplicationEvents1Message(QKeyEvent* key);
  void ShowMessage(const std::string& text, const std::string& detail = "");
  int ExecBox(QMessageBox& box);  // every message box and question goes through here
  void LogGeometry() const;       // for the real-window tests
  std::string ChooseFile();
  std::string ChooseSaveFile();
  void UpdateModifiedMarks();  // "*" on modified pages' tabs and on the title
  void SetMainFileText(const std::string& name);
  std::string MainFileText() const;  // the main file's name as bytes
  void NoteRecentFile(const std::string& path);
  void LoadRecentFiles();
  void FillRecentMenu();
  std::string RecentFileName() const { return workspaceFile_ + ".recent"; }
  void ClosePage(int index);

  // Saving and the questions before typed work could be lost (Unit1_files.cpp).
  // SaveAll tries every modified page, then the workspace file, and reports every
  // failure in one message; false when something was left unwritten.
  bool SaveAll();
  bool SavePage(TMyEdit* editor, std::vector<std::string>& failures);
  // Asks Save / Discard / Cancel when the pages at `closing` hold typed work that no
  // remaining page shows; false: keep them (cancelled, or saving failed).
  bool ConfirmDiscard(const std::vector<int>& closing);
  TAnswer Ask(const std::string& text, const std::vector<TAnswer>& answers, TAnswer byDefault);

  // The watch on the open files.
  enum class TPageMark { None, Changed, Deleted };
  struct TPageFile {
    bool known = false;  // `disk` holds what the file held when we last read or wrote it
    QByteArray disk;
    TPageMark mark = TPageMark::None;
    bool recheck = false;
  };
  void RememberDisk(TMyEdit* editor);
  void ForgetDisk(TMyEdit* editor);
  void SetPageMark(TMyEdit* editor, TPageMark mark);
  void FileChangedOnDisk(const std::string& path);
  void SetRunState(bool active);

  TRunCycle run_;
  TErrorPlaces* places_ = nullptr;         // the places of error reports in the log
  std::unique_ptr<TComponent> rootOwner_;  // owner of each run's root form
  std::string workspaceFile_;
  std::string initialMainFile_;
  bool shown_ = false;
  int caretLabelWidth_ = 60;
  std::map<const TMyEdit*, TPageFile> pageFiles_;
  QFileSystemWatcher* watcher_ = nullptr;
  // The key press being delivered, to act on each press once (see IsNewKeyEvent).
  const QEvent* keyEvent_ = nullptr;  // compared, never read
  QPointer<QWidget> keyReceiver_;
  bool keyFromWindow_ = false;
  std::vector<std::string> recent_;
  std::string mainFileBytes_;  // the last name set into edMainFile, as bytes
  bool recentLoaded_ = false;
};

extern TForm1* Form1;
