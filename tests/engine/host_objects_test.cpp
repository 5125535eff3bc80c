// How host objects look from a script: member lookup, property members, global
// members, failures, identity and value conversion.

#include "engine_fixture.h"

// Member names must resolve in any letter case, on the object and as globals.
TEST_F(EngineTest, MembersResolveInAnyLetterCase) {
  EXPECT_EQ(RunOne("sys.out(inet.TOSTRING('a'))"), "body of a");
  EXPECT_EQ(RunOne("SYS_ = sys; sys.OUT(Inet_ = inet.toString('b'))"), "body of b");
  EXPECT_EQ(RunOne("Out(TOstring('c'))"), "body of c");
  EXPECT_EQ(RunOne("try { sys.nosuchmember } catch (e) { sys.out(e.message) }"),
            "Object doesn't support this property or method: nosuchmember");
  // A method read without a call is a function that still reaches its object.
  EXPECT_EQ(RunOne("var f = inet.header; sys.out(f('u', 'p'))"), "u|p");
}

// Objects of one interface share their members, yet a method read off an object is
// that object's own function: it calls that object wherever it is called from, it is
// the same function on every read, whatever was read first or from which object, and
// it cannot be replaced. Objects that inherit from a handle, or that the script froze,
// still reach the handle; a member borrowed onto a plain object fails as unknown.
TEST_F(EngineTest, SharedMembersKeepEachObjectsOwnMethods) {
  EXPECT_EQ(RunOne("var a = main.nw('TButton', 'a', ''), b = main.nw('TButton', 'b', '');"
                   "var gb = b.propGet, ga = a.propGet;"
                   "sys.out(ga('NameObj') + gb('NameObj') + b.PROPGET('NameObj') +"
                   " ' ' + (a.propGet === ga) + (b.propGet === gb) + (ga !== gb) +"
                   " (b.propget !== b.propGet))"),
            "abb truetruetruetrue");
  EXPECT_EQ(RunOne("var a = main.nw('TButton', 'a', ''), out = [];"
                   "try { a.propSet = 1 } catch (e) { out.push(e.message) }"
                   "a.propSet('k', 'v');"
                   "try { a.propSet = 1 } catch (e) { out.push(e.message) }"
                   "delete a.propSet; out.push(typeof a.propSet, a.propGet('k'));"
                   "sys.out(out.join('|'))"),
            "propSet is a method and cannot be assigned|propSet is a method and cannot be "
            "assigned|function|v");
  EXPECT_EQ(RunOne("var f = Object.freeze(main.nw('TButton', 'f', ''));"
                   "var child = Object.create(main.nw('TButton', 'c', ''));"
                   "f.propParent = main; child.propParent = main;"
                   "sys.out(f.propGet('NameObj') + f.classN() + child.propGet('NameObj') +"
                   " child.classN() + (f.propParent === main) + (child.propParent === main))"),
            "fTFakecTFaketruetrue");
  EXPECT_EQ(RunOne("var h = main.nw('TButton', 'h', ''), out = [];"
                   "h.propParent; h.propGet('x');"
                   "var members = Object.getPrototypeOf(h);"
                   "var read = Object.getOwnPropertyDescriptor(members, 'propParent').get;"
                   "try { read.call({}) } catch (e) { out.push(e.message) }"
                   "out.push(String(Object.getOwnPropertyDescriptor(members, 'propGet')"
                   ".get.call({})));"
                   "out.push(Object.keys(h).length, members === Object.getPrototypeOf(main));"
                   "sys.out(out.join('|'))"),
            "Object doesn't support this property or method: propParent|undefined|0|true");
}

// Property-kind members read and write as properties, through one dispatch identifier.
TEST_F(EngineTest, PropertyMembersReadAndWrite) {
  EXPECT_EQ(RunOne("sys.fileLog = 'a.log'; sys.out(sys.FILELOG)"), "a.log");
  EXPECT_EQ(Sys().FileLog, "a.log");
  EXPECT_EQ(RunOne("fileLog = 'b.log'; sys.out(fileLog)"), "b.log");
  EXPECT_EQ(RunOne("var h = main.nw('TButton'); h.propParent = main;"
                   "sys.out(String(h.propParent === main))"),
            "true");
}

// A member keeps the string it returned last for an equal result: a new result, of the
// same length, with characters beyond ASCII, or through a property, must never come
// back as the old one.
TEST_F(EngineTest, RepeatedResultsAreExactEachTime) {
  EXPECT_EQ(RunOne("var ok = [];"
                   "['ab', 'ab', 'ac', '\\u00c3\\u00a9', '\\u00e9', '\\u00c3\\u00a9', 'ab']"
                   ".forEach(function (a) {"
                   "  ok.push(sys.md5(a) === 'md5:' + a, md5(a) === 'md5:' + a); });"
                   "['x1', 'x2', 'x2', '\\u00e9\\u00e9', 'x2'].forEach(function (v) {"
                   "  sys.fileLog = v; ok.push(sys.fileLog === v); });"
                   "sys.out(ok.indexOf(false) < 0 ? 'exact' : 'stale at ' + ok.indexOf(false))"),
            "exact");
}

