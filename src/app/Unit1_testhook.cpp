#include "Unit1_testhook.h"

#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* TestLogPath() {
  static const char* path = [] {
    const char* p = std::getenv("ORVEL_TEST_LOG");
    return p && *p ? p : nullptr;
  }();
  return path;
}

}  // namespace

bool TestLogOn() {
  return TestLogPath() != nullptr;
}

void TestLog(const std::string& kind, const std::string& text) {
  const char* path = TestLogPath();
  if (!path) return;
  // Opened per line so a test reading the file never sees half a line of ours.
  if (FILE* f = std::fopen(path, "ab")) {
    std::string line = kind + " " + text;
    for (char& c : line)
      if (c == '\n' || c == '\r') c = '|';  // one event, one line
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

void TestLogGeometry(const QWidget* widget, const std::string& name) {
  if (!TestLogOn() || !widget) return;
  // X input is in device pixels; Qt's coordinates are scaled by the ratio.
  const double ratio = widget->devicePixelRatioF();
  const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
  const auto px = [ratio](int v) { return std::to_string(std::lround(v * ratio)); };
  TestLog("geometry", name + " " + px(topLeft.x()) + " " + px(topLeft.y()) + " " +
                          px(widget->width()) + " " + px(widget->height()));
}
