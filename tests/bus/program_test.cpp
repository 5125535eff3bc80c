// The orvel program itself: registration switches, and a workbench that the bus starts
// on demand in automation mode and that ends after the last release. The members run
// the program's real units here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

#include "bus_support.h"
#include "u_busserver.h"

namespace {

const QString kOrvel = QStringLiteral(ORVEL_BINARY_DIR "/orvel");
const QString kFactory = QStringLiteral("/org/orvel/Workbench");
const QString kFactoryIntf = QStringLiteral("org.orvel.Workbench.Factory");
const QString kObject = QStringLiteral("org.orvel.Workbench.Object");

struct TRun {
  int code = -1;
  QByteArray out, err;
};

// Registration runs without a display, as on a build machine or over ssh.
TRun RunOrvel(const QStringList& args, const QString& dataHome = QString()) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!dataHome.isEmpty()) env.insert("XDG_DATA_HOME", dataHome);
  for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(var);
  p.setProcessEnvironment(env);
  p.start(kOrvel, args);
  TRun r;
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

bool NameOwned(QDBusConnection& c) {
  return c.interface()->isServiceRegistered(QStringLiteral("org.orvel.Workbench")).value();
}

bool WaitNameGone(QDBusConnection& c, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (NameOwned(c) && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return !NameOwned(c);
}

bool WaitNameOwned(QDBusConnection& c, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!NameOwned(c) && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return NameOwned(c);
}

QVariant Call(QDBusConnection& c, const QString& path, const QString& member,
              const QVariantList& args) {
  const QDBusMessage r =
      CallBus(c, path, kObject, QStringLiteral("Call"), {member, QVariant::fromValue(args)});
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage)
      << member.toStdString() << ": " << r.errorMessage().toStdString();
  return FirstValue(r);
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(kOrvel)) GTEST_SKIP() << "the orvel program is not built";
  }
};

}  // namespace

// Both switches, after "/" or "-" in any case, do their file work and end at once
// with status 0, writing nothing and showing nothing, with no display to show on.
TEST_F(Program, RegisterAndUnregisterSwitches) {
  TRun reg = RunOrvel({"-RegServer"});
  EXPECT_EQ(reg.code, 0) << reg.err.toStdString();
  EXPECT_TRUE(reg.out.isEmpty());
  QFile service(QString::fromStdString(ServiceFilePath()));
  ASSERT_TRUE(service.open(QIODevice::ReadOnly));
  EXPECT_TRUE(service.readAll().contains("Exec=" + kOrvel.toUtf8() + " /AUTOMATION\n"));
  service.close();
  for (const std::string& p : InterfaceFilePaths())
    EXPECT_TRUE(QFile::exists(QString::fromStdString(p))) << p;

  TRun unreg = RunOrvel({"/unregserver"});
  EXPECT_EQ(unreg.code, 0) << unreg.err.toStdString();
  EXPECT_TRUE(unreg.out.isEmpty());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ServiceFilePath())));
  for (const std::string& p : InterfaceFilePaths())
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p))) << p;
}

// Registration that cannot write its files fails with the reason and a non-zero
// status instead of claiming success.
TEST_F(Program, RegisterFailureIsReported) {
  const QString blocker = QString::fromStdString(TestDataHome()) + "/not-a-folder";
  QFile(blocker).open(QIODevice::WriteOnly);
  TRun reg = RunOrvel({"/REGSERVER"}, blocker);
  EXPECT_EQ(reg.code, 1);
  EXPECT_TRUE(reg.err.contains(blocker.toUtf8())) << reg.err.toStdString();
  QFile::remove(blocker);
}

