#pragma once
// The run cycle without widgets: expand the main file, create the three objects, run
// the expanded text on a fresh script control, report script errors through the
// line-origin map, and end the run again. The window and the headless runner share it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "Project1_TLB.h"
#include "u_preprocess.h"
#include "u_units.h"

// How one run attempt ended.
enum class TRunOutcome {
  NotStarted,    // failed before the run became active (missing file, bad directive)
  Failed,        // active, but objects, language or engine failed: the script never ran
  ScriptFailed,  // active; the top-level code raised a script error (reported)
  Ran,           // active; the top-level code ran to its end
};

// Where a reported error lies: a line of a file through the line-origin map, or a line
// of an event's own text, which no file holds.
struct TErrorPlace {
  std::string File;   // as the included-files list holds it; empty if none
  std::string Event;  // the event's binding name ("b1.OnClick"); empty for a file
  int Line = 0;       // 1-based; 0 when not known
  int Column = 1;     // 1-based
  std::string Text;   // the source line
};

class TRunCycle final {
 public:
  TRunCycle() = default;
  ~TRunCycle();
  TRunCycle(const TRunCycle&) = delete;
  TRunCycle& operator=(const TRunCycle&) = delete;

  // The protected block of a run: everything after "== RUN ==" is logged.
  TRunOutcome Start(const std::string& mainFile, const std::string& language);
  // Destroys the control, then releases sys, main and inet; idle afterwards. Call it
  // when no statement runs (Busy false); the stop request is cleared afterwards.
  void Stop();
  // Ends the running statements at their next interrupt (see RequestScriptStop); the
  // stopped statement reports where it was. Stop then ends the run.
  void RequestStop();
  // Time limit of each outermost statement in milliseconds; -1: none.
  int32_t TimeoutMs = -1;

  bool Active() const { return active_; }
  // A statement is running on the control (Stop must wait for it to return).
  bool Busy() const;
  // Message of the failure that ended the last attempt ("" if none).
  const std::string& Failure() const { return failure_; }
  // Script errors reported since the last Start, event statements included.
  int ErrorsReported() const { return errors_; }

  // Handler of the control's Error event: three "err> " lines through Log.
  void ScriptControlError(TScriptControl* sender);
  // The three lines reported for `error`, and the place they name.
  std::vector<std::string> ErrorReport(const TScriptError& error) const;
  TErrorPlace ErrorPlace(const TScriptError& error) const;

  // The line-origin map of the last run.
  std::vector<TExpandedLine> ExpandedLines;
  std::vector<std::string> IncludedFiles;

  // Receives "err> " lines; without it they go to the workbench output.
  std::function<void(const std::string&)> Log;
  // Receives each error report whole, with its place, instead of Log.
  std::function<void(const std::vector<std::string>& lines, const TErrorPlace& place)>
      OnErrorReport;
  // Called when the run becomes active or idle.
  std::function<void(bool active)> OnActiveChange;

 private:
  void SetActive(bool active);
  void LogLine(const std::string& line);

  std::unique_ptr<TScriptControl> control_;
  std::string mainSource_;  // the name the main text runs under
  std::string failure_;
  int errors_ = 0;
  bool active_ = false;
};

// Lets the engine's interrupt handle the program's events while a statement runs (the
// window repaints, Stop and typing work), with script text held back meanwhile; a
// sleep does the same between its slices. Installed by the first run.
void InstallInterruptPump();

// `orvel --run`: runs `file` like the Run button, log lines to stdout, start failures
// to stderr. SIGINT and SIGTERM stop the run; `timeoutSeconds` above 0 limits each
// statement. Returns the exit status: 0 no script error, 1 a script error was reported
// (a stopped statement is one), 2 the run could not start.
int RunHeadless(const std::string& file, const std::string& language, bool noWait,
                int timeoutSeconds = 0);
