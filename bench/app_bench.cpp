// Workbench speed: opening, editing and saving a 50,000-line file through the window,
// and the time from pressing Run to the script's first statement.
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_app

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "Unit1.h"
#include "bench_support.h"
#include "u_myedit.h"
#include "u_units.h"

namespace {

void Write(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string SourceLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "  var v" + std::to_string(i) + " = " + std::to_string(i) + " * 2; // line\r\n";
  return text;
}

void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
         const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(w, &release);
}

// Records when the script's first line arrives.
struct TFirstLine final : IWorkbenchOutput {
  Clock::time_point At{};
  bool Seen = false;
  void LogLine(const std::string&) override {
    if (!Seen) At = Clock::now();
    Seen = true;
  }
  void StatusText(const std::string&) override {}
};

double RunToFirstStatement(TForm1& form, const std::string& mainFile, int rounds) {
  form.edMainFile->setText(QString::fromStdString(mainFile));
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    TFirstLine first;
    SetWorkbenchOutput(&first);
    const Clock::time_point start = Clock::now();
    form.btRunClick();
    SetWorkbenchOutput(&form);
    if (!first.Seen) {
      std::fprintf(stderr, "the script did not run: %s\n", form.RunCycle().Failure().c_str());
      return -1;
    }
    times.push_back(Ms(first.At - start));
    form.btStopClick();
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  StartUnits();
  {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string big = dir.path().toStdString() + "/big.js";
    Write(big, SourceLines(50000));

    auto form = std::make_unique<TForm1>();
    form->SetWorkspaceFileName(dir.path().toStdString() + "/orvel.ini");
    form->ShowMessageHook = [](const std::string& text, const std::string& detail) {
      std::fprintf(stderr, "%s %s\n", text.c_str(), detail.c_str());
    };
    form->show();

    Clock::time_point t = Clock::now();
    form->OpenPage(big);
    const double open = Ms(Clock::now() - t);

    // Editing in the middle of the file: 200 lines broken with auto-indent, typed
    // characters, and 200 lines deleted again with Ctrl+Y.
    TMyEdit* ed = form->PageEditor(0);
    ed->SetCaretPos({10, 25000});
    t = Clock::now();
    for (int i = 0; i < 200; ++i) {
      Key(ed, Qt::Key_Return);
      Key(ed, Qt::Key_X, Qt::NoModifier, "x");
    }
    for (int i = 0; i < 200; ++i) Key(ed, Qt::Key_Y, Qt::ControlModifier);
    const double edit = Ms(Clock::now() - t) / 600.0;

    t = Clock::now();
    form->btSaveClick();
    const double save = Ms(Clock::now() - t);

    const std::string small = dir.path().toStdString() + "/first.js";
    Write(small, "sys.out('first');\r\n");
    const std::string large = dir.path().toStdString() + "/first_big.js";
    Write(large, "sys.out('first');\r\n" + SourceLines(50000));
    const double runSmall = RunToFirstStatement(*form, small, 15);
    const double runLarge = RunToFirstStatement(*form, large, 5);

    std::printf("open 50,000-line file:          %8.1f ms\n", open);
    std::printf("edit (per key, mid-file):       %8.3f ms\n", edit);
    std::printf("save 50,000-line file:          %8.1f ms\n", save);
    std::printf("Run to first statement (1 line):    %8.1f ms (median of 15)\n", runSmall);
    std::printf("Run to first statement (50,001 lines): %5.1f ms (median of 5)\n", runLarge);

    form.reset();
    EndUnits();
  }
  return 0;
}
