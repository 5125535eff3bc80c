// The server in this process, driven by clients on their own bus connections. The
// three classes are small stand-ins built on the real type library, so these cases
// check the server's own work: creation, dispatch, conversion, paths, lifetime.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <functional>

#include "Project1_TLB.h"
#include "bus_support.h"
#include "u_busserver.h"

namespace {

class TFakeJObject final : public TAutoObject {
 public:
  TFakeJObject() : TAutoObject(JObjectClass) {}
  std::string FClass = "TForm", FName, FCaption;
  IDispatchPtr FParent;

 protected:
  void BeforeDestruction() override { FParent.reset(); }
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& a, Variant& res) override {
    const std::string name = m.Name;
    if (name == "nw") {
      IDispatchPtr h = CoJObject::Create();
      auto* j = static_cast<TFakeJObject*>(h.get());
      j->FClass = a[0].AsString();
      j->FName = a[1].AsString();
      j->FCaption = a[2].AsString();
      res = Variant(h);
    } else if (name == "classN") {
      res = Variant(FClass);
    } else if (name == "propGet") {
      const std::string p = a[0].AsString();
      if (p == "Name")
        res = Variant(FName);
      else if (p == "Caption")
        res = Variant(FCaption);
      else if (p == "Tag")
        res = Variant(7);
      else if (p == "Nothing")
        res = Variant();
      else
        throw Exception("Property not found: " + p);
    } else if (name == "propParent") {
      if (m.Kind == MemberKind::PropertyGet)
        res = FParent ? Variant(FParent) : Variant();
      else
        FParent = a[0].type() == VarType::Dispatch ? a[0].AsDispatch() : IDispatchPtr();
    } else if (name == "cnt") {
      res = Variant(3);
    } else if (name == "self") {
      res = Variant::FromUI4(Serial());
    }
  }
};

class TFakeSys final : public TAutoObject {
 public:
  TFakeSys() : TAutoObject(SupScriptClass) {}

 protected:
  void BeforeDestruction() override { FShared.reset(); }
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& a, Variant& res) override {
    const std::string name = m.Name;
    if (name == "md5")
      res = Variant("digest:" + a[0].AsString());
    else if (name == "sleep" && a[0].AsI4() < 0)
      throw Exception("negative pause");
    else if (name == "out")
      throw Exception("");
    else if (name == "fileLog" && m.Kind == MemberKind::PropertyGet)
      res = Variant(FFileLog);
    else if (name == "fileLog")
      FFileLog = a[0].AsString();
    else if (name == "getObj") {
      if (!FShared) FShared = CoJObject::Create();
      res = Variant(FShared);
    }
  }
  std::string FFileLog;
  IDispatchPtr FShared;
};

class TFakeInet final : public TAutoObject {
 public:
  TFakeInet() : TAutoObject(InetClass) {}

 protected:
  void CallMember(const TMemberInfo& m, const std::vector<Variant>& a, Variant& res) override {
    const std::string name = m.Name;
    if (name == "toString") {
      if (a[0].AsString().empty()) throw Exception("Error: InternetOpen 12");
      if (a[0].AsString().rfind("size:", 0) == 0) {
        res = Variant(std::string(std::stoul(a[0].AsString().substr(5)), 'x'));
        return;
      }
      res = Variant("body of " + a[0].AsString());
    } else if (name == "toFile") {
      res = Variant(42);
    }
  }
};

const QString kFactory = QStringLiteral("/org/orvel/Workbench");
const QString kFactoryIntf = QStringLiteral("org.orvel.Workbench.Factory");
const QString kObject = QStringLiteral("org.orvel.Workbench.Object");

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

QVariant Args(const QVariantList& list) {
  return QVariant::fromValue(list);
}

class BusServer : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClassObject(JObjectClass, []() -> TAutoObject* { return new TFakeJObject; });
    RegisterClassObject(SupScriptClass, []() -> TAutoObject* { return new TFakeSys; });
    RegisterClassObject(InetClass, []() -> TAutoObject* { return new TFakeInet; });
    std::string error;
    ASSERT_TRUE(StartAutomationServer(TStartMode::smStandalone, error)) << error;
    EXPECT_TRUE(AutomationServerNeedsWindow());
    client = Connect("client-a");
  }
  void TearDown() override {
    for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
    StopAutomationServer();
    EXPECT_EQ(ObjectCount(), 0);
  }

  QDBusConnection Connect(const QString& name) {
    names << name;
    QDBusConnection c =
        QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), name);
    EXPECT_TRUE(c.isConnected()) << c.lastError().message().toStdString();
    return c;
  }

  QString Create(QDBusConnection& c, const QString& id) {
    const QDBusMessage r = CallBus(c, kFactory, kFactoryIntf, QStringLiteral("Create"), {id});
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    return PathOf(r);
  }

  int Count() {
    return FirstValue(CallBus(client, kFactory, kFactoryIntf, QStringLiteral("ObjectCount")))
        .toInt();
  }

  QDBusConnection client{QStringLiteral("unset")};
  QStringList names;
};

