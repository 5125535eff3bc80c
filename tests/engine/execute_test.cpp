// ExecuteStatement: scope across calls, nesting, the error record (golden positions),
// language names and the life of host references.

#include "engine_fixture.h"

// Error positions are golden: Line 1-based in the executed text, Column 0-based, for
// every kind of error, with the text's source line.
TEST_F(EngineTest, ErrorPositionsAreExact) {
  const ErrorCase cases[] = {
      {"var a = 1;\r\n  var b = ;\r\n", 2, 10, "expected expression, got ';'", "  var b = ;"},
      {"var a = 1;\r\n  var b = foo.bar;\r\n", 2, 10, "foo is not defined", "  var b = foo.bar;"},
      {"var a = 1;\r\n  throw \"x\";\r\n", 2, 2, "uncaught exception: x", "  throw \"x\";"},
      {"throw 'x';", 1, 0, "uncaught exception: x", "throw 'x';"},
      {"nosuch();", 1, 0, "nosuch is not defined", "nosuch();"},
      {"\n\n  throw new Error('boom');", 3, 2, "boom", "  throw new Error('boom');"},
      {"if (1) throw TypeError('t');", 1, 7, "t", "if (1) throw TypeError('t');"},
      // An Error made apart from its throw is placed at the throw.
      {"var e = new Error('made');\n throw e;", 2, 1, "made", " throw e;"},
      {")", 1, 0, "expected expression, got ')'", ")"},
      // Columns count characters, not bytes.
      {"var s = 'ü€'; null.x;", 1, 14, "null has no properties", "var s = 'ü€'; null.x;"},
      // eval code has lines of its own: the error is placed at the eval call.
      {"var q = 1;\n  eval('1;\\n  a b');", 2, 2, "unexpected token: identifier",
       "  eval('1;\\n  a b');"},
  };
  for (const ErrorCase& c : cases) ExpectError(Fail(c.text, "unit.js"), c, "unit.js");
}

// An error inside a function is placed in the text that defined the function, even
// when a later statement (an event text) called it.
TEST_F(EngineTest, ErrorInFunctionOfEarlierStatement) {
  Run("function f() {\n  var x = 1;\n    null.x;\n}", "main.js");
  TScriptError err = Fail("f();", "b1.OnClick");
  EXPECT_EQ(err.Line, 3);
  EXPECT_EQ(err.Column, 4);
  EXPECT_EQ(err.SourceName, "main.js");
  EXPECT_EQ(err.Text, "    null.x;");
  // Source names are file names: any bytes, not only ASCII.
  Run("function g() {\n  var x = 1; null.x;\n}", "/home/jürgen/main.js");
  err = Fail("g();", "b1.OnClick");
  EXPECT_EQ(err.SourceName, "/home/jürgen/main.js");
  EXPECT_EQ(err.Line, 2);
  EXPECT_EQ(err.Column, 13);
  // The statement's own errors stay in its own text.
  err = Fail("\n  f(", "b1.OnClick");
  EXPECT_EQ(err.Line, 2);
  EXPECT_EQ(err.SourceName, "b1.OnClick");
  EXPECT_EQ(err.Text, "  f(");
}

// OnError runs inside the failing call, with the record filled, before the call
// throws the description as the reported kind (event callers drop it quietly); it does
// not run for success.
TEST_F(EngineTest, OnErrorFiresInsideTheFailingCall) {
  Run("var ok = 1;");
  EXPECT_EQ(errors_, 0);
  try {
    control_->ExecuteStatement("null.y", "main.js");
    FAIL() << "no exception";
  } catch (const EScriptError& e) {
    EXPECT_STREQ(e.what(), "null has no properties");
  }
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(errorDepth_, 1);
  EXPECT_EQ(lastError_.Description, "null has no properties");
  EXPECT_EQ(control_->Depth(), 0);
}

// One global scope across calls; a statement may run another from inside a member
// call, and the nested failure reaches the outer script as a catchable error.
TEST_F(EngineTest, PersistentScopeAndReentry) {
  Run("var counter = 40; function bump() { return ++counter; }");
  EXPECT_EQ(RunOne("bump(); sys.out(String(bump()))"), "42");
  EXPECT_EQ(RunOne("main.propSet('run', 'inner = counter + 1; sys.out(\"in\")');"
                   "sys.out(String(inner))"),
            "<2 lines>");
  EXPECT_EQ(Sys().Lines, (std::vector<std::string>{"in", "43"}));
  EXPECT_EQ(RunOne("try { main.propSet('run', 'null.z') } catch (e) { sys.out(e.message) }"),
            "null has no properties");
  EXPECT_EQ(errors_, 1) << "the nested failure is reported once, by the nested call";
  EXPECT_EQ(errorDepth_, 2);
  EXPECT_EQ(lastError_.SourceName, "nested");
  EXPECT_EQ(control_->Depth(), 0);
}

