// The window and run-cycle tests need the units started in the program's order and a
// QApplication (offscreen).
#include <gtest/gtest.h>

#include <QApplication>

#include "MSScriptControl_TLB.h"
#include "u_inet.h"
#include "u_jobject.h"
#include "u_SupScript.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  InitJObjectUnit();
  InitSupScriptUnit();
  InitInetUnit();
  InitScriptEngine();
  int status = 0;
  {
    QApplication app(argc, argv);
    status = RUN_ALL_TESTS();
    FinalizeJObjectUnit();
    ShutdownInetTools();
    ShutdownScriptEngine();
  }
  return status;
}