// After registration a client's first call starts the workbench; the real members
// answer (names in any case, nw with one argument, a handle used by its path, a
// failing member's own message), and releasing the last object ends the program.
TEST_F(Program, StartedByTheBusAndEndedByTheLastRelease) {
  ASSERT_EQ(RunOrvel({"/REGSERVER"}).code, 0);
  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "program-client");
  ASSERT_TRUE(c.isConnected());
  ASSERT_FALSE(NameOwned(c));

  const QDBusMessage made =
      CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("PROJECT1.SUPSCRIPT")}, 30000);
  ASSERT_EQ(made.type(), QDBusMessage::ReplyMessage) << made.errorMessage().toStdString();
  const QString sys = PathOf(made);
  EXPECT_TRUE(NameOwned(c));
  EXPECT_EQ(Call(c, sys, "Md5", {QStringLiteral("abc")}).toString().toLower(),
            "900150983cd24fb0d6963f7d28e17f72");

  const QString inet =
      PathOf(CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.Inet")}));
  const QDBusMessage bad =
      CallBus(c, inet, kObject, "Call",
              {QStringLiteral("TOSTRING"), QVariant::fromValue(QVariantList{QString()})});
  EXPECT_EQ(bad.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(bad.errorName(), "org.orvel.Workbench.Error.Failed");
  EXPECT_FALSE(bad.errorMessage().isEmpty());

  const QString main =
      PathOf(CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.JObject")}));
  const QDBusMessage empty =
      CallBus(c, main, kObject, "Call", {"classN", QVariant::fromValue(QVariantList())});
  EXPECT_EQ(empty.errorMessage().toStdString(), "Handle holds no object");
  const QVariant form = Call(c, main, "NW", {QStringLiteral("TForm")});
  const QString formPath = qvariant_cast<QDBusObjectPath>(form).path();
  ASSERT_TRUE(formPath.startsWith("/org/orvel/Workbench/objects/")) << formPath.toStdString();
  EXPECT_EQ(Call(c, formPath, "classn", {}).toString(), "TForm");
  EXPECT_EQ(FirstValue(CallBus(c, kFactory, kFactoryIntf, "ObjectCount")).toInt(), 4);

  for (const QString& p : {formPath, inet, main})
    EXPECT_EQ(CallBus(c, p, kObject, "Release").type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(NameOwned(c));  // sys still lives
  CallBus(c, sys, kObject, "Release");
  QElapsedTimer t;
  t.start();
  while (NameOwned(c) && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(NameOwned(c)) << "the program did not end after the last release";
  QDBusConnection::disconnectFromBus("program-client");
}

// Installed where the path holds characters that a shell or the service file's own
// escapes would take up, the program is still started by the bus from there.
TEST_F(Program, StartedFromAnOddlyNamedFolder) {
  const QString folder = QStringLiteral(ORVEL_BINARY_DIR "/tests/bus/odd $HOME \"q\" `x` \\d 'e'");
  const QString exe = folder + "/orvel";
  QDir(folder).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(folder));
  if (::link(QFile::encodeName(kOrvel).constData(), QFile::encodeName(exe).constData()) != 0) {
    ASSERT_TRUE(QFile::copy(kOrvel, exe));
  }
  QProcess reg;
  reg.start(exe, {"/REGSERVER"});
  ASSERT_TRUE(reg.waitForFinished(20000));
  ASSERT_EQ(reg.exitCode(), 0) << reg.readAllStandardError().toStdString();

  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "odd-client");
  const QDBusMessage made =
      CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.Inet")}, 30000);
  ASSERT_EQ(made.type(), QDBusMessage::ReplyMessage) << made.errorMessage().toStdString();
  const uint pid = c.interface()->servicePid(QStringLiteral("org.orvel.Workbench")).value();
  EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(), exe);
  CallBus(c, PathOf(made), kObject, "Release");
  EXPECT_TRUE(WaitNameGone(c));
  QDBusConnection::disconnectFromBus("odd-client");
  QDir(folder).removeRecursively();
  ASSERT_EQ(RunOrvel({"/REGSERVER"}).code, 0);  // the other cases start the built program
}

// An automation server ends when nothing is held for a client and no call came for a
// while, judged when the wait is over: one started for calls that create nothing
// ends too, and a client that creates again right after its last release keeps it.
TEST_F(Program, AutomationEndsWhenIdleNotBefore) {
  ASSERT_EQ(RunOrvel({"/REGSERVER"}).code, 0);
  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "idle-client");
  EXPECT_EQ(FirstValue(CallBus(c, kFactory, kFactoryIntf, "ObjectCount", {}, 30000)).toInt(), 0);
  EXPECT_TRUE(WaitNameGone(c)) << "the program did not end after a call that created nothing";

  for (int round = 0; round < 3; ++round) {
    const QString sys = PathOf(CallBus(c, kFactory, kFactoryIntf, "Create",
                                       {QStringLiteral("Project1.SupScript")}, 30000));
    ASSERT_FALSE(sys.isEmpty());
    ASSERT_EQ(CallBus(c, sys, kObject, "Release").type(), QDBusMessage::ReplyMessage);
    const QString again =
        PathOf(CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.Inet")}));
    ASSERT_FALSE(again.isEmpty());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(FirstValue(CallBus(c, again, kObject, "ClassName")).toString(), "Inet") << round;
    CallBus(c, again, kObject, "Release");
  }
  EXPECT_TRUE(WaitNameGone(c)) << "the program did not end after the last release";
  QDBusConnection::disconnectFromBus("idle-client");
}

// Objects made for a client that left before its reply (one that did not wait, one
// that gave up) are released, and the program ends.
TEST_F(Program, ObjectsOfClientsThatLeftAreReleased) {
  ASSERT_EQ(RunOrvel({"/REGSERVER"}).code, 0);
  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "left-client");
  QProcess send;
  send.start("dbus-send", {"--session", "--dest=org.orvel.Workbench", "/org/orvel/Workbench",
                           "org.orvel.Workbench.Factory.Create", "string:Project1.SupScript"});
  ASSERT_TRUE(send.waitForFinished(20000));
  ASSERT_TRUE(WaitNameOwned(c));
  EXPECT_TRUE(WaitNameGone(c)) << "the program did not end after a client that did not wait";

  const QString python = QStringLiteral("/usr/bin/python3");
  if (QProcess::execute(python, {"-c", "import dbus"}) != 0)
    GTEST_SKIP() << "python3-dbus is not installed";
  // The call wants a reply, but its client is gone before the server answers.
  const char* const gaveUp =
      "import dbus, dbus.lowlevel, os\n"
      "bus = dbus.bus.BusConnection(os.environ['DBUS_SESSION_BUS_ADDRESS'])\n"
      "for cls in ('Project1.SupScript', 'Project1.JObject'):\n"
      "    m = dbus.lowlevel.MethodCallMessage('org.orvel.Workbench', '/org/orvel/Workbench',\n"
      "                                        'org.orvel.Workbench.Factory', 'CreateDetached'\n"
      "                                        if cls == 'Project1.JObject' else 'Create')\n"
      "    m.append(cls, signature='s')\n"
      "    bus.send_message(m)\n"
      "bus.flush()\n"
      "bus.close()\n";
  QProcess py;
  py.start(python, {"-c", gaveUp});
  ASSERT_TRUE(py.waitForFinished(20000));
  EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
  ASSERT_TRUE(WaitNameOwned(c));
  EXPECT_TRUE(WaitNameGone(c)) << "the program did not end after a client that gave up";
  QDBusConnection::disconnectFromBus("left-client");
}

