// Starts a private bus daemon for this test process before any bus connection exists,
// and stops it at the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bus_support.h"

namespace {

std::string g_address;
std::string g_dataHome;
std::string g_tempDir;
pid_t g_daemon = -1;

bool StartDaemon() {
  char templ[] = "/tmp/orvel-bus-XXXXXX";
  if (!mkdtemp(templ)) return false;
  g_tempDir = templ;
  g_dataHome = g_tempDir + "/data";
  const std::string services = g_dataHome + "/dbus-1/services";
  QDir().mkpath(QString::fromStdString(services));
  g_address = "unix:path=" + g_tempDir + "/bus";
  const std::string config = g_tempDir + "/session.conf";
  std::ofstream(config)
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n  <type>session</type>\n"
         // The limits of the distribution's session bus: calls of up to the protocol's
         // 128 MiB reach the server.
         "  <limit name=\"max_incoming_bytes\">1000000000</limit>\n"
         "  <limit name=\"max_outgoing_bytes\">1000000000</limit>\n"
         "  <limit name=\"max_message_size\">1000000000</limit>\n"
      << "  <listen>" << g_address << "</listen>\n"
      << "  <servicedir>" << services << "</servicedir>\n"
      << "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
         "  </policy>\n</busconfig>\n";

  // The bus passes its environment to the programs it activates.
  setenv("DBUS_SESSION_BUS_ADDRESS", g_address.c_str(), 1);
  setenv("XDG_DATA_HOME", g_dataHome.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  int fds[2];
  if (pipe(fds) != 0) return false;
  g_daemon = fork();
  if (g_daemon == 0) {
    dup2(fds[1], STDOUT_FILENO);
    // Its complaints about fd limits and reloads are noise in the test log.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
    close(fds[0]);
    close(fds[1]);
    const std::string arg = "--config-file=" + config;
    execlp("dbus-daemon", "dbus-daemon", arg.c_str(), "--nofork", "--print-address",
           (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  // The address line comes once the daemon listens.
  char buf[512];
  const ssize_t n = read(fds[0], buf, sizeof buf);
  close(fds[0]);
  return g_daemon > 0 && n > 0;
}

void StopDaemon() {
  if (g_daemon > 0) {
    kill(g_daemon, SIGTERM);
    waitpid(g_daemon, nullptr, 0);
  }
  if (!g_tempDir.empty()) QDir(QString::fromStdString(g_tempDir)).removeRecursively();
}

}  // namespace

const std::string& TestBusAddress() {
  return g_address;
}
const std::string& TestDataHome() {
  return g_dataHome;
}

QDBusMessage CallBus(QDBusConnection& conn, const QString& path, const QString& interface,
                     const QString& member, const QVariantList& args, int timeoutMs) {
  QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.orvel.Workbench"), path,
                                                  interface, member);
  m.setArguments(args);
  return conn.call(m, QDBus::BlockWithGui, timeoutMs);
}

QVariant FirstValue(const QDBusMessage& reply) {
  if (reply.arguments().isEmpty()) return QVariant();
  QVariant v = reply.arguments().first();
  while (v.userType() == qMetaTypeId<QDBusVariant>()) v = qvariant_cast<QDBusVariant>(v).variant();
  return v;
}

QString PathOf(const QDBusMessage& reply) {
  const QVariant v = FirstValue(reply);
  if (v.userType() != qMetaTypeId<QDBusObjectPath>()) return QString();
  return qvariant_cast<QDBusObjectPath>(v).path();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!StartDaemon()) {
    std::fprintf(stderr, "cannot start a private dbus-daemon\n");
    StopDaemon();
    return 1;
  }
  int status = 0;
  {
    QCoreApplication app(argc, argv);
    status = RUN_ALL_TESTS();
  }
  StopDaemon();
  return status;
}
