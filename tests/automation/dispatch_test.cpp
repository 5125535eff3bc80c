#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "Project1_TLB.h"

namespace {

// An object of a real class whose member bodies record what they received and do
// what the test asks.
class TProbe final : public TAutoObject {
 public:
  explicit TProbe(const TCoClassInfo& cls) : TAutoObject(cls) {}
  static IDispatchPtr Make(const TCoClassInfo& cls) { return IDispatchPtr(new TProbe(cls)); }

  std::function<void(const TMemberInfo&, const std::vector<Variant>&, Variant&)> Body;
  std::vector<std::string> Calls;
  std::vector<Variant> LastArgs;

 protected:
  void CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                  Variant& result) override {
    Calls.push_back(std::string(member.Name) + (member.Kind == MemberKind::PropertyPut ? "=" : ""));
    LastArgs = args;
    EXPECT_TRUE(result.IsEmpty());
    if (Body) Body(member, args, result);
  }
};

TProbe* Probe(const IDispatchPtr& p) {
  return static_cast<TProbe*>(p.get());
}

DISPID Id(const IDispatchPtr& p, const char* name) {
  DISPID id = -1;
  EXPECT_EQ(p->GetIDsOfNames(name, id), S_OK) << name;
  return id;
}

}  // namespace

// Names resolve in any case; both halves of a property share one identifier and the
// kind picks the half; a property get reaches a method, but not the other way round.
TEST(Dispatch, NamesKindsAndIdentifiers) {
  IDispatchPtr inet = TProbe::Make(InetClass);
  EXPECT_EQ(Id(inet, "TOSTRING"), 201);
  EXPECT_EQ(Id(inet, "tostring"), 201);
  DISPID id = 0;
  EXPECT_EQ(inet->GetIDsOfNames("toStrin", id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(inet->Invoke(InetDispId::toString, DISPATCH_METHOD, {"u"}).Status, S_OK);
  EXPECT_EQ(inet->Invoke(999, DISPATCH_METHOD, {}).Status, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(inet->Invoke(InetDispId::toString, DISPATCH_PROPERTYPUT, {"u"}).Status,
            DISP_E_MEMBERNOTFOUND);

  IDispatchPtr sys = TProbe::Make(SupScriptClass);
  const DISPID fileLog = Id(sys, "FileLog");
  EXPECT_EQ(fileLog, 210);
  Probe(sys)->Body = [](const TMemberInfo& m, const std::vector<Variant>&, Variant& res) {
    if (m.Kind == MemberKind::PropertyGet) res = Variant("now.log");
  };
  EXPECT_EQ(sys->Invoke(fileLog, DISPATCH_PROPERTYPUT, {"a.log"}).Status, S_OK);
  // A put by reference is a put.
  EXPECT_EQ(sys->Invoke(fileLog, DISPATCH_PROPERTYPUTREF, {"b.log"}).Status, S_OK);
  TInvokeResult got = sys->Invoke(fileLog, DISPATCH_PROPERTYGET, {});
  EXPECT_EQ(got.Status, S_OK);
  EXPECT_EQ(got.Value, Variant("now.log"));
  EXPECT_EQ(Probe(sys)->Calls, (std::vector<std::string>{"fileLog=", "fileLog=", "fileLog"}));
  // Reading a method without parentheses calls it; calling a property get as a
  // plain method does not.
  EXPECT_EQ(sys->Invoke(SupScriptDispId::path, DISPATCH_PROPERTYGET, {}).Status, S_OK);
  EXPECT_EQ(sys->Invoke(fileLog, DISPATCH_METHOD, {}).Status, DISP_E_MEMBERNOTFOUND);

  IDispatchPtr h = TProbe::Make(JObjectClass);
  EXPECT_EQ(Id(h, "PROPPARENT"), 208);
  EXPECT_EQ(h->Invoke(JObjectDispId::propParent, DISPATCH_PROPERTYPUT, {Variant(h)}).Status, S_OK);
  EXPECT_EQ(Probe(h)->LastArgs.at(0).AsDispatch(), h);
  EXPECT_EQ(h->Invoke(JObjectDispId::propParent, DISPATCH_PROPERTYGET, {}).Status, S_OK);
  EXPECT_EQ(Probe(h)->Calls, (std::vector<std::string>{"propParent=", "propParent"}));
  h->Invoke(JObjectDispId::propParent, DISPATCH_PROPERTYPUT, {Variant()});  // drop the cycle

  const TInterfaceInfo* info = nullptr;
  EXPECT_EQ(h->GetTypeInfo(0, info), S_OK);
  EXPECT_EQ(info, &IJObjectInfo);
  EXPECT_EQ(h->GetTypeInfo(1, info), DISP_E_BADINDEX);
}

// A wrong count or an unconvertible argument fails before the body runs; omitted
// optional arguments of nw arrive as their recorded empty defaults.
TEST(Dispatch, ArgumentsAreCheckedAndConvertedBeforeTheBody) {
  IDispatchPtr sys = TProbe::Make(SupScriptClass);
  TProbe* p = Probe(sys);
  EXPECT_EQ(sys->Invoke(Id(sys, "sleep"), DISPATCH_METHOD, {}).Status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(sys->Invoke(Id(sys, "sleep"), DISPATCH_METHOD, {1, 2}).Status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(sys->Invoke(Id(sys, "log"), DISPATCH_METHOD, {"f"}).Status, DISP_E_BADPARAMCOUNT);
  TInvokeResult r = sys->Invoke(Id(sys, "log"), DISPATCH_METHOD, {"f", Variant::Null()});
  EXPECT_EQ(r.Status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(r.ArgErr, 1u);
  EXPECT_EQ(sys->Invoke(Id(sys, "sleep"), DISPATCH_METHOD, {"soon"}).Status, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(sys->Invoke(Id(sys, "sleep"), DISPATCH_METHOD, {1e12}).Status, DISP_E_OVERFLOW);
  EXPECT_TRUE(p->Calls.empty());

  // Declared types reach the body: a number for a string, a string for an I4.
  EXPECT_EQ(sys->Invoke(Id(sys, "out"), DISPATCH_METHOD, {2.5}).Status, S_OK);
  EXPECT_EQ(p->LastArgs.at(0), Variant("2.5"));
  EXPECT_EQ(sys->Invoke(Id(sys, "sleep"), DISPATCH_METHOD, {"10"}).Status, S_OK);
  EXPECT_EQ(p->LastArgs.at(0), Variant(10));

  IDispatchPtr main = TProbe::Make(JObjectClass);
  TProbe* m = Probe(main);
  const DISPID nw = Id(main, "NW");
  EXPECT_EQ(main->Invoke(nw, DISPATCH_METHOD, {}).Status, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(main->Invoke(nw, DISPATCH_METHOD, {"TForm"}).Status, S_OK);
  EXPECT_EQ(m->LastArgs, (std::vector<Variant>{"TForm", "", ""}));
  EXPECT_EQ(main->Invoke(nw, DISPATCH_METHOD, {"TButton", "b1"}).Status, S_OK);
  EXPECT_EQ(m->LastArgs, (std::vector<Variant>{"TButton", "b1", ""}));
  EXPECT_EQ(main->Invoke(nw, DISPATCH_METHOD, {"TButton", "b1", "OK", "x"}).Status,
            DISP_E_BADPARAMCOUNT);
  // A VARIANT parameter takes the value as it comes.
  EXPECT_EQ(main->Invoke(Id(main, "propSet"), DISPATCH_METHOD, {"Tag", Variant::Null()}).Status,
            S_OK);
  EXPECT_TRUE(m->LastArgs.at(1).IsNull());
}

// The safe-call rule: the message reaches the caller as the description, even when
// empty; the status is E_UNEXPECTED unless an OLE error carries a negative one; the
// result does not leak out of a failed call, and the object remains usable.
TEST(Dispatch, SafeCallRule) {
  IDispatchPtr inet = TProbe::Make(InetClass);
  TProbe* p = Probe(inet);
  p->Body = [](const TMemberInfo&, const std::vector<Variant>& a, Variant& res) {
    res = Variant("partial");
    const std::string what = a.at(0).AsString();
    if (what == "plain") throw Exception("Error: InternetOpen 12");
    if (what == "empty") throw Exception("");
    if (what == "ole") throw EOleSysError("bad thing", static_cast<HRESULT>(0x80070005));
    if (what == "positive") throw EOleSysError("odd", 1);
    if (what == "int") throw 42;
  };
  struct Case {
    const char* arg;
    HRESULT scode;
    const char* description;
  } cases[] = {{"plain", E_UNEXPECTED, "Error: InternetOpen 12"},
               {"empty", E_UNEXPECTED, ""},
               {"ole", static_cast<HRESULT>(0x80070005), "bad thing"},
               {"positive", E_UNEXPECTED, "odd"}};
  for (const Case& c : cases) {
    TInvokeResult r = inet->Invoke(InetDispId::toString, DISPATCH_METHOD, {c.arg});
    EXPECT_EQ(r.Status, DISP_E_EXCEPTION) << c.arg;
    EXPECT_EQ(r.Excep.SCode, c.scode) << c.arg;
    EXPECT_EQ(r.Excep.Source, "Project1.Inet");
    EXPECT_EQ(r.Excep.Description, c.description);
    EXPECT_TRUE(r.Value.IsEmpty());
  }
  EXPECT_EQ(inet->Invoke(InetDispId::toString, DISPATCH_METHOD, {"int"}).Status, DISP_E_EXCEPTION);
  TInvokeResult ok = inet->Invoke(InetDispId::toString, DISPATCH_METHOD, {"fine"});
  EXPECT_EQ(ok.Status, S_OK);
  EXPECT_EQ(ok.Value, Variant("partial"));

  // Call() throws with the description for a member failure, the status text otherwise.
  try {
    inet->Call("TOSTRING", {"empty"});
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_STREQ(e.what(), "");
    EXPECT_EQ(e.ErrorCode, E_UNEXPECTED);
  }
  try {
    inet->Call("toString");
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_STREQ(e.what(), "Invalid number of parameters.");
  }
  try {
    inet->Call("nothing");
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, DISP_E_UNKNOWNNAME);
  }
}

// A declared result type holds whatever the body produced: an I4 result set as text
// arrives as a number, and a body that sets a result on a void member leaks nothing.
TEST(Dispatch, ResultsTakeTheDeclaredType) {
  IDispatchPtr h = TProbe::Make(JObjectClass);
  Probe(h)->Body = [](const TMemberInfo& m, const std::vector<Variant>&, Variant& res) {
    const std::string name = m.Name;
    res = name == "cnt" ? Variant("3") : name == "self" ? Variant(7) : Variant("ignored");
  };
  EXPECT_EQ(h->Call("cnt"), Variant(3));
  EXPECT_TRUE(h->Call("clear").IsEmpty());
  EXPECT_EQ(h->Call("self"), Variant::FromUI4(7));
  Probe(h)->Body = [](const TMemberInfo&, const std::vector<Variant>&, Variant& res) {
    res = Variant("not a number");
  };
  TInvokeResult r = h->Invoke(JObjectDispId::cnt, DISPATCH_METHOD, {});
  EXPECT_EQ(r.Status, DISP_E_EXCEPTION);
  EXPECT_EQ(r.Excep.SCode, DISP_E_TYPEMISMATCH);
}

// Counted references: the count follows construction and the last release, serials
// are unique among live objects and find them, and a body that drops the last outside
// reference to its own object still finishes on a live object.
TEST(Lifetime, CountSerialsAndSelfRelease) {
  const int before = ObjectCount();
  std::vector<int> seen;
  SetObjectCountHandler([&](int n) { seen.push_back(n); });
  std::set<uint32_t> serials;
  {
    std::vector<IDispatchPtr> objs;
    for (int i = 0; i < 5; ++i) {
      objs.push_back(TProbe::Make(JObjectClass));
      EXPECT_TRUE(serials.insert(objs.back()->Serial()).second);
      EXPECT_NE(objs.back()->Serial(), 0u);
      EXPECT_EQ(ObjectBySerial(objs.back()->Serial()), objs.back().get());
    }
    EXPECT_EQ(ObjectCount(), before + 5);
    IDispatchPtr copy = objs[0];
    objs[0].reset();
    EXPECT_EQ(ObjectCount(), before + 5);
    const uint32_t gone = copy->Serial();
    copy.reset();
    EXPECT_EQ(ObjectCount(), before + 4);
    EXPECT_EQ(ObjectBySerial(gone), nullptr);
  }
  EXPECT_EQ(ObjectCount(), before);
  SetObjectCountHandler(nullptr);
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen.front(), before + 1);
  EXPECT_EQ(seen.back(), before);

  auto* holder = new IDispatchPtr(TProbe::Make(SupScriptClass));
  TAutoObject* raw = holder->get();
  Probe(*holder)->Body = [&](const TMemberInfo&, const std::vector<Variant>&, Variant& res) {
    delete holder;  // the only outside reference
    EXPECT_EQ(ObjectBySerial(raw->Serial()), raw);
    res = Variant("still here");
  };
  EXPECT_EQ(raw->Call("path"), Variant("still here"));
  EXPECT_EQ(ObjectCount(), before);
}

// Interfaces: IUnknown, IDispatch and the class's own one, in any letter case.
TEST(Lifetime, QueryInterface) {
  IDispatchPtr inet = TProbe::Make(InetClass);
  EXPECT_TRUE(inet->Supports("{8c1b8a03-c170-447b-a838-60a62c9af6b2}"));
  EXPECT_TRUE(inet->Supports(IID_IUnknown));
  EXPECT_TRUE(inet->Supports(IID_IDispatch));
  EXPECT_FALSE(inet->Supports(IJObjectInfo.IID));
  EXPECT_EQ(QueryInterface(inet.get(), IInetInfo.IID), inet);
  EXPECT_EQ(inet->RefCount(), 1u);
  EXPECT_THROW(QueryInterface(inet.get(), ISupScriptInfo.IID), EIntfCastError);
  try {
    QueryInterface(inet.get(), ISupScriptInfo.IID);
  } catch (const EIntfCastError& e) {
    EXPECT_STREQ(e.what(), "Interface not supported");
  }
}
