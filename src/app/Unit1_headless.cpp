// `orvel --run`: the Run button without the workbench window.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <iostream>

#include "Unit1_runcycle.h"
#include "u_SupScript.h"
#include "Classes.h"
#include "u_jobject.h"

namespace {

class TStdoutOutput final : public IWorkbenchOutput {
 public:
  void LogLine(const std::string& line) override { std::cout << line << '\n' << std::flush; }
  void StatusText(const std::string&) override {}
};

bool AnyWindowVisible() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) return true;
  return false;
}

}  // namespace

int RunHeadless(const std::string& file, const std::string& language, bool noWait) {
  TStdoutOutput output;
  IWorkbenchOutput* previous = WorkbenchOutput();
  SetWorkbenchOutput(&output);

  // Owner of the run's root form, as the main window is in the workbench.
  auto rootOwner = std::make_unique<TComponent>(nullptr);
  SetRootOwner(rootOwner.get());

  int status = 0;
  {
    TRunCycle run;
    const TRunOutcome outcome = run.Start(file, language);
    if (outcome == TRunOutcome::NotStarted || outcome == TRunOutcome::Failed) {
      std::cerr << "orvel: " << run.Failure() << std::endl;
      status = 2;
    } else {
      if (!noWait && AnyWindowVisible()) {
        // Keep the script's windows working until the user has closed the last one.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
          if (ScriptCtrl) ScriptCtrl->ReleasePending();
          if (!AnyWindowVisible()) loop.quit();
        });
        poll.start(50);
        loop.exec();
      }
      status = run.ErrorsReported() > 0 ? 1 : 0;
    }
    run.Stop();
  }

  SetRootOwner(nullptr);
  rootOwner.reset();
  SetWorkbenchOutput(previous);
  return status;
}