// A call of the largest size the bus carries is answered, and the server goes on
// answering the calls after it.
TEST_F(Program, LargeCallLeavesTheServerServing) {
  ASSERT_EQ(RunOrvel({"/REGSERVER"}).code, 0);
  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "large-client");
  const QString sys = PathOf(
      CallBus(c, kFactory, kFactoryIntf, "Create", {QStringLiteral("Project1.SupScript")}, 30000));
  ASSERT_FALSE(sys.isEmpty());
  const QString isys = QStringLiteral("org.orvel.Workbench.ISupScript");
  for (int mib : {64, 100}) {
    const QByteArray text(mib << 20, 'a');
    const QDBusMessage r = CallBus(c, sys, isys, "md5", {QString::fromLatin1(text)}, 60000);
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage)
        << mib << ": " << r.errorMessage().toStdString();
    EXPECT_EQ(FirstValue(r).toString().toLower(),
              QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex());
    const QDBusMessage after = CallBus(c, sys, isys, "md5", {QStringLiteral("abc")}, 5000);
    EXPECT_EQ(FirstValue(after).toString(), "900150983CD24FB0D6963F7D28E17F72")
        << mib << ": " << after.errorMessage().toStdString();
  }
  CallBus(c, sys, kObject, "Release");
  QElapsedTimer t;
  t.start();
  while (NameOwned(c) && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(NameOwned(c)) << "the program did not end after the last release";
  QDBusConnection::disconnectFromBus("large-client");
}

