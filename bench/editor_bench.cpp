// Open, edit and save a 50,000-line script through the code editor and print the time
// of each step. Run: bench/bench_editor [lines]

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "u_myedit.h"
#include "u_myedit_colour.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

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

  QTemporaryDir dir;
  const std::string path = QDir(dir.path()).filePath("big.js").toStdString();
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      if (i) out << "\r\n";
      out << "\tif (x" << i << " > 0) { sys.out(\"line " << i << " — значение\"); }";
    }
  }

  QWidget page;
  page.resize(700, 450);
  auto* ed = new TMyEdit(&page);
  (new QVBoxLayout(&page))->addWidget(ed);
  page.show();
  QApplication::processEvents();

  auto t = Clock::now();
  ed->LoadFromFile(path);
  QApplication::processEvents();
  const double load = Ms(t);

  // A jump to the end paints lines whose colouring needs the scanner state of every
  // line above them.
  t = Clock::now();
  ed->SetFirstVisibleLine(lines);
  ed->viewport()->repaint();
  const double jump = Ms(t);
  ed->SetFirstVisibleLine(0);

  // Colours for every line at once: what a view of the whole file would cost.
  t = Clock::now();
  TJsColouring::Of(ed->document())->ColourAll();
  const double colour = Ms(t);
  ed->LoadFromFile(path);
  QApplication::processEvents();

  // Typing and commands in the middle and at the end of the file, as a user would.
  t = Clock::now();
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
  QApplication::processEvents();
  const double edit = Ms(t);

  // What every save asks of each page for the workspace file.
  t = Clock::now();
  volatile int sink = 0;  // keeps the queries from being optimised away
  for (int i = 0; i < 1000; ++i) {
    ed->SetSelStart(ed->SelStart() - 1);
    sink = sink + ed->SelStart() + ed->FirstVisibleLine() + ed->CaretPos().Y;
  }
  const double offsets = Ms(t) / 1000.0;

  t = Clock::now();
  const size_t textSize = ed->Text().size();
  const double text = Ms(t);

  t = Clock::now();
  ed->SaveToFile(path);
  const double save = Ms(t);

  std::printf(
      "lines %d (file %lld bytes)\n", lines,
      static_cast<long long>(std::ifstream(path, std::ios::binary | std::ios::ate).tellg()));
  std::printf("load            %8.1f ms\n", load);
  std::printf("jump to the end %8.1f ms (first paint there, coloured)\n", jump);
  std::printf("colour all lines %7.1f ms\n", colour);
  std::printf("edit (1,600 keys) %6.1f ms\n", edit);
  std::printf("selection/caret %8.3f ms per query round\n", offsets);
  std::printf("whole text      %8.1f ms (%zu bytes)\n", text, textSize);
  std::printf("save            %8.1f ms\n", save);
  return 0;
}
