// Workbench speed against the same work without the workbench, in rounds with the
// order rotated (min / median / max of the ratio): opening a 50,000-line file in a page
// against Qt's plain text editor loading it into a tab; typing mid-file in the page
// against the same keys in the plain editor; saving the page against writing the same
// text through a file that is synced and renamed into place; and the time from
// pressing Run to the script's first statement against the engine alone running the
// same text (a new control with the sys object, no run cycle).
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_app [rounds]

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "Unit1.h"
#include "bench_support.h"
#include "bench_widgets.h"
#include "u_SupScript.h"
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

struct TCycle {
  std::vector<double> Open, Key, Save;
};

// Opens the file in a page, types mid-file (200 lines broken, a character each, 200
// lines deleted with Ctrl+Y), saves, closes the page.
double WorkbenchCycle(TForm1& form, const std::string& path, TCycle& out) {
  Clock::time_point t = Clock::now();
  const int page = form.OpenPage(path);
  QApplication::processEvents();
  out.Open.push_back(Ms(Clock::now() - t));
  TMyEdit* ed = form.PageEditor(page);
  ed->SetCaretPos({10, 25000});
  t = Clock::now();
  for (int i = 0; i < 200; ++i) {
    Press(ed, Qt::Key_Return);
    Press(ed, Qt::Key_X, Qt::NoModifier, "x");
  }
  for (int i = 0; i < 200; ++i) Press(ed, Qt::Key_Y, Qt::ControlModifier);
  out.Key.push_back(Ms(Clock::now() - t) / 600.0);
  t = Clock::now();
  form.btSaveClick();
  out.Save.push_back(Ms(Clock::now() - t));
  form.btClosePageClick();  // the page just opened is the active one
  return 0;
}

// The same with a plain text editor in a tab of its own.
double PlainCycle(QTabWidget& tabs, const std::string& path, TCycle& out) {
  Clock::time_point t = Clock::now();
  auto* ed = new QPlainTextEdit;
  LoadPlain(ed, path);
  tabs.setCurrentIndex(tabs.addTab(ed, "big.js"));
  QApplication::processEvents();
  out.Open.push_back(Ms(Clock::now() - t));
  {
    QTextCursor c(ed->document()->findBlockByNumber(25000));
    c.setPosition(c.position() + 10);
    ed->setTextCursor(c);
  }
  t = Clock::now();
  for (int i = 0; i < 200; ++i) {
    Press(ed, Qt::Key_Return);
    Press(ed, Qt::Key_X, Qt::NoModifier, "x");
  }
  for (int i = 0; i < 200; ++i) DeleteLine(ed);
  out.Key.push_back(Ms(Clock::now() - t) / 600.0);
  t = Clock::now();
  SavePlain(ed, path);
  out.Save.push_back(Ms(Clock::now() - t));
  delete ed;
  return 0;
}

double RunToFirstStatement(TForm1& form, const std::string& mainFile) {
  form.edMainFile->setText(QString::fromStdString(mainFile));
  TFirstLine first;
  SetWorkbenchOutput(&first);
  const Clock::time_point start = Clock::now();
  form.btRunClick();
  SetWorkbenchOutput(&form);
  if (!first.Seen) {
    std::fprintf(stderr, "the script did not run: %s\n", form.RunCycle().Failure().c_str());
    return -1;
  }
  const double ms = Ms(first.At - start);
  form.btStopClick();
  return ms;
}

double EngineToFirstStatement(TForm1& form, const std::string& text) {
  TFirstLine first;
  SetWorkbenchOutput(&first);
  const Clock::time_point start = Clock::now();
  {
    TScriptControl control;
    control.SetLanguage("JScript");
    control.AddObject("sys", IDispatchPtr(new TSupScript), true);
    control.ExecuteStatement(text, "main.js");
  }
  SetWorkbenchOutput(&form);
  return first.Seen ? Ms(first.At - start) : -1;
}

void Row(const char* what, const std::vector<double>& ours, const std::vector<double>& plain) {
  const TSpread s = RatioSpread(ours, plain);
  std::printf("%-40s %9.3f %9.3f   %5.2f / %5.2f / %5.2f\n", what, Median(ours), Median(plain),
              s.Min, s.Median, s.Max);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::stoi(argv[1])) : 7;
  StartUnits();
  {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string ours = dir.path().toStdString() + "/big.js";
    const std::string theirs = dir.path().toStdString() + "/plain/big.js";
    QDir().mkpath(dir.path() + "/plain");
    Write(ours, SourceLines(50000));
    Write(theirs, SourceLines(50000));

    auto form = std::make_unique<TForm1>();
    form->SetWorkspaceFileName(dir.path().toStdString() + "/orvel.ini");
    form->ShowMessageHook = [](const std::string& text, const std::string& detail) {
      std::fprintf(stderr, "%s %s\n", text.c_str(), detail.c_str());
    };
    form->AskHook = [](const std::string&) { return TForm1::TAnswer::Discard; };
    form->show();
    QTabWidget tabs;
    tabs.resize(form->size());
    tabs.show();

    TCycle wb, plain;
    WorkbenchCycle(*form, ours, wb);  // warm-up: fonts, the editor's first layout
    PlainCycle(tabs, theirs, plain);
    wb = plain = TCycle();
    InRounds(rounds, {[&] { return WorkbenchCycle(*form, ours, wb); },
                      [&] { return PlainCycle(tabs, theirs, plain); }});

    const std::string small = dir.path().toStdString() + "/first.js";
    const std::string smallText = "sys.out('first');\r\n";
    Write(small, smallText);
    const std::string large = dir.path().toStdString() + "/first_big.js";
    const std::string largeText = smallText + SourceLines(50000);
    Write(large, largeText);
    const auto runSmall =
        InRounds(3 * rounds, {[&] { return RunToFirstStatement(*form, small); },
                              [&] { return EngineToFirstStatement(*form, smallText); }});
    const auto runLarge =
        InRounds(rounds, {[&] { return RunToFirstStatement(*form, large); },
                          [&] { return EngineToFirstStatement(*form, largeText); }});

    std::printf("%d rounds (Run of 1 line: %d), order rotated; medians, ms\n", rounds, 3 * rounds);
    std::printf("%-40s %9s %9s   %s\n", "", "workbench", "without", "ratio min / median / max");
    Row("open a 50,000-line file", wb.Open, plain.Open);
    Row("one key typed mid-file", wb.Key, plain.Key);
    Row("save the 50,000-line file", wb.Save, plain.Save);
    Row("Run to first statement, 1 line", runSmall[0], runSmall[1]);
    Row("Run to first statement, 50,001 lines", runLarge[0], runLarge[1]);

    form.reset();
    EndUnits();
  }
  return 0;
}