// Only the three names of the language are accepted, in any letter case.
TEST_F(EngineTest, LanguageNames) {
  TScriptControl c;
  EXPECT_THROW(c.ExecuteStatement("1"), Exception) << "no language yet";
  try {
    c.ExecuteStatement("1");
  } catch (const EScriptError&) {
    ADD_FAILURE() << "a failure OnError never saw would be dropped unreported";
  } catch (const Exception&) {
  }
  for (const char* name : {"jscript", "JAVASCRIPT", "ECMAScript"})
    EXPECT_NO_THROW(c.SetLanguage(name));
  EXPECT_THROW(c.SetLanguage("VBScript"), Exception);
  EXPECT_EQ(c.Language(), "ECMAScript");
  EXPECT_THROW(control_->AddObject("sys", MakeFake<TFakeSup>(), true), Exception);
  EXPECT_THROW(control_->AddObject("", MakeFake<TFakeSup>(), true), Exception);
}

// The collector never releases a host object itself: finalized wrappers queue their
// release until a safe point, and destroying the control releases everything.
TEST_F(EngineTest, ReleasesWaitForASafePoint) {
  const int before = FakesAlive();
  Run("for (var i = 0; i < 2000; ++i) main.nw('TButton');");
  EXPECT_EQ(FakesAlive(), before + 2000) << "wrappers hold their objects";
  control_->CollectGarbage();
  EXPECT_EQ(FakesAlive(), before + 2000) << "a finalizer released an object";
  control_->ReleasePending();
  EXPECT_EQ(FakesAlive(), before);

  // A collection during a statement releases nothing until the statement is over.
  EXPECT_EQ(RunOne("var keep = main.nw('A'); for (var i = 0; i < 100; ++i) main.nw('B');"
                   "main.fr(); sys.out(sys.listObj())"),
            std::to_string(before + 101));
  EXPECT_EQ(FakesAlive(), before + 1);
}

// Destroying the control releases what it holds, also objects only scripts reached,
// and statements that releases trigger are refused rather than run on a dying control.
TEST_F(EngineTest, DestroyReleasesEverything) {
  const int before = FakesAlive();
  Run("var kept = []; for (var i = 0; i < 5; ++i) kept.push(main.nw('A'));");
  EXPECT_EQ(FakesAlive(), before + 5);
  int refused = 0;
  TScriptControl* dying = control_.get();
  TFakeJObject::OnDestroy = [&] {
    try {
      dying->ExecuteStatement("sys.out('late')");
    } catch (const Exception&) {
      ++refused;
    }
  };
  mainObj_.reset();
  control_.reset();
  TFakeJObject::OnDestroy = nullptr;
  EXPECT_EQ(FakesAlive(), before - 1) << "only sys and inet, held by the test, remain";
  EXPECT_EQ(refused, 6);
  EXPECT_TRUE(Sys().Lines.empty());
}

// Collections the engine starts by itself, in the middle of statements and nested
// statements, neither release a handle still reachable nor keep one that is not.
TEST_F(EngineTest, CollectionsDuringScriptsKeepCountsRight) {
  const int before = FakesAlive();
  Run("var kept = [];"
      "for (var i = 0; i < 60000; ++i) {"
      "  var h = main.nw('A');"
      "  if (i % 100 == 0) kept.push(h);"
      "  var junk = new Array(64).fill(i);"
      "}"
      "h = null;"
      "main.propSet('run', 'for (var j = 0; j < 20000; ++j) main.nw(\"B\").propSet(\"x\", j);');"
      "for (var k = 0; k < kept.length; ++k)"
      "  if (kept[k].propGet('className') !== 'A') throw new Error('lost ' + k);");
  control_->CollectGarbage();
  control_->ReleasePending();
  EXPECT_EQ(FakesAlive(), before + 600);
  Run("kept = null;");
  control_->CollectGarbage();
  control_->ReleasePending();
  EXPECT_EQ(FakesAlive(), before);
}
