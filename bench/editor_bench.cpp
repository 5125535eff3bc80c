// Open, edit and save a 50,000-line script through the code editor, against Qt's plain
// text editor doing the same steps with the toolkit's own calls, in rounds with the
// order rotated. Each step: median wall clock and median CPU time of the editor's
// thread (the second does not move with the load of a shared machine), and the CPU
// ratio, code editor ÷ plain editor, min / median / max over the rounds.
// Run: bench/bench_editor [lines] [rounds]
//
// Only the editor calls that every version has are timed, so that the same file built
// against an older editor gives the "before" figures of bench/README.md.

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QScrollBar>
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
#include "bench_widgets.h"
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

void CaretTo(QPlainTextEdit* ed, int column, int line) {
  QTextBlock b = ed->document()->findBlockByNumber(std::min(line, ed->blockCount() - 1));
  QTextCursor c(b);
  c.setPosition(b.position() + std::min(column, b.length() - 1));
  ed->setTextCursor(c);
}

struct TSteps {
  TStep Load{"load"}, Keys{"1,600 keys"}, EndPaint{"first paint at the end"},
      Jump{"jump to the end, painted"}, Text{"whole text"}, Save{"save"},
      Colour{"colour all lines"};
  std::vector<TStep*> Compared() { return {&Load, &Keys, &EndPaint, &Jump, &Text, &Save}; }
};

// The keys typed mid-file on both sides; `deleteLine` is each editor's way of
// deleting the caret's line (the code editor's Ctrl+Y).
template <class DeleteLineFn>
void TypeMidFile(QWidget* ed, DeleteLineFn deleteLine) {
  for (int i = 0; i < 200; ++i) {
    Press(ed, Qt::Key_A, Qt::NoModifier, "a");
    Press(ed, Qt::Key_Return);
    Press(ed, Qt::Key_Home);
    Press(ed, Qt::Key_Delete, Qt::ControlModifier);
    Press(ed, Qt::Key_Backspace, Qt::ControlModifier);
    deleteLine();
    Press(ed, Qt::Key_Down);
  }
}

// An editor filling a shown page of the same size for both.
template <class Editor>
Editor* OnPage(QWidget& page) {
  page.resize(700, 450);
  auto* ed = new Editor(&page);
  (new QVBoxLayout(&page))->addWidget(ed);
  page.show();
  QApplication::processEvents();
  return ed;
}

// One round through the code editor.
double RoundOurs(TSteps& s, const std::string& path, int lines) {
  QWidget page;
  auto* ed = OnPage<TMyEdit>(page);
  {
    TTimer t(&s.Load);
    ed->LoadFromFile(path);
    QApplication::processEvents();
  }
  // Typing and commands in the middle and at the end of the file, as a user would;
  // the paint that follows is the first look at the end of the file.
  {
    TTimer t(&s.Keys);
    ed->SetCaretPos({10, lines / 2});
    TypeMidFile(ed, [ed] { Press(ed, Qt::Key_Y, Qt::ControlModifier); });
    ed->SetCaretPos({0, lines + 10});
    for (int i = 0; i < 200; ++i) Press(ed, Qt::Key_Return);
  }
  {
    TTimer t(&s.EndPaint);
    QApplication::processEvents();
  }
  {
    TTimer t(&s.Text);
    volatile size_t size = ed->Text().size();  // kept from being optimised away
    (void)size;
  }
  {
    TTimer t(&s.Save);
    ed->SaveToFile(path + ".saved");  // the next round loads the same file
  }
  // A fresh load, then straight to its end.
  ed->LoadFromFile(path);
  QApplication::processEvents();
  {
    TTimer t(&s.Jump);
    ed->SetFirstVisibleLine(lines);
    ed->viewport()->repaint();
  }
#ifdef ORVEL_BENCH_COLOURS
  {
    TTimer t(&s.Colour);
    TJsColouring::Of(ed->document())->ColourAll();
  }
#endif
  return 0;
}

// The same round through Qt's plain text editor: the file read and its line breaks
// made the document's, the same keys (Ctrl+Y done with the editor's cursor calls), the
// text written back with CR LF through a file that is synced and renamed into place.
double RoundPlain(TSteps& s, const std::string& path, int lines) {
  QWidget page;
  auto* ed = OnPage<QPlainTextEdit>(page);
  {
    TTimer t(&s.Load);
    LoadPlain(ed, path);
    QApplication::processEvents();
  }
  {
    TTimer t(&s.Keys);
    CaretTo(ed, 10, lines / 2);
    TypeMidFile(ed, [ed] { DeleteLine(ed); });
    CaretTo(ed, 0, lines + 10);
    for (int i = 0; i < 200; ++i) Press(ed, Qt::Key_Return);
  }
  {
    TTimer t(&s.EndPaint);
    QApplication::processEvents();
  }
  {
    TTimer t(&s.Text);
    volatile size_t size = ed->toPlainText().toUtf8().size();
    (void)size;
  }
  {
    TTimer t(&s.Save);
    SavePlain(ed, path + ".plain");
  }
  LoadPlain(ed, path);
  QApplication::processEvents();
  {
    TTimer t(&s.Jump);
    ed->verticalScrollBar()->setValue(lines);
    ed->viewport()->repaint();
  }
  return 0;
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

  TSteps ours, plain;
  InRounds(rounds, {[&] { return RoundOurs(ours, path, lines); },
                    [&] { return RoundPlain(plain, path, lines); }});

  std::printf(
      "lines %d, %d rounds, order rotated; medians, ms (wall / CPU of the editor's "
      "thread); CPU ratio code editor ÷ plain editor, min / median / max\n",
      lines, rounds);
  std::printf("%-26s %17s %17s %22s\n", "step", "code editor", "plain editor", "ratio");
  const std::vector<TStep*> theirs = plain.Compared();
  const std::vector<TStep*> mine = ours.Compared();
  for (size_t k = 0; k < mine.size(); ++k) {
    const TSpread r = RatioSpread(mine[k]->Cpu, theirs[k]->Cpu);
    std::printf("%-26s %8.1f %8.1f %8.1f %8.1f   %5.2f / %5.2f / %5.2f\n", mine[k]->Name,
                Median(mine[k]->Wall), Median(mine[k]->Cpu), Median(theirs[k]->Wall),
                Median(theirs[k]->Cpu), r.Min, r.Median, r.Max);
  }
  if (!ours.Colour.Wall.empty())
    std::printf("%-26s %8.1f %8.1f   (the plain editor has no colours)\n", ours.Colour.Name,
                Median(ours.Colour.Wall), Median(ours.Colour.Cpu));
  return 0;
}
