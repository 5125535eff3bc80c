// Promise rejections that no script code handles fail the statement like an uncaught
// throw of their reason; handled ones stay silent and nothing is reported twice.

#include "engine_fixture.h"

// A rejection left unhandled once the jobs have run is the statement's error, placed
// where its Error was made (or the promise rejected), with OnError fired and the
// description thrown.
TEST_F(EngineTest, UnhandledRejectionFailsTheStatement) {
  const ErrorCase cases[] = {
      {"async function f() {\n  var a = 1;\n    throw new Error('boom');\n}\nf();", 3, 4,
       "Unhandled promise rejection: boom", "    throw new Error('boom');"},
      // A value without a position is placed at the rejecting call.
      {"var a = 1;\n  Promise.reject('plain');", 2, 10, "Unhandled promise rejection: plain",
       "  Promise.reject('plain');"},
      {"async function g() {\n  await null;\n   throw 7;\n}\ng();", 3, 3,
       "Unhandled promise rejection: 7", "   throw 7;"},
      // A failure inside a reaction job rejects the promise that reaction made.
      {"Promise.resolve().then(function () {\n   null.x;\n});", 2, 3,
       "Unhandled promise rejection: null has no properties", "   null.x;"},
      {"Promise.reject(new TypeError());", 1, 15, "Unhandled promise rejection: TypeError",
       "Promise.reject(new TypeError());"},
      // eval code has lines of its own: the Error is placed at the eval call.
      {"var q = 1;\n  eval(\"Promise.reject(new Error('in eval'))\");", 2, 2,
       "Unhandled promise rejection: in eval", "  eval(\"Promise.reject(new Error('in eval'))\");"},
      // The first rejection is the one reported, whichever job came later.
      {"Promise.resolve().then(function () { null.x; });\nPromise.reject(new Error('first'));\n"
       "Promise.reject(new Error('second'));",
       2, 15, "Unhandled promise rejection: first", "Promise.reject(new Error('first'));"},
  };
  for (const ErrorCase& c : cases) {
    errors_ = 0;
    try {
      control_->ExecuteStatement(c.text, "unit.js");
      ADD_FAILURE() << "no failure: " << c.text;
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), std::string(c.description)) << c.text;
    }
    ExpectError(control_->Error(), c, "unit.js");
    EXPECT_EQ(errors_, 1) << c.text;
    EXPECT_EQ(lastError_.Description, c.description) << c.text;
  }
}

// A handler attached later in the same statement, in a job, or by await takes the
// rejection back: nothing is reported and the statement succeeds.
TEST_F(EngineTest, HandledRejectionsStaySilent) {
  EXPECT_EQ(Run("var p = Promise.reject(new Error('x'));"
                "sys.out('later');"
                "p.catch(function (e) { sys.out('caught ' + e.message); });"
                "async function g() {"
                "  try { await Promise.reject(new Error('y')); }"
                "  catch (e) { sys.out('awaited ' + e.message); }"
                "}"
                "g();"
                "var q = Promise.reject(3);"
                "Promise.resolve().then(function () { q.then(null, function (v) {"
                "  sys.out('in job ' + v); }); });"),
            (std::vector<std::string>{"later", "caught x", "awaited y", "in job 3"}));
  EXPECT_EQ(errors_, 0);
}

// Each rejection is reported once, by the outermost statement it arose in; a statement
// that fails by its own throw reports only that, and no later statement inherits it.
TEST_F(EngineTest, RejectionsAreReportedOnce) {
  TScriptError err = Fail(
      "main.propSet('run', 'Promise.reject(new Error(\"inner\"))');"
      "sys.out('outer goes on');");
  EXPECT_EQ(err.Description, "Unhandled promise rejection: inner");
  EXPECT_EQ(err.SourceName, "nested");
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(errorDepth_, 1) << "reported by the outermost statement";
  EXPECT_EQ(Sys().Lines, std::vector<std::string>{"outer goes on"});
  EXPECT_EQ(RunOne("sys.out('clean')"), "clean");
  EXPECT_EQ(errors_, 1) << "the rejection was reported again";

  err = Fail("Promise.reject(new Error('dropped')); throw 'own';");
  EXPECT_EQ(err.Description, "uncaught exception: own");
  EXPECT_EQ(errors_, 2);
  EXPECT_EQ(RunOne("sys.out('clean')"), "clean");
  EXPECT_EQ(errors_, 2) << "a failed statement's rejection leaked into the next one";
}

// Tracked rejections hold their reasons only until the statement is over: a host object
// that was a reason is released once the script no longer reaches it.
TEST_F(EngineTest, RejectionReasonsAreNotKept) {
  const int before = FakesAlive();
  Fail("Promise.reject(main.nw('A'));");
  control_->CollectGarbage();
  control_->ReleasePending();
  EXPECT_EQ(FakesAlive(), before) << "a reported rejection kept its reason";
  Run("new Promise(function (res, rej) { rej(main.nw('B')); }).catch(function () {});");
  control_->CollectGarbage();
  control_->ReleasePending();
  EXPECT_EQ(FakesAlive(), before) << "a handled rejection kept its reason";
}
