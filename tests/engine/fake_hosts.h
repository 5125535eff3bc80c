#pragma once
// Host objects for engine tests: small TAutoObject classes with the real class infos,
// so members, kinds and parameter types are exactly those scripts meet.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "Project1_TLB.h"

// Number of fake objects alive, to see exactly when a release happens.
inline int& FakesAlive() {
  static int alive = 0;
  return alive;
}

template <class Self>
IDispatchPtr MakeFake() {
  return IDispatchPtr(new Self);
}

// ISupScript: out collects lines, sleep fails on negatives, getObj hands out stored
// objects, listObj reports the fakes alive.
class TFakeSup final : public TAutoObject {
 public:
  TFakeSup() : TAutoObject(SupScriptClass) { ++FakesAlive(); }
  std::vector<std::string> Lines;
  std::map<std::string, IDispatchPtr> Objects;
  std::string FileLog;
  uint32_t SelfValue = 4000000000u;

 protected:
  ~TFakeSup() override { --FakesAlive(); }
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& args,
                  Variant& result) override {
    const std::string name = m.Name;
    if (name == "out") {
      Lines.push_back(args[0].AsString());
    } else if (name == "sleep") {
      if (args[0].AsI4() < 0) throw Exception("Объект не контрол");
    } else if (name == "getObj") {
      auto it = Objects.find(args[0].AsString());
      if (it == Objects.end()) throw Exception("Object not found: " + args[0].AsString());
      result = Variant(it->second);
    } else if (name == "listObj") {
      result = Variant(std::to_string(FakesAlive()));
    } else if (name == "path") {
      result = Variant("/work/main.js");
    } else if (name == "self") {
      result = Variant::FromUI4(SelfValue);
    } else if (name == "md5") {
      result = Variant("md5:" + args[0].AsString());
    } else if (name == "md5_file") {
      throw Exception("");
    } else if (name == "fileLog") {
      if (m.Kind == MemberKind::PropertyPut)
        FileLog = args[0].AsString();
      else
        result = Variant(FileLog);
    }
  }
};

// IInet: echoes its arguments so conversions can be checked from both sides.
class TFakeInet final : public TAutoObject {
 public:
  TFakeInet() : TAutoObject(InetClass) { ++FakesAlive(); }

 protected:
  ~TFakeInet() override { --FakesAlive(); }
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& args,
                  Variant& result) override {
    const std::string name = m.Name;
    if (name == "toString") {
      result = Variant("body of " + args[0].AsString());
    } else if (name == "headers") {
      throw EOleSysError("refused", static_cast<HRESULT>(0x80004005));
    } else if (name == "queryInfo") {
      result = Variant(std::to_string(args[1].AsUI4()));
    } else if (name == "toFile") {
      result = Variant::FromInt(42);
    } else if (name == "header") {
      result = Variant(args[0].AsString() + "|" + args[1].AsString());
    }
  }
};

// IJObject: nw makes new fakes, propSet/propGet store variants, propSet("run", text)
// runs text on Control (an event statement inside a statement), fr collects garbage.
class TFakeJObject final : public TAutoObject {
 public:
  TFakeJObject() : TAutoObject(JObjectClass) { ++FakesAlive(); }
  static inline TScriptControl* Control = nullptr;
  static inline std::function<void()> OnDestroy;
  std::map<std::string, Variant> Props;
  Variant Parent;

 protected:
  ~TFakeJObject() override {
    --FakesAlive();
    if (OnDestroy) OnDestroy();
  }
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& args,
                  Variant& result) override {
    const std::string name = m.Name;
    if (name == "nw") {
      auto* child = new TFakeJObject;
      child->Props["className"] = args[0];
      child->Props["NameObj"] = args[1];
      child->Props["Caption"] = args[2];
      result = Variant(IDispatchPtr(child));
    } else if (name == "propSet") {
      if (args[0].AsString() == "run")
        Control->ExecuteStatement(args[1].ToString(), "nested");
      else
        Props[args[0].AsString()] = args[1];
    } else if (name == "propGet") {
      result = Props[args[0].AsString()];
    } else if (name == "propParent") {
      if (m.Kind == MemberKind::PropertyPut)
        Parent = args[0];
      else
        result = Parent;
    } else if (name == "cnt") {
      result = Variant(3);
    } else if (name == "fr") {
      Control->CollectGarbage();
    } else if (name == "classN") {
      result = Variant("TFake");
    } else {
      throw Exception("not available: " + name);
    }
  }
};