void ExpectError(const QDBusMessage& r, const char* name, const char* message) {
  EXPECT_EQ(r.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(r.errorName().toStdString(), name);
  if (message) {
    EXPECT_EQ(r.errorMessage().toStdString(), message);
  }
}

}  // namespace

// Creation by program identifier and by class identifier in any case, through the
// registered class objects; unknown names fail with a message naming them.
TEST_F(BusServer, CreatesByProgIdOrClassIdAndCountsObjects) {
  const QString sys = Create(client, "project1.SUPSCRIPT");
  const QString main = Create(client, "{8f85f3f9-b21f-46ac-b3e4-e3ea99ea3cd7}");
  const QString inet = Create(client, "Project1.Inet");
  EXPECT_TRUE(sys.startsWith("/org/orvel/Workbench/objects/"));
  EXPECT_NE(sys, main);
  EXPECT_EQ(Count(), 3);
  EXPECT_EQ(ClientHeldObjectCount(), 3);
  EXPECT_EQ(FirstValue(CallBus(client, main, kObject, "ClassName")).toString(), "JObject");
  ExpectError(
      CallBus(client, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.Nothing")}),
      "org.orvel.Workbench.Error.ClassNotRegistered", "Class not registered: Project1.Nothing");
  EXPECT_EQ(Count(), 3);
}

// Members by bus method and by generic call: names in any case, property halves,
// argument conversion and count checks, defaults, and failures with the member's
// own message (also an empty one).
TEST_F(BusServer, MembersBehaveAsForScripts) {
  const QString sys = Create(client, "Project1.SupScript");
  const QString inet = Create(client, "Project1.Inet");
  const QString sysIntf = "org.orvel.Workbench.ISupScript";

  EXPECT_EQ(FirstValue(CallBus(client, sys, sysIntf, "md5", {QStringLiteral("abc")})).toString(),
            "digest:abc");
  EXPECT_EQ(FirstValue(CallBus(client, sys, kObject, "Call", {QStringLiteral("MD5"), Args({12})}))
                .toString(),
            "digest:12");
  EXPECT_EQ(FirstValue(CallBus(client, inet, kObject, "Call",
                               {QStringLiteral("TOSTRING"), Args({QStringLiteral("x")})}))
                .toString(),
            "body of x");
  // A typed method's result keeps its declared type.
  const QDBusMessage toFile = CallBus(client, inet, "org.orvel.Workbench.IInet", "toFile",
                                      {QStringLiteral("u"), QStringLiteral("f")});
  ASSERT_EQ(toFile.arguments().size(), 1);
  EXPECT_EQ(toFile.arguments()[0].userType(), QMetaType::Int);

  EXPECT_EQ(CallBus(client, sys, sysIntf, "put_fileLog", {QStringLiteral("a.log")}).type(),
            QDBusMessage::ReplyMessage);
  EXPECT_EQ(FirstValue(CallBus(client, sys, sysIntf, "get_fileLog")).toString(), "a.log");
  EXPECT_EQ(CallBus(client, sys, kObject, "PropertyPut",
                    {QStringLiteral("FILELOG"), QVariant::fromValue(QDBusVariant(5))})
                .type(),
            QDBusMessage::ReplyMessage);
  EXPECT_EQ(FirstValue(CallBus(client, sys, kObject, "PropertyGet", {QStringLiteral("fileLog")}))
                .toString(),
            "5");

  ExpectError(
      CallBus(client, inet, kObject, "Call", {QStringLiteral("toString"), Args({QString()})}),
      "org.orvel.Workbench.Error.Failed", "Error: InternetOpen 12");
  ExpectError(
      CallBus(client, sys, kObject, "Call", {QStringLiteral("out"), Args({QStringLiteral("hi")})}),
      "org.orvel.Workbench.Error.Failed", "");
  ExpectError(CallBus(client, sys, kObject, "Call", {QStringLiteral("sleep"), Args({})}),
              "org.orvel.Workbench.Error.BadParamCount", "Invalid number of parameters.");
  ExpectError(CallBus(client, sys, sysIntf, "sleep", {QStringLiteral("soon")}),
              "org.orvel.Workbench.Error.TypeMismatch", nullptr);
  ExpectError(CallBus(client, sys, sysIntf, "sleep", {-5}), "org.orvel.Workbench.Error.Failed",
              "negative pause");
  ExpectError(CallBus(client, sys, kObject, "Call", {QStringLiteral("nosuch"), Args({})}),
              "org.orvel.Workbench.Error.UnknownName", nullptr);
  EXPECT_EQ(CallBus(client, sys, sysIntf, "nosuch").type(), QDBusMessage::ErrorMessage);
  // The object survives its failures.
  EXPECT_EQ(FirstValue(CallBus(client, sys, sysIntf, "MD5", {QStringLiteral("z")})).toString(),
            "digest:z");
}

// A result longer than the bus carries is refused with the reason, where sending it
// would cost the server its connection; a result just inside the limit goes through.
TEST_F(BusServer, ResultTooLargeForTheBusIsRefused) {
  const QString inet = Create(client, "Project1.Inet");
  const QString intf = "org.orvel.Workbench.IInet";
  const QDBusMessage big =
      CallBus(client, inet, intf, "toString", {QStringLiteral("size:134217728")}, 60000);
  ExpectError(big, "org.freedesktop.DBus.Error.LimitsExceeded",
              "The result is too large for the bus: 134217728 bytes (at most 134152192)");
  const QDBusMessage fits =
      CallBus(client, inet, intf, "toString", {QStringLiteral("size:50000000")}, 60000);
  ASSERT_EQ(fits.type(), QDBusMessage::ReplyMessage) << fits.errorMessage().toStdString();
  EXPECT_EQ(FirstValue(fits).toString().size(), 50000000);
  EXPECT_EQ(FirstValue(CallBus(client, inet, intf, "toString", {QStringLiteral("x")})).toString(),
            "body of x");
}

// Handles that members return come back as object paths the client can call and
// pass back; "/" stands for no object and an empty array for the empty value.
TEST_F(BusServer, HandlesTravelAsObjectPaths) {
  const QString main = Create(client, "Project1.JObject");
  const QDBusMessage made = CallBus(client, main, kObject, "Call",
                                    {QStringLiteral("NW"), Args({QStringLiteral("TButton")})});
  const QString button = PathOf(made);
  ASSERT_FALSE(button.isEmpty()) << made.errorMessage().toStdString();
  EXPECT_EQ(
      FirstValue(CallBus(client, button, "org.orvel.Workbench.IJObject", "classN")).toString(),
      "TButton");
  // nw's omitted arguments arrive as their empty defaults.
  EXPECT_EQ(FirstValue(CallBus(client, button, kObject, "Call",
                               {QStringLiteral("propGet"), Args({QStringLiteral("Name")})}))
                .toString(),
            "");
  EXPECT_EQ(Count(), 2);

  // A path as argument reaches the member as the object itself.
  EXPECT_EQ(CallBus(client, button, "org.orvel.Workbench.IJObject", "put_propParent",
                    {QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(main))))})
                .type(),
            QDBusMessage::ReplyMessage);
  EXPECT_EQ(PathOf(CallBus(client, button, kObject, "PropertyGet", {QStringLiteral("propParent")})),
            main);
  CallBus(client, button, "org.orvel.Workbench.IJObject", "put_propParent",
          {QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath("/"))))});
  const QVariant none =
      FirstValue(CallBus(client, button, kObject, "PropertyGet", {QStringLiteral("propParent")}));
  ASSERT_EQ(none.userType(), qMetaTypeId<QDBusArgument>());
  EXPECT_EQ(qvariant_cast<QDBusArgument>(none).currentSignature(), "av");
  ExpectError(CallBus(client, button, kObject, "Call",
                      {QStringLiteral("propSet"),
                       Args({QStringLiteral("Tag"), QVariant::fromValue(QDBusObjectPath(
                                                        "/org/orvel/Workbench/objects/999999"))})}),
              "org.freedesktop.DBus.Error.InvalidArgs",
              "No such object: /org/orvel/Workbench/objects/999999");
}