// Global members: the object added first wins a clash; objects added without the flag
// add no globals; scripts may still declare those names themselves.
TEST_F(EngineTest, GlobalMembersFirstAddedWins) {
  // sys and main both have self; sys was added first.
  EXPECT_EQ(RunOne("sys.out(String(self()))"), "4000000000");
  auto other = std::make_unique<TScriptControl>();
  other->SetLanguage("JavaScript");
  IDispatchPtr sup = MakeFake<TFakeSup>();
  other->AddObject("inet", MakeFake<TFakeInet>(), false);
  other->AddObject("sys", sup, true);
  other->ExecuteStatement("out(typeof headers + ' ' + typeof inet.headers)");
  other->ExecuteStatement("function md5(s) { return 'own ' + s; } out(md5('x'))");
  other->ExecuteStatement("var path = 5; out(String(path))");
  auto& lines = static_cast<TFakeSup&>(*sup).Lines;
  EXPECT_EQ(lines, (std::vector<std::string>{"undefined function", "own x", "5"}));
}

// A failing member is a catchable Error whose message and description are exactly the
// member's message; the dispatch layer's own failures carry its status text.
TEST_F(EngineTest, HostFailuresAreCatchableErrors) {
  EXPECT_EQ(RunOne("try { sys.sleep(-1) } catch (e) { sys.out(e.message + '|' + "
                   "e.description + '|' + (e instanceof Error)) }"),
            "Объект не контрол|Объект не контрол|true");
  EXPECT_EQ(RunOne("try { sys.md5_file('x') } catch (e) { sys.out('[' + e.message + ']') }"), "[]");
  EXPECT_EQ(RunOne("try { inet.headers('u') } catch (e) { sys.out(e.message + ' ' + e.number) }"),
            "refused " + std::to_string(static_cast<int32_t>(0x80004005)));
  EXPECT_EQ(RunOne("try { sys.sleep() } catch (e) { sys.out(e.message + ' ' + e.number) }"),
            StatusMessage(DISP_E_BADPARAMCOUNT) + " " + std::to_string(DISP_E_BADPARAMCOUNT));
  EXPECT_EQ(RunOne("try { inet.queryInfo('u', 'abc') } catch (e) { sys.out(e.message) }"),
            StatusMessage(DISP_E_TYPEMISMATCH));
  // Uncaught, the same text is the error's description, placed at the call.
  TScriptError err = Fail("var a = 1;\r\n   sys.getObj('zz');\r\n");
  EXPECT_EQ(err.Description, "Object not found: zz");
  EXPECT_EQ(err.Line, 2);
  EXPECT_EQ(err.Column, 7) << "the engine places a member call at the member name";
  EXPECT_EQ(err.Text, "   sys.getObj('zz');");
}

// One host object is one script object, whichever way it comes back.
TEST_F(EngineTest, SameObjectIsSameScriptObject) {
  Sys().Objects["main"] = mainObj_;
  Sys().Objects["x"] = MakeFake<TFakeInet>();
  EXPECT_EQ(RunOne("sys.out(String(sys.getObj('main') === main))"), "true");
  EXPECT_EQ(RunOne("sys.out(String(sys.getObj('x') === sys.getObj('X'.toLowerCase())))"), "true");
  EXPECT_EQ(
      RunOne(
          "var m = new WeakMap([[sys.getObj('x'), 1]]); sys.out(String(m.get(sys.getObj('x'))))"),
      "1");
  EXPECT_EQ(RunOne("sys.out(String(main.nw('A') === main.nw('A')))"), "false");
}

// Values keep their kind and text across the boundary in both directions.
TEST_F(EngineTest, ValuesConvertBothWays) {
  EXPECT_EQ(RunOne("sys.out(inet.queryInfo('u', 7.0) + inet.queryInfo('u', '12'))"), "712");
  EXPECT_EQ(RunOne("sys.out(typeof main.cnt() + main.cnt() + typeof inet.toFile('a', 'b'))"),
            "number3number");
  EXPECT_EQ(RunOne("sys.out(String(sys.self() === 4000000000))"), "true");
  const std::string wide = "ü€😀 \xD0\x96";
  EXPECT_EQ(RunOne("var s = inet.header('" + wide + "', 'x'); sys.out(s.length + ' ' + s)"),
            "8 " + wide + "|x");
  EXPECT_EQ(RunOne("main.propSet('u', undefined); main.propSet('n', null);"
                   "main.propSet('d', 2.5); main.propSet('b', true); main.propSet('o', [1, 2]);"
                   "sys.out([main.propGet('u') === undefined, main.propGet('n') === null,"
                   "main.propGet('d'), main.propGet('b') === true, main.propGet('o')].join())"),
            "true,true,2.5,true,1,2");
  auto& props = static_cast<TFakeJObject&>(*mainObj_).Props;
  EXPECT_EQ(props["u"].type(), VarType::Empty);
  EXPECT_EQ(props["n"].type(), VarType::Null);
  EXPECT_EQ(props["d"].type(), VarType::R8);
  EXPECT_EQ(RunOne("main.propSet('i', 3.0); sys.out('')"), "");
  EXPECT_EQ(props["i"].type(), VarType::I4);
  // nw with only a class name receives the recorded empty defaults.
  EXPECT_EQ(RunOne("var h = main.nw('TButton'); sys.out('[' + h.propGet('NameObj') + ']' +"
                   "h.propGet('className'))"),
            "[]TButton");
}
