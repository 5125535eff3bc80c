// The run cycle: the error report through the line-origin map, the states a run
// attempt leaves behind, and what Stop tears down.

#include <gtest/gtest.h>

#include <vector>

#include "Controls.h"
#include "Unit1_runcycle.h"
#include "test_support.h"
#include "u_SupScript.h"
#include "u_jobject.h"

namespace {

struct TRecorder final : IWorkbenchOutput {
  std::vector<std::string> Lines;
  void LogLine(const std::string& line) override { Lines.push_back(line); }
  void StatusText(const std::string&) override {}
};

class RunCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWorkbenchOutput(&out_);
    run_.Log = [this](const std::string& line) { out_.LogLine(line); };
  }
  void TearDown() override {
    run_.Stop();
    SetWorkbenchOutput(nullptr);
  }
  TTempFolder dir_;
  TRecorder out_;
  TRunCycle run_;
};

TScriptError ErrorAt(int line, int column, const std::string& sourceName = "",
                     const std::string& text = "") {
  TScriptError e;
  e.Line = line;
  e.Column = column;
  e.Description = "boom";
  e.SourceName = sourceName;
  e.Text = text;
  return e;
}

}  // namespace

// A wrong decode of origin codes or an off-by-one between engine lines and list
// entries names the wrong file or line.
TEST_F(RunCycle, ErrorReportMapsThroughTheLineOriginMap) {
  run_.IncludedFiles = {"main.js", "/abs/inc.js"};
  run_.ExpandedLines = {{"a();", 0}, {"b();", 65536}, {"  c();", 65537}, {"d();", 2}};

  EXPECT_EQ(run_.ErrorReport(ErrorAt(4, 0)),
            (std::vector<std::string>{"err> unit (3, 1) main.js", "err> d();", "err> boom"}));
  EXPECT_EQ(run_.ErrorReport(ErrorAt(3, 4)),
            (std::vector<std::string>{"err> unit (2, 5) /abs/inc.js", "err>   c();", "err> boom"}));
}

// A line outside the text must not read past the list; what is unknown shows as "?".
TEST_F(RunCycle, ErrorReportOutsideEveryTextShowsQuestionMarks) {
  run_.IncludedFiles = {"main.js"};
  run_.ExpandedLines = {{"a();", 0}};
  const std::vector<std::string> unknown{"err> unit (?, 1) ?", "err> ?", "err> boom"};
  EXPECT_EQ(run_.ErrorReport(ErrorAt(0, 0)), unknown);
  EXPECT_EQ(run_.ErrorReport(ErrorAt(2, 0)), unknown);
  run_.ExpandedLines.clear();
  EXPECT_EQ(run_.ErrorReport(ErrorAt(1, 0)), unknown);
}

// An event statement's error lies in its own text, not in the main text's lines.
TEST_F(RunCycle, ErrorReportOfAnEventStatementNamesTheBinding) {
  run_.IncludedFiles = {"main.js"};
  run_.ExpandedLines = {{"a();", 0}, {"b();", 1}};
  EXPECT_EQ(
      run_.ErrorReport(ErrorAt(1, 0, "b1.OnClick", "clicked('b1')")),
      (std::vector<std::string>{"err> unit (1, 1) b1.OnClick", "err> clicked('b1')", "err> boom"}));
  EXPECT_EQ(run_.ErrorReport(ErrorAt(0, 2, "b1.OnClick")),
            (std::vector<std::string>{"err> unit (?, 3) b1.OnClick", "err> ?", "err> boom"}));
}

TEST_F(RunCycle, MissingMainFileLeavesTheWorkbenchIdle) {
  EXPECT_EQ(run_.Start(dir_.Path("none.js"), "JScript"), TRunOutcome::NotStarted);
  EXPECT_FALSE(run_.Active());
  EXPECT_EQ(run_.Failure(), "File not found: " + dir_.Path("none.js"));
  EXPECT_TRUE(out_.Lines.empty());
  EXPECT_EQ(ScriptCtrl, nullptr);
}

// The run counts as active from the object creation on; only Stop ends it.
TEST_F(RunCycle, UnknownLanguageLeavesAnActiveRunThatStopEnds) {
  WriteBytes(dir_.Path("a.js"), "sys.out('ran');\r\n");
  EXPECT_EQ(run_.Start(dir_.Path("a.js"), "VBScript"), TRunOutcome::Failed);
  EXPECT_TRUE(run_.Active());
  EXPECT_TRUE(out_.Lines.empty());
  run_.Stop();
  EXPECT_FALSE(run_.Active());
  EXPECT_EQ(ObjectCount(), 0);
}

