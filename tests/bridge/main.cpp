// Handles drive real components, which need a QApplication (offscreen); event tests
// run bound text on a real script control, whose engine starts before the application.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "u_units.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs the binary outside CTest's environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartUnits();
  int status = 0;
  {
    QApplication app(argc, argv);
    status = RUN_ALL_TESTS();
    EndUnits();
  }
  return status;
}
