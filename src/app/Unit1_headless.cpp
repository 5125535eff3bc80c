// `orvel --run`: the Run button without the workbench window.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <iostream>

#include "Classes.h"
#include "Unit1_runcycle.h"
#include "u_SupScript.h"
#include "u_jobject.h"

namespace {

class TStdoutOutput final : public IWorkbenchOutput {
 public:
  void LogLine(const std::string& line) override { std::cout << line << '\n' << std::flush; }
  void StatusText(const std::string&) override {}
};

void StopOnSignal(int) {
  RequestScriptStop(TStopReason::Stop);
}

// SIGINT and SIGTERM stop the run for as long as it lasts; the old handlers come back.
class TSignalStop {
 public:
  TSignalStop() {
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~TSignalStop() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  TSignalStop(const TSignalStop&) = delete;
  TSignalStop& operator=(const TSignalStop&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

bool AnyWindowVisible() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) return true;
  return false;
}

}  // namespace

int RunHeadless(const std::string& file, const std::string& language, bool noWait,
                int timeoutSeconds) {
  TSignalStop stopOnSignals;
  TStdoutOutput output;
  IWorkbenchOutput* previous = WorkbenchOutput();
  SetWorkbenchOutput(&output);

  // Owner of the run's root form, as the main window is in the workbench.
  auto rootOwner = std::make_unique<TComponent>(nullptr);
  SetRootOwner(rootOwner.get());

  int status = 0;
  {
    TRunCycle run;
    if (timeoutSeconds > 0) run.TimeoutMs = timeoutSeconds * 1000;
    const TRunOutcome outcome = run.Start(file, language);
    if (outcome == TRunOutcome::NotStarted || outcome == TRunOutcome::Failed) {
      std::cerr << "orvel: " << run.Failure() << std::endl;
      status = 2;
    } else {
      if (!noWait && AnyWindowVisible() && ScriptStopRequested() == TStopReason::None) {
        // Keep the script's windows working until the user has closed the last one.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
          if (ScriptCtrl) ScriptCtrl->ReleasePending();
          if (!AnyWindowVisible() || ScriptStopRequested() != TStopReason::None) loop.quit();
        });
        poll.start(50);
        loop.exec();
      }
      status = run.ErrorsReported() > 0 ? 1 : 0;
      if (ScriptStopRequested() != TStopReason::None && status == 0) {
        // Stopped between statements: there is no place to report.
        std::cerr << "orvel: the run was stopped" << std::endl;
        status = 1;
      }
    }
    run.Stop();
  }

  SetRootOwner(nullptr);
  rootOwner.reset();
  SetWorkbenchOutput(previous);
  return status;
}