// Error lines of the main file count lines of that file, not of the expanded text.
TEST_F(RunCycle, ErrorAfterAnIncludeReportsTheMainFileLine) {
  WriteBytes(dir_.Path("two.js"), "var a = 1;\nvar b = 2;\n");
  WriteBytes(dir_.Path("main.js"), "sys.out('x');\n#include \"two.js\"\nnoSuchThing();\n");
  EXPECT_EQ(run_.Start(dir_.Path("main.js"), "jscript"), TRunOutcome::ScriptFailed);
  ASSERT_EQ(out_.Lines.size(), 4u);
  EXPECT_EQ(out_.Lines[0], "x");
  EXPECT_EQ(out_.Lines[1], "err> unit (3, 1) " + dir_.Path("main.js"));
  EXPECT_EQ(out_.Lines[2], "err> noSuchThing();");
  EXPECT_EQ(run_.ErrorsReported(), 1);
  EXPECT_TRUE(run_.Active());
}

// Each run gets new objects and its own root form; Stop leaves no object alive.
TEST_F(RunCycle, TwoRunsSeparatedByStopShareNothing) {
  WriteBytes(dir_.Path("a.js"),
             "var f = main.nw('TForm', 'f1', 'one');\n"
             "sys.out(sys.listObj());\n");
  ASSERT_EQ(run_.Start(dir_.Path("a.js"), "JScript"), TRunOutcome::Ran);
  ASSERT_EQ(out_.Lines.size(), 1u);
  const std::string firstObjects = out_.Lines[0];
  EXPECT_GT(ObjectCount(), 0);
  run_.Stop();
  EXPECT_EQ(ScriptCtrl, nullptr);
  EXPECT_EQ(ObjectCount(), 0);

  // The same name is free again: nothing of the first run is registered.
  out_.Lines.clear();
  ASSERT_EQ(run_.Start(dir_.Path("a.js"), "JScript"), TRunOutcome::Ran) << run_.Failure();
  ASSERT_EQ(out_.Lines.size(), 1u);
  EXPECT_EQ(out_.Lines[0], firstObjects);
}

// Stop releases thousands of handles at once. What an outside client still holds (as
// a bus client holds a handle it got with getObj) keeps its component, its form and
// its root; everything else goes, including a button owned by a released form but
// shown on the kept one; no event runs a statement once the run is over.
TEST_F(RunCycle, StopWithManyHandlesKeepsWhatAnOutsideClientHolds) {
  WriteBytes(dir_.Path("a.js"),
             "var f = main.nw('TForm', 'f', 'kept form');\n"
             "var keep = [];\n"
             "for (var i = 0; i < 3000; i++) keep.push(f.nw('TButton', 'b' + i, 'b' + i));\n"
             "var g = main.nw('TForm', 'g', 'released form');\n"
             "var c = g.nw('TButton', 'c', 'guest');\n"
             "c.propParent = f;\n"
             "var font = f.propGet('Font');\n"
             "f.propSet('OnDestroy', \"sys.out('late %1')\");\n"
             "g.propSet('OnDestroy', \"sys.out('late %1')\");\n"
             "f.propSet('OnResize', \"sys.out('late %1')\");\n"
             "sys.out(f.listChildren().split(',').length);\n");
  ASSERT_EQ(run_.Start(dir_.Path("a.js"), "JScript"), TRunOutcome::Ran) << run_.Failure();
  ASSERT_EQ(out_.Lines, std::vector<std::string>{"3001"});
  IDispatchPtr held = GetRegisteredObject("b7");
  run_.Stop();
  EXPECT_EQ(out_.Lines.size(), 1u);

  EXPECT_EQ(ListObjectNames(), "b7,f,main");
  EXPECT_EQ(held->Call("classN", {}).ToString(), "TButton");
  EXPECT_EQ(held->Call("propGet", {Variant("Caption")}).ToString(), "b7");
  IDispatchPtr form = held->Call("propParent", {}).AsDispatch();
  ASSERT_TRUE(form);
  EXPECT_EQ(HandleOf(form)->Name(), "f");
  auto* kept = dynamic_cast<TWinControl*>(HandleOf(form)->Component());
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->ControlCount(), 1);
  EXPECT_EQ(kept->ComponentCount(), 1);
  form.reset();
  held.reset();
  EXPECT_EQ(ListObjectNames(), "");
  EXPECT_EQ(ObjectCount(), 0);
}