// Calls that reach a live path but name nothing there say what is unknown; a path
// names an object only as it was handed out; a client cannot release what it does
// not hold, and the holder keeps it.
TEST_F(BusServer, UnknownMembersPathsAndHolds) {
  const QString sys = Create(client, "Project1.SupScript");
  ExpectError(
      CallBus(client, sys, "org.orvel.Workbench.ISupScript", "md6", {QStringLiteral("a")}),
      "org.freedesktop.DBus.Error.UnknownMethod",
      ("No such method md6(s) in org.orvel.Workbench.ISupScript at " + sys).toStdString().c_str());
  ExpectError(
      CallBus(client, sys, kObject, "Invoke"), "org.freedesktop.DBus.Error.UnknownMethod",
      ("No such method Invoke() in org.orvel.Workbench.Object at " + sys).toStdString().c_str());
  ExpectError(CallBus(client, sys, "org.example.Other", "md5", {QStringLiteral("a")}),
              "org.freedesktop.DBus.Error.UnknownInterface",
              ("No such interface org.example.Other at " + sys).toStdString().c_str());
  ExpectError(CallBus(client, kFactory, kFactoryIntf, "Destroy"),
              "org.freedesktop.DBus.Error.UnknownMethod",
              "No such method Destroy() in org.orvel.Workbench.Factory at /org/orvel/Workbench");
  ExpectError(CallBus(client, kFactory, "org.orvel.Workbench.IInet", "toString"),
              "org.freedesktop.DBus.Error.UnknownInterface",
              "No such interface org.orvel.Workbench.IInet at /org/orvel/Workbench");

  const QString serial = sys.section('/', -1);
  for (const QString& alias :
       {"/org/orvel/Workbench/objects/00" + serial, "/org/orvel/Workbench/objects/0" + serial})
    ExpectError(
        CallBus(client, alias, "org.orvel.Workbench.ISupScript", "md5", {QStringLiteral("a")}),
        "org.freedesktop.DBus.Error.UnknownObject",
        ("No such object: " + alias).toStdString().c_str());

  QDBusConnection other = Connect("client-c");
  ExpectError(CallBus(other, sys, kObject, "Release"), "org.orvel.Workbench.Error.NotHeld",
              ("Release: this client does not hold " + sys).toStdString().c_str());
  EXPECT_EQ(FirstValue(CallBus(client, sys, "org.orvel.Workbench.ISupScript", "md5",
                               {QStringLiteral("a")}))
                .toString(),
            "digest:a");
  EXPECT_EQ(CallBus(client, sys, kObject, "Release").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Count(), 0);
}

