// Open, edit and save a 50,000-line script through the code editor and print the time
// of each step: wall clock and the CPU time of the editor's thread (the second does not
// move with the load of a shared machine). Run: bench/bench_editor [lines] [rounds]
//
// Only the editor calls that every version has are timed, so that the same file built
// against an older editor gives the "before" figures of bench/README.md.

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "u_myedit.h"
#if __has_include("u_myedit_colour.h")
#include "u_myedit_colour.h"
#define ORVEL_BENCH_COLOURS 1
#endif

namespace {

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct TStep {
  explicit TStep(const char* name) : Name(name) {}
  const char* Name;
  std::vector<double> Wall, Cpu;
};

class TTimer {
 public:
  explicit TTimer(TStep* step) : FStep(step), FWall(Clock::now()), FCpu(CpuMs()) {}
  ~TTimer() {
    FStep->Wall.push_back(Ms(Clock::now() - FWall));
    FStep->Cpu.push_back(CpuMs() - FCpu);
  }

 private:
  TStep* FStep;
  Clock::time_point FWall;
  double FCpu;
};

void Press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
           const QString& text = QString()) {
  QKeyEvent down(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(w, &up);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int lines = argc > 1 ? std::stoi(argv[1]) : 50000;
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;

  QTemporaryDir dir;
  const std::string path = QDir(dir.path()).filePath("big.js").toStdString();
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      if (i) out << "\r\n";
      out << "\tif (x" << i << " > 0) { sys.out(\"line " << i << " — значение\"); }";
    }
  }

  TStep load("load"), keys("1,600 keys"), endPaint("first paint at the end"),
      jump("jump to the end, painted"), colour("colour all lines"), text("whole text"),
      save("save");
  for (int round = 0; round < rounds; ++round) {
    QWidget page;
    page.resize(700, 450);
    auto* ed = new TMyEdit(&page);
    (new QVBoxLayout(&page))->addWidget(ed);
    page.show();
    QApplication::processEvents();

    {
      TTimer t(&load);
      ed->LoadFromFile(path);
      QApplication::processEvents();
    }
    // Typing and commands in the middle and at the end of the file, as a user would;
    // the paint that follows is the first look at the end of the file.
    {
      TTimer t(&keys);
      ed->SetCaretPos({10, lines / 2});
      for (int i = 0; i < 200; ++i) {
        Press(ed, Qt::Key_A, Qt::NoModifier, "a");
        Press(ed, Qt::Key_Return);
        Press(ed, Qt::Key_Home);
        Press(ed, Qt::Key_Delete, Qt::ControlModifier);
        Press(ed, Qt::Key_Backspace, Qt::ControlModifier);
        Press(ed, Qt::Key_Y, Qt::ControlModifier);
        Press(ed, Qt::Key_Down);
      }
      ed->SetCaretPos({0, lines + 10});
      for (int i = 0; i < 200; ++i) Press(ed, Qt::Key_Return);
    }
    {
      TTimer t(&endPaint);
      QApplication::processEvents();
    }
    {
      TTimer t(&text);
      volatile size_t size = ed->Text().size();  // kept from being optimised away
      (void)size;
    }
    {
      TTimer t(&save);
      ed->SaveToFile(path + ".saved");  // the next round loads the same file
    }
    // A fresh load, then straight to its end.
    ed->LoadFromFile(path);
    QApplication::processEvents();
    {
      TTimer t(&jump);
      ed->SetFirstVisibleLine(lines);
      ed->viewport()->repaint();
    }
#ifdef ORVEL_BENCH_COLOURS
    {
      TTimer t(&colour);
      TJsColouring::Of(ed->document())->ColourAll();
    }
#endif
  }

  std::printf("lines %d, %d rounds; median wall / median CPU of the editor's thread, ms\n", lines,
              rounds);
  for (const TStep* s : {&load, &keys, &endPaint, &jump, &colour, &text, &save})
    if (!s->Wall.empty())
      std::printf("%-26s %8.1f %8.1f\n", s->Name, Median(s->Wall), Median(s->Cpu));
  return 0;
}
