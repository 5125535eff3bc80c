#pragma once
// The script engine host. SpiderMonkey stays inside MSScriptControl_TLB*.cpp: nothing
// else includes an engine header. One TScriptControl per run: a fresh global scope
// that host objects are added to and statements run in.

#include <functional>
#include <memory>
#include <string>

#include "Project1_TLB.h"

// The last error of a control: Line is 1-based within the executed text, Column
// 0-based, whatever kind of error it was (syntax, run time, a thrown value).
struct TScriptError {
  int Number = 0;
  int Line = 0;
  int Column = 0;
  std::string Description;
  // The source text line the error lies on, when the engine knows it.
  std::string Text;
  // The name the failing text was executed under (ExecuteStatement's `sourceName`):
  // for an error inside a function, the text that defined that function.
  std::string SourceName;
  void Clear() { *this = TScriptError(); }
};

// A failed statement that OnError has reported already: whoever catches it need not
// report it again.
class EScriptError : public Exception {
 public:
  using Exception::Exception;
};

class TScriptControl final {
 public:
  TScriptControl();
  // Releases every object added to the control and ends its engine scope.
  ~TScriptControl();
  TScriptControl(const TScriptControl&) = delete;
  TScriptControl& operator=(const TScriptControl&) = delete;

  // The engine never shows a window or message box of its own, whatever this holds;
  // it is kept because the run cycle sets it as callers of such a control do.
  void SetAllowUI(bool allow) { allowUI_ = allow; }
  bool AllowUI() const { return allowUI_; }
  // "JScript", "JavaScript" or "ECMAScript" in any letter case; any other name throws.
  void SetLanguage(const std::string& name);
  const std::string& Language() const { return language_; }
  // Time limit of one outermost statement in milliseconds; 0 or less: none (the
  // workbench sets -1). A statement that runs longer is stopped as Stop would.
  void SetTimeout(int32_t ms) { timeout_ = ms; }
  int32_t Timeout() const { return timeout_; }

  // Called inside the failing ExecuteStatement, before it throws.
  std::function<void(TScriptControl* sender)> OnError;

  // Makes `object` a global named `name`; with addMembers its members are global
  // names too (on a clash the object added first wins).
  void AddObject(const std::string& name, const IDispatchPtr& object, bool addMembers);

  // Runs `text` synchronously in the control's global scope. On failure Error() holds
  // the error, OnError has fired, and an EScriptError with its description is thrown.
  // Other exceptions (the control being destroyed, no language) were not reported.
  // May be re-entered from a host member (an event statement inside a statement).
  // Called while the engine is inside its interrupt (the workbench handling its events
  // during a running statement), the text is held back and runs in RunHeldBack.
  void ExecuteStatement(std::string text, const std::string& sourceName = "");

  // Statements held back while a statement ran, in the order they came.
  bool HasHeldBack() const;
  // Runs them, once no statement runs; their failures are reported through OnError.
  void RunHeldBack();

  const TScriptError& Error() const { return error_; }

  // Releases that the garbage collector queued, run at a safe point. ExecuteStatement
  // does this itself when its outermost call returns; the window calls it when
  // control is back in the event loop.
  void ReleasePending();
  // Nesting depth of ExecuteStatement calls now running.
  int Depth() const { return depth_; }

  // Runs a full garbage collection (tests and stress runs).
  void CollectGarbage();

  struct Impl;

 private:
  bool allowUI_ = true;
  std::string language_;
  int32_t timeout_ = 10000;
  TScriptError error_;
  int depth_ = 0;
  std::unique_ptr<Impl> impl_;
};

// Starts the process-wide engine. Call once before the QApplication exists: the engine
// must set up its Unicode support before anything else uses it. A control calls it
// itself if nobody did (tests, benchmarks). Throws Exception when the engine cannot start.
void InitScriptEngine();

// Ends the process-wide engine. Called once at program end after every control is gone.
void ShutdownScriptEngine();

// ---------------------------------------------------------------------------------
// Stopping a running statement. While a statement runs, a watchdog thread asks the
// engine for an interrupt every ScriptInterruptInterval; at each one the interrupt
// handler runs on the script's thread (the workbench handles its events there) and a
// stop that was asked for ends every running statement uncatchably: no catch or
// finally of the script runs. The error reported names the place where the script
// was; its description is "The script was stopped".

constexpr int ScriptInterruptIntervalMs = 50;

enum class TStopReason { None, Stop, Timeout };

// Asks the running statements to end. Safe from any thread and from a signal handler.
// The request holds, and no statement starts, until ClearScriptStop.
void RequestScriptStop(TStopReason reason = TStopReason::Stop);
TStopReason ScriptStopRequested();
void ClearScriptStop();

// Runs on the script's thread at each interrupt; no script text runs meanwhile.
void SetScriptInterruptHandler(std::function<void()> handler);
// Runs on the watchdog thread once a stop was asked for while a statement runs: the
// place to end waits in native code (a fetch). Must be thread-safe.
void SetScriptStopListener(std::function<void()> listener);
// On by default; off only to measure what the watchdog costs a running script (with it
// off nothing can stop a statement).
void SetScriptWatchdog(bool on);
// True while the interrupt handler runs.
bool InsideScriptInterrupt();
// For members that wait (sleep): call between short slices. Runs the interrupt
// handler when one is due; true when the statement must end.
bool ScriptWaitPoint();

// The control of the active run, or none: set and cleared by the run cycle, used by
// event binding to run bound script text.
extern TScriptControl* ScriptCtrl;

// Destroys a run's control. ScriptCtrl is cleared first when it is this control: widgets
// torn down afterwards may fire events, and those must find no control to run text on.
void EndScriptControl(std::unique_ptr<TScriptControl>& control);