// Release drops one client's hold; an object two clients hold lives until both let
// go; a client that leaves the bus releases everything it still holds.
TEST_F(BusServer, ReleaseAndClientsLeaving) {
  const QString sys = Create(client, "Project1.SupScript");
  const QString inet = Create(client, "Project1.Inet");
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(CallBus(client, inet, kObject, "Release").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Count(), 1);
  ExpectError(CallBus(client, inet, kObject, "Call",
                      {QStringLiteral("toString"), Args({QStringLiteral("x")})}),
              "org.freedesktop.DBus.Error.UnknownObject", nullptr);

  {
    QDBusConnection other = Connect("client-b");
    const QString shared = PathOf(CallBus(client, sys, kObject, "Call",
                                          {QStringLiteral("getObj"), Args({QStringLiteral("x")})}));
    EXPECT_EQ(PathOf(CallBus(other, sys, kObject, "Call",
                             {QStringLiteral("getObj"), Args({QStringLiteral("x")})})),
              shared);
    Create(other, "Project1.Inet");
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(CallBus(client, shared, kObject, "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(FirstValue(CallBus(other, shared, kObject, "Call", {QStringLiteral("cnt"), Args({})}))
                  .toInt(),
              3);
  }
  // The last copy of the connection is gone: this closes it.
  QDBusConnection::disconnectFromBus("client-b");
  names.removeAll("client-b");
  EXPECT_TRUE(WaitFor([] { return ClientHeldObjectCount() == 1; }));
  // sys (held by the first client) still keeps the shared handle alive.
  EXPECT_EQ(Count(), 2);
  CallBus(client, sys, kObject, "Release");
  EXPECT_EQ(Count(), 0);
}

// Detached objects outlive the client that made them (a shell's one-call clients),
// and so do handles reached through them, until some client releases them.
TEST_F(BusServer, DetachedObjectsOutliveTheirClient) {
  QString main, form;
  {
    QDBusConnection shell = Connect("shell-1");
    main = PathOf(CallBus(shell, kFactory, kFactoryIntf, "CreateDetached",
                          {QStringLiteral("Project1.JObject")}));
    form = PathOf(CallBus(shell, main, kObject, "Call",
                          {QStringLiteral("nw"), Args({QStringLiteral("TForm")})}));
  }
  QDBusConnection::disconnectFromBus("shell-1");
  names.removeAll("shell-1");
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(FirstValue(CallBus(client, form, "org.orvel.Workbench.IJObject", "classN")).toString(),
            "TForm");
  EXPECT_EQ(Count(), 2);
  CallBus(client, form, kObject, "Release");
  CallBus(client, main, kObject, "Release");
  EXPECT_EQ(Count(), 0);
}

// Introspection carries the type library: members with their identifiers and
// property halves, and the factory lists the exported objects.
TEST_F(BusServer, IntrospectionDescribesTheTypeLibrary) {
  const QString sys = Create(client, "Project1.SupScript");
  const QString xml =
      FirstValue(CallBus(client, sys, "org.freedesktop.DBus.Introspectable", "Introspect"))
          .toString();
  EXPECT_TRUE(xml.contains("<interface name=\"org.orvel.Workbench.ISupScript\">"));
  EXPECT_TRUE(xml.contains("<method name=\"get_fileLog\">"));
  EXPECT_TRUE(xml.contains("<method name=\"put_fileLog\">"));
  EXPECT_TRUE(xml.contains("value=\"{3951D1AA-DEA3-4BF3-95FA-B04B58E4FBFD}\""));
  EXPECT_TRUE(xml.contains("<interface name=\"org.orvel.Workbench.Object\">"));
  const QString list = FirstValue(CallBus(client, "/org/orvel/Workbench/objects",
                                          "org.freedesktop.DBus.Introspectable", "Introspect"))
                           .toString();
  EXPECT_TRUE(list.contains("<node name=\"" + sys.section('/', -1) + "\"/>")) << list.toStdString();

  const std::string main = IntrospectionXml(&IJObjectInfo, false);
  const size_t nw = main.find("<method name=\"nw\">");
  ASSERT_NE(nw, std::string::npos);
  const std::string nwXml = main.substr(nw, main.find("</method>", nw) - nw);
  EXPECT_NE(nwXml.find("value=\"211\""), std::string::npos);
  EXPECT_NE(nwXml.find("<arg name=\"Caption\" type=\"s\" direction=\"in\">"), std::string::npos);
  EXPECT_NE(nwXml.find("<arg name=\"res\" type=\"v\" direction=\"out\"/>"), std::string::npos);
}

// A client asks for the workbench window; until then an automation start has none.
TEST_F(BusServer, ShowWorkbenchOnRequest) {
  StopAutomationServer();
  SetAutomationEndHandler([] {});  // the test's own event loop must go on
  std::string error;
  ASSERT_TRUE(StartAutomationServer(TStartMode::smAutomation, error)) << error;
  EXPECT_FALSE(AutomationServerNeedsWindow());
  int shown = 0;
  SetShowWorkbenchHandler([&] { ++shown; });
  EXPECT_EQ(CallBus(client, kFactory, kFactoryIntf, "ShowWorkbench").type(),
            QDBusMessage::ReplyMessage);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(AutomationServerNeedsWindow());
  SetShowWorkbenchHandler(nullptr);
  SetAutomationEndHandler(nullptr);
}

// Registration writes the service file and the interface descriptions, removal takes
// them away again, and a folder that cannot be written fails with its name while a
// normal start goes on regardless.
TEST(BusRegistration, WritesAndRemovesFiles) {
  std::string error;
  ASSERT_TRUE(RegisterAutomationServer(error)) << error;
  QFile service(QString::fromStdString(ServiceFilePath()));
  ASSERT_TRUE(service.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(service.readAll());
  service.close();
  EXPECT_TRUE(text.startsWith("[D-BUS Service]\nName=org.orvel.Workbench\nExec="));
  EXPECT_TRUE(text.contains(" /AUTOMATION\n"));
  EXPECT_EQ(ServiceFilePath(), TestDataHome() + "/dbus-1/services/org.orvel.Workbench.service");
  for (const std::string& p : InterfaceFilePaths())
    EXPECT_TRUE(QFile::exists(QString::fromStdString(p))) << p;

  ASSERT_TRUE(UnregisterAutomationServer(error)) << error;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ServiceFilePath())));
  for (const std::string& p : InterfaceFilePaths())
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p))) << p;
  EXPECT_TRUE(UnregisterAutomationServer(error));  // nothing left to remove is fine

  const std::string blocker = TestDataHome() + "/blocked";
  QFile(QString::fromStdString(blocker)).open(QIODevice::WriteOnly);
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(blocker));
  EXPECT_FALSE(RegisterAutomationServer(error));
  EXPECT_NE(error.find(blocker), std::string::npos) << error;
  EXPECT_TRUE(StartAutomationServer(TStartMode::smStandalone, error));
  EXPECT_NE(error.find(blocker), std::string::npos) << error;
  StopAutomationServer();
  qputenv("XDG_DATA_HOME", saved);
}
