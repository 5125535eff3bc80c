// Stopping a running statement: the watchdog's interrupt reaches the handler in the
// middle of a loop, a stop ends every running statement uncatchably at a named place,
// and script text asked for inside the interrupt waits for the statement to end.

#include "engine_fixture.h"

class StopTest : public EngineTest {
 protected:
  void TearDown() override {
    SetScriptInterruptHandler(nullptr);
    ClearScriptStop();
    EngineTest::TearDown();
  }
};

// No catch or finally runs; the report names the loop's line. Nothing starts until the
// stop is cleared, and then a second stop works too (interrupts were switched back on
// after the handler, not left off).
TEST_F(StopTest, StopEndsALoopUncatchablyAtItsPlace) {
  int calls = 0;
  SetScriptInterruptHandler([&] {
    if (++calls == 3) RequestScriptStop();
  });
  Sys().Lines.clear();
  const TScriptError err = Fail(
      "var i = 0;\n"
      "try {\n"
      "  while (true) { i++; }\n"
      "} catch (e) { sys.out('caught'); } finally { sys.out('finally'); }");
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(Sys().Lines.empty());
  EXPECT_EQ(err.Line, 3);
  EXPECT_EQ(err.Text, "  while (true) { i++; }");
  EXPECT_EQ(err.SourceName, "main.js");
  EXPECT_EQ(err.Description, "The script was stopped");
  EXPECT_EQ(errors_, 1);

  EXPECT_THROW(control_->ExecuteStatement("sys.out('late')", "main.js"), Exception);
  EXPECT_TRUE(Sys().Lines.empty());
  EXPECT_EQ(errors_, 1) << "one report per stop";

  ClearScriptStop();
  calls = 0;
  EXPECT_EQ(RunOne("sys.out(String(i > 0))"), "true");
  EXPECT_EQ(Fail("while (true) {}").Line, 1);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(errors_, 2);
}

// A stop inside an event statement ends the statement that ran it too, though that
// one catches everything; the report is the inner one's.
TEST_F(StopTest, StopInsideANestedStatementEndsEveryLevelWithOneReport) {
  // Only inside the nested statement: an interrupt asked for earlier may arrive
  // before it starts.
  SetScriptInterruptHandler([this] {
    if (control_->Depth() > 1) RequestScriptStop();
  });
  Sys().Lines.clear();
  Fail(
      "try { main.propSet('run', 'for (;;) {}') } catch (e) { sys.out('caught') }\n"
      "sys.out('after');");
  EXPECT_TRUE(Sys().Lines.empty());
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(lastError_.SourceName, "nested");
  EXPECT_EQ(lastError_.Line, 1);
  EXPECT_EQ(control_->Depth(), 0);
}

// Text that an event asks to run while the handler handles events runs after the
// statement, in order, not in the middle of it.
TEST_F(StopTest, TextAskedForInsideTheInterruptIsHeldBack) {
  int calls = 0;
  SetScriptInterruptHandler([&] {
    if (++calls > 2) return;
    control_->ExecuteStatement("sys.out('event ' + (++events))", "b1.OnClick");
  });
  Run("var events = 0;");
  EXPECT_EQ(Run("var t = Date.now(); while (Date.now() - t < 400) {}\nsys.out('loop over');"),
            (std::vector<std::string>{"loop over"}));
  EXPECT_GE(calls, 2);
  ASSERT_TRUE(control_->HasHeldBack());
  Sys().Lines.clear();
  control_->RunHeldBack();
  EXPECT_EQ(Sys().Lines, (std::vector<std::string>{"event 1", "event 2"}));
  EXPECT_FALSE(control_->HasHeldBack());
}

// The control's Timeout bounds each outermost statement; a quick one is untouched.
TEST_F(StopTest, TimeoutEndsOnlyALongStatement) {
  control_->SetTimeout(300);
  EXPECT_EQ(RunOne("var k = 0; for (var j = 0; j < 1000; j++) k++; sys.out(String(k))"), "1000");
  const TScriptError err = Fail("sys.out('go');\nwhile (true) {}");
  EXPECT_EQ(err.Line, 2);
  EXPECT_EQ(err.Description, "The script was stopped: it ran longer than its time limit of 300 ms");
  EXPECT_EQ(ScriptStopRequested(), TStopReason::Timeout);
}