QString GuideBlock(const QString& language) {
  QFile guide(QStringLiteral(ORVEL_TEST_DATA "/../../docs/automation.md"));
  if (!guide.open(QIODevice::ReadOnly)) return QString();
  const QString text = QString::fromUtf8(guide.readAll());
  const QString fence = "```" + language + "\n";
  const int start = text.indexOf(fence);
  if (start < 0) return QString();
  const int end = text.indexOf("```", start + fence.size());
  return text.mid(start + fence.size(), end - start - fence.size());
}

// Runs the shell example as printed and checks that it prints what its comments say.
void RunShellExample(const QString& code, const char* when) {
  QStringList expected;
  for (const QString& line : code.split('\n'))
    if (line.startsWith("# (")) expected << line.mid(2);
  QProcess sh;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PATH", QStringLiteral(ORVEL_BINARY_DIR ":") + env.value("PATH"));
  sh.setProcessEnvironment(env);
  sh.start("bash", {"-c", code});
  ASSERT_TRUE(sh.waitForFinished(60000)) << when;
  EXPECT_EQ(sh.exitCode(), 0) << when;
  EXPECT_EQ(QString::fromUtf8(sh.readAllStandardError()).toStdString(), "") << when;
  EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()).toStdString(),
            (expected.join('\n') + '\n').toStdString())
      << when;
}

// The guide's examples, run as printed and in either order, each acting only on the
// objects it made: the shell example leaves the Python example's objects alone.
TEST_F(Program, GuideExamplesRunAsPrinted) {
  const QString shell = GuideBlock("sh");
  const QString code = GuideBlock("python");
  ASSERT_FALSE(shell.isEmpty());
  ASSERT_FALSE(code.isEmpty());
  RunShellExample(shell, "first");

  const QString python = QStringLiteral("/usr/bin/python3");
  if (QProcess::execute(python, {"-c", "import dbus"}) != 0)
    GTEST_SKIP() << "python3-dbus is not installed";
  QProcess p;
  p.start(python, {"-c", code});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << out.toStdString();
  EXPECT_TRUE(lines[0].split(',').contains("pyForm")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].split(',').contains("pyOK")) << lines[0].toStdString();
  EXPECT_EQ(lines[1],
            "org.orvel.Workbench.Error.Failed sleep: the time must not be negative (-1 ms)");

  QDBusConnection c =
      QDBusConnection::connectToBus(QString::fromStdString(TestBusAddress()), "python-client");
  const int count = FirstValue(CallBus(c, kFactory, kFactoryIntf, "ObjectCount")).toInt();
  EXPECT_GE(count, 4);
  RunShellExample(shell, "after the Python example");
  EXPECT_EQ(FirstValue(CallBus(c, kFactory, kFactoryIntf, "ObjectCount")).toInt(), count);

  // The Python example's objects are detached and keep the workbench running.
  const uint pid = c.interface()->servicePid(QStringLiteral("org.orvel.Workbench")).value();
  ASSERT_GT(pid, 0u);
  kill(static_cast<pid_t>(pid), SIGTERM);
  EXPECT_TRUE(WaitNameGone(c));
  QDBusConnection::disconnectFromBus("python-client");
}
