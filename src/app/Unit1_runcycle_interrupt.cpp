// The program's events during a running statement: the engine's interrupt (and a
// sleeping member) hands control here every few tens of milliseconds.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "Unit1_runcycle.h"
#include "u_SupScript.h"
#include "u_inettools.h"

namespace {

// Long enough to paint and take a key, short enough that the script hardly slows.
constexpr int kPumpBudgetMs = 5;

// Statements held back during the interrupt run once no statement runs any more.
void ScheduleHeldBack() {
  static QTimer* timer = nullptr;
  if (!timer) {
    timer = new QTimer(QCoreApplication::instance());
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, [] {
      if (!ScriptCtrl || !ScriptCtrl->HasHeldBack()) return;
      if (ScriptCtrl->Depth() > 0 || InsideScriptInterrupt()) {
        timer->start(20);
        return;
      }
      ScriptCtrl->RunHeldBack();
    });
  }
  if (!timer->isActive()) timer->start(0);
}

void PumpEvents() {
  if (!QCoreApplication::instance()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents, kPumpBudgetMs);
  if (ScriptCtrl && ScriptCtrl->HasHeldBack()) ScheduleHeldBack();
}

// A fetch's wait: the same events; a stop ends the fetch through its abort flag.
void InetWaitStep() {
  if (ScriptWaitPoint()) RequestInetStop();
}

}  // namespace

void InstallInterruptPump() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetScriptInterruptHandler(PumpEvents);
  SetSleepSliceHandler([] { return ScriptWaitPoint(); });
  SetInetWaitHook(InetWaitStep);
  // A stop from a signal or the time limit reaches a fetch even between two steps.
  SetScriptStopListener([] { RequestInetStop(); });
}
