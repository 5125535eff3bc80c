// The window and run-cycle tests need the units started in the program's order and a
// QApplication (offscreen).
#include <gtest/gtest.h>

#include <QApplication>

#include "u_units.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  StartUnits();
  int status = 0;
  {
    QApplication app(argc, argv);
    status = RUN_ALL_TESTS();
    EndUnits();
  }
  return status;
}
