#pragma once
// What the real-window tests watch. When ORVEL_TEST_LOG names a file, the workbench
// appends one line per event to it: log lines, message boxes shown and answered, and
// where its controls lie on the screen. A test that drives the window with real key and
// mouse events then waits for what happened instead of sleeping. Without the variable
// nothing is written.

#include <string>

class QWidget;

bool TestLogOn();
void TestLog(const std::string& kind, const std::string& text);
// "geometry <name> <x> <y> <w> <h>": the widget's rectangle in screen pixels.
void TestLogGeometry(const QWidget* widget, const std::string& name);
