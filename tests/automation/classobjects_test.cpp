#include <gtest/gtest.h>

#include "Project1_TLB.h"

namespace {

int g_constructed = 0;
bool g_failAfterConstruction = false;

class TPlain final : public TAutoObject {
 public:
  explicit TPlain(const TCoClassInfo& cls) : TAutoObject(cls) { ++g_constructed; }

 protected:
  void AfterConstruction() override {
    if (g_failAfterConstruction) throw Exception("Cannot build the object");
  }
  void CallMember(const TMemberInfo&, const std::vector<Variant>&, Variant&) override {}
};

// A class object that serves the wrong class under JObject's identifier, as a broken
// unit might: its objects lack IJObject.
TAutoObject* MakeWrongJObject() {
  return new TPlain(InetClass);
}

void RegisterAll() {
  RegisterClassObject(JObjectClass, &MakeWrongJObject);
  RegisterClassObject(SupScriptClass, []() -> TAutoObject* { return new TPlain(SupScriptClass); });
  RegisterClassObject(InetClass, []() -> TAutoObject* { return new TPlain(InetClass); });
  // A second registration is ignored, not appended.
  RegisterClassObject(SupScriptClass, []() -> TAutoObject* { return nullptr; });
}

}  // namespace

// Class objects keep creation order; creation works by braced identifier in any case
// and by program identifier; unknown names are "class not registered".
TEST(ClassObjects, OrderAndCreation) {
  RegisterAll();
  auto objs = ClassObjects();
  ASSERT_EQ(objs.size(), 3u);
  EXPECT_STREQ(objs[0]->ClassName(), "JObject");
  EXPECT_STREQ(objs[1]->ClassName(), "SupScript");
  EXPECT_STREQ(objs[2]->ClassName(), "Inet");
  EXPECT_STREQ(objs[1]->Description(), "SupScript Object");
  EXPECT_STREQ(objs[2]->ErrorIID(), IInetInfo.IID);

  const int before = ObjectCount();
  IDispatchPtr p;
  EXPECT_EQ(CoCreateInstance("{a98bd558-d151-4cca-8aa5-9c45bf0fc5d6}", p), S_OK);
  EXPECT_EQ(&p->ClassInfo(), &InetClass);
  EXPECT_EQ(CoCreateInstance("project1.supscript", p), S_OK);
  EXPECT_EQ(&p->ClassInfo(), &SupScriptClass);
  EXPECT_EQ(p->RefCount(), 1u);
  EXPECT_EQ(ObjectCount(), before + 1);
  IDispatchPtr none;
  EXPECT_EQ(CoCreateInstance("Project1.Nothing", none), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance("{A98BD558-D151-4CCA-8AA5-9C45BF0FC5D7}", none), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance("Inet", none), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(none);
  p.reset();
  EXPECT_EQ(ObjectCount(), before);
}

// The creation functions return the class's interface, or fail with a message a
// person can act on; a failed construction leaves no object alive.
TEST(ClassObjects, CreationFunctions) {
  RegisterAll();
  const int before = ObjectCount();
  IDispatchPtr sys = CoSupScript::Create();
  EXPECT_TRUE(sys->Supports(ISupScriptInfo.IID));
  EXPECT_EQ(sys->RefCount(), 1u);
  IDispatchPtr inet = CoInet::Create();
  EXPECT_EQ(&inet->Interface(), &IInetInfo);

  try {
    CoJObject::Create();
    FAIL();
  } catch (const EIntfCastError& e) {
    EXPECT_STREQ(e.what(), "Interface not supported");
  }
  EXPECT_EQ(ObjectCount(), before + 2);  // the stray object went with its reference

  g_failAfterConstruction = true;
  try {
    CoInet::Create();
    ADD_FAILURE();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, E_UNEXPECTED);
    EXPECT_STREQ(e.what(), "Cannot build the object");
  }
  g_failAfterConstruction = false;
  EXPECT_EQ(ObjectCount(), before + 2);
}

// The automation switches outrank registration, registration outranks removal, and
// only "/" or "-" followed by the whole word counts.
TEST(StartMode, SwitchesAndPrecedence) {
  using V = std::vector<std::string>;
  EXPECT_EQ(StartModeFromArgs(V{"orvel"}), TStartMode::smStandalone);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "/regserver"}), TStartMode::smRegServer);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "-RegServer"}), TStartMode::smRegServer);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "-UNREGSERVER"}), TStartMode::smUnregServer);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "/unregserver", "/regserver"}), TStartMode::smRegServer);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "/regserver", "-Embedding"}), TStartMode::smAutomation);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "-automation", "/unregserver"}), TStartMode::smAutomation);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "regserver"}), TStartMode::smStandalone);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "--regserver"}), TStartMode::smStandalone);
  EXPECT_EQ(StartModeFromArgs(V{"orvel", "/regservers"}), TStartMode::smStandalone);
  EXPECT_EQ(StartModeFromArgs(V{"/usr/bin/orvel", "/"}), TStartMode::smStandalone);
}
