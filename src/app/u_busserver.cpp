// The automation server on the session bus. One virtual object serves the factory path
// and every object path below it, so members are dispatched from the type library
// through the same standard invoke that scripts use.

#include "u_busserver.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QSaveFile>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "MSScriptControl_TLB.h"

const char* const kBusName = "org.orvel.Workbench";
const char* const kFactoryPath = "/org/orvel/Workbench";
const char* const kFactoryInterface = "org.orvel.Workbench.Factory";
const char* const kObjectInterface = "org.orvel.Workbench.Object";
const char* const kObjectPathPrefix = "/org/orvel/Workbench/objects/";

namespace {

const char* const kErrorPrefix = "org.orvel.Workbench.Error.";
// How long an automation server with nothing held for clients waits for the next call
// before it ends (the bus starts it again on demand).
constexpr int kAutomationIdleMs = 2000;
// How often calls held back during a running statement look again.
constexpr int kDeferredRetryMs = 20;
const char* const kAnnotation = "org.orvel.Workbench.";
// The holder of objects made with CreateDetached and of everything reached through
// them: no client, so a shell's one-call clients can build on each other's results.
const QString kDetached;

// The protocol's largest message. A longer reply would make the bus drop the
// server's connection, so such a result is refused instead; the margin is the header.
constexpr size_t kMaxMessageBytes = 128u << 20;
constexpr size_t kMaxResultText = kMaxMessageBytes - (64u << 10);

// libdbus stops reading a connection while more than 63 MiB of received messages are
// alive, and turns reading back on from whichever thread frees the last of them.
// QtDBus can switch its socket notifier only from its own thread, so a large call
// freed on the user-interface thread left the server deaf for good. Calls are handled
// one at a time, so a limit of a few of the largest messages is never reached.
void RaiseReceiveLimit(const QDBusConnection& conn) {
  using SetMaxReceivedSize = void (*)(void*, long);
  static const auto set = reinterpret_cast<SetMaxReceivedSize>(
      QLibrary::resolve(QStringLiteral("dbus-1"), 3, "dbus_connection_set_max_received_size"));
  if (set && conn.internalPointer()) set(conn.internalPointer(), 8L * kMaxMessageBytes);
}

const char* Signature(VarType t) {
  switch (t) {
    case VarType::BStr:
      return "s";
    case VarType::I4:
    case VarType::Int:
      return "i";
    case VarType::UI4:
      return "u";
    case VarType::R8:
      return "d";
    case VarType::Bool:
      return "b";
    case VarType::Dispatch:
      return "o";
    default:
      return "v";
  }
}

// The bus method of a member: property halves become get_/put_ methods.
QString BusMethodName(const TMemberInfo& m) {
  switch (m.Kind) {
    case MemberKind::PropertyGet:
      return "get_" + QString::fromLatin1(m.Name);
    case MemberKind::PropertyPut:
      return "put_" + QString::fromLatin1(m.Name);
    case MemberKind::Method:
      break;
  }
  return QString::fromLatin1(m.Name);
}

QString Annotation(const char* name, const QString& value, const char* indent) {
  return QStringLiteral("%1<annotation name=\"%2%3\" value=\"%4\"/>\n")
      .arg(QLatin1String(indent), QLatin1String(kAnnotation), QLatin1String(name),
           value.toHtmlEscaped());
}

QString InterfaceXml(const TInterfaceInfo& intf) {
  QString x = QStringLiteral("  <interface name=\"%1\">\n")
                  .arg(QString::fromStdString(BusInterfaceName(intf)));
  x += Annotation("IID", QLatin1String(intf.IID), "    ");
  x += Annotation("HelpString", QLatin1String(intf.HelpString), "    ");
  for (const TCoClassInfo* c : Project1Library.CoClasses) {
    if (c->DefaultInterface != &intf) continue;
    x += Annotation("CoClass", QLatin1String(c->Name), "    ");
    x += Annotation("CLSID", QLatin1String(c->CLSID), "    ");
    x += Annotation("ProgID", QLatin1String(c->ProgID), "    ");
    x += Annotation("Description", QLatin1String(c->HelpString), "    ");
  }
  for (const TMemberInfo& m : intf.Members) {
    x += QStringLiteral("    <method name=\"%1\">\n").arg(BusMethodName(m));
    x += Annotation("DispId", QString::number(m.DispId), "      ");
    for (const TParamInfo& p : m.Params) {
      const QString name = *p.Name ? QLatin1String(p.Name) : QStringLiteral("Value");
      if (!p.Optional) {
        x += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"in\"/>\n")
                 .arg(name, QLatin1String(Signature(p.Type)));
        continue;
      }
      x += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"in\">\n")
               .arg(name, QLatin1String(Signature(p.Type)));
      x += Annotation("Optional", QLatin1String(p.Default ? p.Default : ""), "        ");
      x += QStringLiteral("      </arg>\n");
    }
    if (m.Result != VarType::Void)
      x += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"out\"/>\n")
               .arg(QLatin1String(m.ResultName), QLatin1String(Signature(m.Result)));
    x += QStringLiteral("    </method>\n");
  }
  x += QStringLiteral("  </interface>\n");
  return x;
}

QString ObjectInterfaceXml() {
  return QStringLiteral(
      "  <interface name=\"org.orvel.Workbench.Object\">\n"
      "    <method name=\"Call\">\n"
      "      <arg name=\"member\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"args\" type=\"av\" direction=\"in\"/>\n"
      "      <arg name=\"res\" type=\"v\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"PropertyGet\">\n"
      "      <arg name=\"member\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"res\" type=\"v\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"PropertyPut\">\n"
      "      <arg name=\"member\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"value\" type=\"v\" direction=\"in\"/>\n"
      "    </method>\n"
      "    <method name=\"ClassName\">\n"
      "      <arg name=\"res\" type=\"s\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"Release\"/>\n"
      "  </interface>\n");
}

QString FactoryInterfaceXml() {
  QString x = QStringLiteral("  <interface name=\"org.orvel.Workbench.Factory\">\n");
  const TTypeLibInfo& lib = Project1Library;
  x += Annotation("TypeLib", QLatin1String(lib.Name), "    ");
  x += Annotation("TypeLib.HelpString", QLatin1String(lib.HelpString), "    ");
  x += Annotation("TypeLib.LIBID", QLatin1String(lib.LIBID), "    ");
  x += Annotation("TypeLib.Version",
                  QStringLiteral("%1.%2").arg(lib.MajorVersion).arg(lib.MinorVersion), "    ");
  x += Annotation("TypeLib.Locale", QString::number(lib.Locale), "    ");
  QStringList order;
  for (const char* t : lib.TypeOrder) order << QLatin1String(t);
  x += Annotation("TypeLib.Types", order.join(' '), "    ");
  x += QStringLiteral(
      "    <method name=\"Create\">\n"
      "      <arg name=\"progIdOrClsid\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"object\" type=\"o\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"CreateDetached\">\n"
      "      <arg name=\"progIdOrClsid\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"object\" type=\"o\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"ObjectCount\">\n"
      "      <arg name=\"count\" type=\"i\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"ShowWorkbench\"/>\n"
      "  </interface>\n");
  return x;
}

const char* const kDocType =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n";

const char* const kIntrospectable =
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\">\n"
    "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
    "    </method>\n"
    "  </interface>\n";

QString DataHome() {
  QString home = qEnvironmentVariable("XDG_DATA_HOME");
  if (home.isEmpty() || !QDir::isAbsolutePath(home)) home = QDir::homePath() + "/.local/share";
  return home;
}

// Exec line of the service file. The bus reads the value in two layers: first as a
// desktop-file value (backslash escapes), then like a shell command line (quotes).
QString ExecLine(const QString& exe) {
  bool plain = !exe.isEmpty();
  for (QChar c : exe)
    if (!(c.isLetterOrNumber() || QStringLiteral("/._-+,@%=:").contains(c))) plain = false;
  QString quoted = exe;
  if (!plain) {
    quoted.replace('\\', "\\\\").replace('"', "\\\"").replace('$', "\\$").replace('`', "\\`");
    quoted = '"' + quoted + '"';
  }
  QString value;
  for (QChar c : quoted + " /AUTOMATION") {
    if (c == '\\')
      value += "\\\\";
    else if (c == '\n')
      value += "\\n";
    else if (c == '\t')
      value += "\\t";
    else if (c == '\r')
      value += "\\r";
    else
      value += c;
  }
  return value;
}

struct TRegistrationFile {
  QString path;
  QString content;
};

std::vector<TRegistrationFile> RegistrationFiles() {
  std::vector<TRegistrationFile> files;
  QString exe = QCoreApplication::applicationFilePath();
  if (exe.isEmpty()) exe = QStringLiteral("orvel");
  files.push_back({QString::fromStdString(ServiceFilePath()),
                   QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n")
                       .arg(QLatin1String(kBusName), ExecLine(exe))});
  const std::vector<std::string> paths = InterfaceFilePaths();
  const QString head = QLatin1String(kDocType) + QStringLiteral("<node>\n");
  const QString tail = QStringLiteral("</node>\n");
  files.push_back({QString::fromStdString(paths[0]), head + FactoryInterfaceXml() + tail});
  files.push_back({QString::fromStdString(paths[1]), head + ObjectInterfaceXml() + tail});
  for (size_t i = 0; i < Project1Library.Interfaces.size(); ++i)
    files.push_back({QString::fromStdString(paths[2 + i]),
                     head + InterfaceXml(*Project1Library.Interfaces[i]) + tail});
  return files;
}

bool WriteRegistrationFiles(std::string& error) {
  for (const TRegistrationFile& f : RegistrationFiles()) {
    const QString folder = QFileInfo(f.path).absolutePath();
    if (!QDir().mkpath(folder)) {
      error = "Cannot create the folder " + folder.toStdString();
      return false;
    }
    // Written to a temporary file and renamed: a failed write leaves the old file.
    QSaveFile out(f.path);
    if (!out.open(QIODevice::WriteOnly) || out.write(f.content.toUtf8()) < 0 || !out.commit()) {
      error = "Cannot write " + f.path.toStdString() + ": " + out.errorString().toStdString();
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------

class TBusServer final : public QDBusVirtualObject {
 public:
  TBusServer(TStartMode mode, const QDBusConnection& conn)
      : mode_(mode),
        conn_(conn),
        watcher_(QString(), conn, QDBusServiceWatcher::WatchForUnregistration) {
    QObject::connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                     [this](const QString& client) { ClientLeft(client); });
    idle_.setSingleShot(true);
    idle_.setInterval(kAutomationIdleMs);
    QObject::connect(&idle_, &QTimer::timeout, this, [this] { EndIfIdle(); });
    if (mode_ == TStartMode::smAutomation) idle_.start();
    deferredTimer_.setSingleShot(true);
    QObject::connect(&deferredTimer_, &QTimer::timeout, this, [this] { HandleDeferred(); });
  }
  ~TBusServer() override { ReleaseAll(); }

  TStartMode Mode() const { return mode_; }
  bool needsWindow = false;
  std::function<void()> showHandler;
  std::function<void()> endHandler;

  int HeldCount() const { return static_cast<int>(exported_.size()); }

  void ReleaseAll() {
    std::vector<IDispatchPtr> drop;
    for (auto& [serial, e] : exported_) drop.push_back(std::move(e.obj));
    exported_.clear();
    for (const QString& c : watcher_.watchedServices()) watcher_.removeWatchedService(c);
    drop.clear();  // last, as releasing may destroy windows and fire events
  }

  QString introspect(const QString& path) const override {
    // Qt asks for the interfaces of a path; children are listed in handleMessage.
    if (path == QLatin1String(kFactoryPath)) return FactoryInterfaceXml();
    if (const TExported* e = Lookup(path))
      return InterfaceXml(e->obj->Interface()) + ObjectInterfaceXml();
    return QString();
  }

  bool handleMessage(const QDBusMessage& msg, const QDBusConnection& conn) override {
    if (msg.type() != QDBusMessage::MethodCallMessage) return false;
    // The workbench answers its events while a statement runs (the engine's interrupt,
    // a sleep, a fetch's wait). A client's call then must not free or change what the
    // statement uses, so it is answered once no statement runs, in the order it came.
    if (StatementRunning() || (!draining_ && !deferred_.empty())) {
      deferred_.emplace_back(msg, conn);
      if (!deferredTimer_.isActive()) deferredTimer_.start(kDeferredRetryMs);
      return true;
    }
    // Any call is activity: an automation server waits a while after the last one.
    if (mode_ == TStartMode::smAutomation) idle_.start();
    const QString path = msg.path();
    const QString intf = msg.interface();
    const QString member = msg.member();

    if (intf == QLatin1String("org.freedesktop.DBus.Introspectable") &&
        member == QLatin1String("Introspect")) {
      conn.send(msg.createReply(IntrospectPath(path)));
      return true;
    }
    if (path == QLatin1String(kFactoryPath)) {
      if (!HandleFactory(msg, conn)) ReplyUnknown(msg, conn, {QLatin1String(kFactoryInterface)});
      return true;
    }

    TExported* e = Lookup(path);
    if (!e) {
      if (path.startsWith(QLatin1String(kObjectPathPrefix)) ||
          path + '/' == QLatin1String(kObjectPathPrefix)) {
        conn.send(msg.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                                       "No such object: " + path));
        return true;
      }
      return false;
    }
    // Kept across the call: a member or a Release may drop the exported entry.
    const IDispatchPtr obj = e->obj;
    const QString typed = QString::fromStdString(BusInterfaceName(obj->Interface()));
    if ((intf.isEmpty() || intf == QLatin1String(kObjectInterface)) &&
        HandleGeneric(obj, msg, conn))
      return true;
    if ((intf.isEmpty() || intf == typed) && HandleTyped(obj, msg, conn)) return true;
    ReplyUnknown(msg, conn, {QLatin1String(kObjectInterface), typed});
    return true;
  }

  // Hands `obj` to `client` (the holder; kDetached for none) in a reply to `caller`:
  // exported under its serial, held once per holder.
  QDBusObjectPath Export(const IDispatchPtr& obj, const QString& client, const QString& caller) {
    TExported& e = exported_[obj->Serial()];
    if (!e.obj) e.obj = obj;
    const bool newHold = e.holders.insert(client).second;
    if (newHold && !client.isEmpty() && !watcher_.watchedServices().contains(client)) {
      watcher_.addWatchedService(client);
      CheckClientStillThere(client, std::nullopt);
    } else if (newHold && client.isEmpty() && !caller.isEmpty()) {
      CheckClientStillThere(caller, obj->Serial());
    }
    HoldsChanged();
    return QDBusObjectPath(QString::fromLatin1(kObjectPathPrefix) + QString::number(obj->Serial()));
  }

 private:
  struct TExported {
    IDispatchPtr obj;
    std::set<QString> holders;
  };

  // Only the path that Export hands out names an object: "002" or "+2" is no path.
  TExported* Lookup(const QString& path) {
    if (!path.startsWith(QLatin1String(kObjectPathPrefix))) return nullptr;
    const QString tail = path.mid(int(strlen(kObjectPathPrefix)));
    bool ok = false;
    const uint serial = tail.toUInt(&ok);
    if (!ok || QString::number(serial) != tail) return nullptr;
    auto it = exported_.find(serial);
    return it == exported_.end() ? nullptr : &it->second;
  }
  const TExported* Lookup(const QString& path) const {
    return const_cast<TBusServer*>(this)->Lookup(path);
  }

  QString IntrospectPath(const QString& path) const {
    QString x =
        QLatin1String(kDocType) + QStringLiteral("<node>\n") + QLatin1String(kIntrospectable);
    const QString objects = QString::fromLatin1(kObjectPathPrefix).chopped(1);
    if (path == QLatin1String(kFactoryPath)) {
      x += FactoryInterfaceXml();
      x += QStringLiteral("  <node name=\"objects\"/>\n");
    } else if (path == objects) {
      for (const auto& [serial, e] : exported_)
        x += QStringLiteral("  <node name=\"%1\"/>\n").arg(serial);
    } else if (const TExported* e = Lookup(path)) {
      x += InterfaceXml(e->obj->Interface()) + ObjectInterfaceXml();
    }
    return x + QStringLiteral("</node>\n");
  }

  // False when `client` holds no hold on the object that it could give up.
  bool Release(const IDispatchPtr& obj, const QString& client) {
    auto it = exported_.find(obj->Serial());
    if (it == exported_.end() || it->second.obj != obj) return false;
    // The caller's own hold first; a detached object is released by whoever asks.
    if (!it->second.holders.erase(client) && !it->second.holders.erase(kDetached)) return false;
    if (!it->second.holders.empty()) return true;
    IDispatchPtr last = std::move(it->second.obj);
    exported_.erase(it);
    last.reset();
    HoldsChanged();
    return true;
  }

  void ClientLeft(const QString& client) {
    watcher_.removeWatchedService(client);
    std::vector<IDispatchPtr> drop;
    for (auto it = exported_.begin(); it != exported_.end();) {
      it->second.holders.erase(client);
      if (it->second.holders.empty()) {
        drop.push_back(std::move(it->second.obj));
        it = exported_.erase(it);
      } else {
        ++it;
      }
    }
    drop.clear();
    HoldsChanged();
  }

  // A client can leave between its call and the watch on it: the bus then never says
  // so, and what was made for it would be held for ever. Ask once after the watch, and
  // after each detached object handed out, which nobody else can know of if its caller
  // is gone.
  void CheckClientStillThere(const QString& client, std::optional<uint32_t> detached) {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << client;
    auto* pending = new QDBusPendingCallWatcher(conn_.asyncCall(ask), this);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, this,
                     [this, client, detached](QDBusPendingCallWatcher* w) {
                       const QDBusPendingReply<bool> there = *w;
                       w->deleteLater();
                       if (!there.isValid() || there.value()) return;
                       if (!detached) return ClientLeft(client);
                       auto it = exported_.find(*detached);
                       if (it == exported_.end()) return;
                       const IDispatchPtr obj = it->second.obj;  // Release erases the entry
                       Release(obj, kDetached);
                     });
  }

  void HoldsChanged() {
    if (!exported_.empty()) hadClientObjects_ = true;
    if (mode_ == TStartMode::smAutomation && exported_.empty()) idle_.start();
  }

  // Decided when the wait is over, not when the last hold went: a client may have
  // created something since. A window a client showed stays until its user closes it,
  // unless clients held objects, whose last release ends the program as ever.
  void EndIfIdle() {
    if (!exported_.empty() || (needsWindow && !hadClientObjects_)) return;
    if (endHandler)
      endHandler();
    else if (QCoreApplication::instance())
      QCoreApplication::exit(0);
  }

  static void ReplyUnknown(const QDBusMessage& msg, const QDBusConnection& conn,
                           const QStringList& own) {
    const QString intf = msg.interface();
    if (!intf.isEmpty() && intf != QLatin1String("org.freedesktop.DBus.Introspectable") &&
        !own.contains(intf)) {
      conn.send(
          msg.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                               QStringLiteral("No such interface %1 at %2").arg(intf, msg.path())));
      return;
    }
    QString where = msg.path();
    if (!intf.isEmpty()) where = intf + QStringLiteral(" at ") + where;
    conn.send(msg.createErrorReply(
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("No such method %1(%2) in %3").arg(msg.member(), msg.signature(), where)));
  }

  static QString ErrorName(HRESULT hr) {
    const char* name = "Error";
    switch (hr) {
      case DISP_E_EXCEPTION:
        name = "Failed";
        break;
      case DISP_E_BADPARAMCOUNT:
        name = "BadParamCount";
        break;
      case DISP_E_TYPEMISMATCH:
        name = "TypeMismatch";
        break;
      case DISP_E_OVERFLOW:
        name = "Overflow";
        break;
      case DISP_E_UNKNOWNNAME:
        name = "UnknownName";
        break;
      case DISP_E_MEMBERNOTFOUND:
        name = "MemberNotFound";
        break;
      case DISP_E_PARAMNOTOPTIONAL:
        name = "ParamNotOptional";
        break;
      case REGDB_E_CLASSNOTREG:
        name = "ClassNotRegistered";
        break;
      default:
        break;
    }
    return QLatin1String(kErrorPrefix) + QLatin1String(name);
  }

  static void ReplyError(const QDBusMessage& msg, const QDBusConnection& conn, HRESULT hr,
                         const std::string& text) {
    conn.send(msg.createErrorReply(ErrorName(hr), QString::fromStdString(text)));
  }

  static void InvalidArgs(const QDBusMessage& msg, const QDBusConnection& conn,
                          const QString& text) {
    conn.send(msg.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), text));
  }

  // A bus value as a variant; object paths name exported objects, "/" is no object and
  // an empty array is the empty value.
  bool FromBus(const QVariant& in, Variant& out, QString& error) {
    if (in.userType() == qMetaTypeId<QDBusVariant>())
      return FromBus(qvariant_cast<QDBusVariant>(in).variant(), out, error);
    if (in.userType() == qMetaTypeId<QDBusObjectPath>()) {
      const QString p = qvariant_cast<QDBusObjectPath>(in).path();
      if (p == QLatin1String("/")) {
        out = Variant(IDispatchPtr());
        return true;
      }
      if (TExported* e = Lookup(p)) {
        out = Variant(e->obj);
        return true;
      }
      error = "No such object: " + p;
      return false;
    }
    if (in.userType() == qMetaTypeId<QDBusArgument>()) {
      const QDBusArgument arg = qvariant_cast<QDBusArgument>(in);
      if (arg.currentType() == QDBusArgument::ArrayType) {
        // Its own cursor: reading ahead must not move the argument it came from.
        QDBusArgument copy = arg;  // NOLINT(performance-unnecessary-copy-initialization)
        copy.beginArray();
        const bool empty = copy.atEnd();
        if (empty) {
          out = Variant();
          return true;
        }
      }
      error = "Unsupported argument type: " + arg.currentSignature();
      return false;
    }
    switch (in.userType()) {
      case QMetaType::QString:
        out = Variant(in.toString().toStdString());
        return true;
      case QMetaType::Bool:
        out = Variant(in.toBool());
        return true;
      case QMetaType::Int:
      case QMetaType::Short:
      case QMetaType::UShort:
      case QMetaType::UChar:
        out = Variant(static_cast<int32_t>(in.toInt()));
        return true;
      case QMetaType::UInt:
        out = Variant::FromUI4(in.toUInt());
        return true;
      case QMetaType::Double:
        out = Variant(in.toDouble());
        return true;
      case QMetaType::LongLong: {
        const qlonglong v = in.toLongLong();
        out = (v >= INT32_MIN && v <= INT32_MAX) ? Variant(static_cast<int32_t>(v))
                                                 : Variant(static_cast<double>(v));
        return true;
      }
      case QMetaType::ULongLong: {
        const qulonglong v = in.toULongLong();
        out = v <= UINT32_MAX ? Variant::FromUI4(static_cast<uint32_t>(v))
                              : Variant(static_cast<double>(v));
        return true;
      }
      case QMetaType::QStringList:
        if (in.toStringList().isEmpty()) {
          out = Variant();
          return true;
        }
        break;
      case QMetaType::QVariantList:
        if (in.toList().isEmpty()) {
          out = Variant();
          return true;
        }
        break;
      default:
        break;
    }
    error = QStringLiteral("Unsupported argument type: ") +
            QLatin1String(in.typeName() ? in.typeName() : "?");
    return false;
  }

  QVariant ToBus(const Variant& v, const QString& client, const QString& caller) {
    switch (v.type()) {
      case VarType::I4:
      case VarType::Int:
        return QVariant(v.AsI4());
      case VarType::UI4:
        return QVariant(v.AsUI4());
      case VarType::R8:
        return QVariant(v.AsR8());
      case VarType::Bool:
        return QVariant(v.AsBool());
      case VarType::BStr:
        return QVariant(QString::fromStdString(v.AsString()));
      case VarType::Dispatch:
        if (!v.AsDispatch()) return QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
        return QVariant::fromValue(Export(v.AsDispatch(), client, caller));
      default:
        return QVariant::fromValue(QVariantList());  // empty and null
    }
  }

  // Runs the standard invoke and replies with the result as `resultType` ("v" wraps).
  void InvokeAndReply(const IDispatchPtr& obj, DISPID id, uint16_t flags,
                      const std::vector<Variant>& args, VarType resultType, const QDBusMessage& msg,
                      const QDBusConnection& conn) {
    // Handles reached through a detached object are detached too.
    QString client = msg.service();
    auto held = exported_.find(obj->Serial());
    if (held != exported_.end() && held->second.holders.count(kDetached)) client = kDetached;
    TInvokeResult r = obj->Invoke(id, flags, args);
    if (r.Status == DISP_E_EXCEPTION) return ReplyError(msg, conn, r.Status, r.Excep.Description);
    if (Failed(r.Status)) {
      std::string text = StatusMessage(r.Status);
      if (r.Status == DISP_E_TYPEMISMATCH || r.Status == DISP_E_OVERFLOW)
        text += " (argument " + std::to_string(r.ArgErr + 1) + ")";
      return ReplyError(msg, conn, r.Status, text);
    }
    if (resultType == VarType::Void) return void(conn.send(msg.createReply()));
    // Nobody will learn of a handle in a reply that is not wanted: hold nothing for it.
    if (!msg.isReplyRequired()) return;
    if (r.Value.type() == VarType::BStr && r.Value.AsString().size() > kMaxResultText) {
      conn.send(msg.createErrorReply(
          QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded"),
          QStringLiteral("The result is too large for the bus: %1 bytes (at most %2)")
              .arg(r.Value.AsString().size())
              .arg(kMaxResultText)));
      return;
    }
    QVariant value = ToBus(r.Value, client, msg.service());
    if (resultType == VarType::Variant) value = QVariant::fromValue(QDBusVariant(value));
    conn.send(msg.createReply(value));
  }

  bool ArgsFromBus(const QVariantList& in, int from, std::vector<Variant>& out,
                   const QDBusMessage& msg, const QDBusConnection& conn) {
    for (int i = from; i < in.size(); ++i) {
      Variant v;
      QString error;
      if (!FromBus(in[i], v, error)) {
        InvalidArgs(msg, conn, error);
        return false;
      }
      out.push_back(std::move(v));
    }
    return true;
  }

  bool HandleGeneric(const IDispatchPtr& obj, const QDBusMessage& msg,
                     const QDBusConnection& conn) {
    const QString member = msg.member();
    const QVariantList in = msg.arguments();
    if (member == QLatin1String("Release")) {
      if (Release(obj, msg.service()))
        conn.send(msg.createReply());
      else
        conn.send(msg.createErrorReply(
            QLatin1String(kErrorPrefix) + QStringLiteral("NotHeld"),
            QStringLiteral("Release: this client does not hold ") + msg.path()));
      return true;
    }
    if (member == QLatin1String("ClassName")) {
      conn.send(msg.createReply(QString::fromLatin1(obj->ClassInfo().Name)));
      return true;
    }
    uint16_t flags;
    if (member == QLatin1String("Call"))
      flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    else if (member == QLatin1String("PropertyGet"))
      flags = DISPATCH_PROPERTYGET;
    else if (member == QLatin1String("PropertyPut"))
      flags = DISPATCH_PROPERTYPUT;
    else
      return false;

    if (in.isEmpty() || in[0].userType() != QMetaType::QString) {
      InvalidArgs(msg, conn, member + " needs the member name first");
      return true;
    }
    std::vector<Variant> args;
    if (member == QLatin1String("Call")) {
      if (in.size() != 2) {
        InvalidArgs(msg, conn,
                    QStringLiteral("Call takes a member name and an array of arguments"));
        return true;
      }
      const QVariantList list = qdbus_cast<QVariantList>(in[1]);
      if (!ArgsFromBus(list, 0, args, msg, conn)) return true;
    } else if (!ArgsFromBus(in, 1, args, msg, conn)) {
      return true;
    }
    DISPID id = -1;
    const HRESULT hr = obj->GetIDsOfNames(in[0].toString().toStdString(), id);
    if (Failed(hr)) {
      ReplyError(msg, conn, hr, StatusMessage(hr) + " " + in[0].toString().toStdString());
      return true;
    }
    InvokeAndReply(obj, id, flags, args,
                   flags == DISPATCH_PROPERTYPUT ? VarType::Void : VarType::Variant, msg, conn);
    return true;
  }

  bool HandleTyped(const IDispatchPtr& obj, const QDBusMessage& msg, const QDBusConnection& conn) {
    const QString member = msg.member();
    for (const TMemberInfo& m : obj->Interface().Members) {
      if (member.compare(BusMethodName(m), Qt::CaseInsensitive) != 0) continue;
      std::vector<Variant> args;
      if (!ArgsFromBus(msg.arguments(), 0, args, msg, conn)) return true;
      const uint16_t flags = m.Kind == MemberKind::Method        ? DISPATCH_METHOD
                             : m.Kind == MemberKind::PropertyGet ? DISPATCH_PROPERTYGET
                                                                 : DISPATCH_PROPERTYPUT;
      InvokeAndReply(obj, m.DispId, flags, args, m.Result, msg, conn);
      return true;
    }
    return false;
  }

  bool HandleFactory(const QDBusMessage& msg, const QDBusConnection& conn) {
    const QString intf = msg.interface();
    if (!intf.isEmpty() && intf != QLatin1String(kFactoryInterface)) return false;
    const QString member = msg.member();
    const QVariantList in = msg.arguments();
    if (member == QLatin1String("Create") || member == QLatin1String("CreateDetached")) {
      if (in.size() != 1 || in[0].userType() != QMetaType::QString) {
        InvalidArgs(msg, conn, member + " takes a program or class identifier");
        return true;
      }
      const std::string name = in[0].toString().toStdString();
      IDispatchPtr obj;
      std::string error;
      const HRESULT hr = CoCreateInstance(name, obj, &error);
      if (Failed(hr)) {
        if (hr == REGDB_E_CLASSNOTREG) error = StatusMessage(hr) + ": " + name;
        ReplyError(msg, conn, hr, error);
        return true;
      }
      if (!msg.isReplyRequired()) return true;  // its caller cannot learn the path
      const QString holder = member == QLatin1String("Create") ? msg.service() : kDetached;
      conn.send(msg.createReply(QVariant::fromValue(Export(obj, holder, msg.service()))));
      return true;
    }
    if (member == QLatin1String("ObjectCount")) {
      conn.send(msg.createReply(ObjectCount()));
      return true;
    }
    if (member == QLatin1String("ShowWorkbench")) {
      needsWindow = true;
      if (showHandler) showHandler();
      conn.send(msg.createReply());
      return true;
    }
    return false;
  }

  static bool StatementRunning() {
    return (ScriptCtrl && ScriptCtrl->Depth() > 0) || InsideScriptInterrupt();
  }

  void HandleDeferred() {
    while (!deferred_.empty()) {
      if (StatementRunning()) {
        deferredTimer_.start(kDeferredRetryMs);
        return;
      }
      auto [msg, conn] = std::move(deferred_.front());
      deferred_.pop_front();
      draining_ = true;
      const bool handled = handleMessage(msg, conn);
      draining_ = false;
      if (!handled)
        conn.send(msg.createErrorReply(QDBusError::UnknownObject, "No such object: " + msg.path()));
    }
  }

  TStartMode mode_;
  QDBusConnection conn_;
  QDBusServiceWatcher watcher_;
  std::map<uint32_t, TExported> exported_;
  QTimer idle_;
  std::deque<std::pair<QDBusMessage, QDBusConnection>> deferred_;
  QTimer deferredTimer_;
  bool draining_ = false;
  bool hadClientObjects_ = false;
};

std::unique_ptr<TBusServer> g_server;
std::function<void()> g_showHandler;
std::function<void()> g_endHandler;
bool g_needsWindow = false;

}  // namespace

std::string BusInterfaceName(const TInterfaceInfo& intf) {
  return std::string("org.orvel.Workbench.") + intf.Name;
}

std::string ServiceFilePath() {
  return (DataHome() + "/dbus-1/services/" + QLatin1String(kBusName) + ".service").toStdString();
}

std::vector<std::string> InterfaceFilePaths() {
  const QString folder = DataHome() + "/dbus-1/interfaces/";
  std::vector<std::string> paths{(folder + QLatin1String(kFactoryInterface) + ".xml").toStdString(),
                                 (folder + QLatin1String(kObjectInterface) + ".xml").toStdString()};
  for (const TInterfaceInfo* intf : Project1Library.Interfaces)
    paths.push_back(
        (folder + QString::fromStdString(BusInterfaceName(*intf)) + ".xml").toStdString());
  return paths;
}

std::string IntrospectionXml(const TInterfaceInfo* intf, bool factory) {
  QString x = QLatin1String(kDocType) + QStringLiteral("<node>\n");
  if (factory) x += FactoryInterfaceXml();
  if (intf) x += InterfaceXml(*intf) + ObjectInterfaceXml();
  return (x + QStringLiteral("</node>\n")).toStdString();
}

bool RegisterAutomationServer(std::string& error) {
  return WriteRegistrationFiles(error);
}

bool UnregisterAutomationServer(std::string& error) {
  for (const TRegistrationFile& f : RegistrationFiles()) {
    QFile file(f.path);
    if (file.exists() && !file.remove()) {
      error = "Cannot remove " + f.path.toStdString() + ": " + file.errorString().toStdString();
      return false;
    }
  }
  return true;
}

bool StartAutomationServer(TStartMode mode, std::string& error) {
  StopAutomationServer();
  error.clear();
  g_needsWindow = mode != TStartMode::smAutomation;
  std::string writeError;
  WriteRegistrationFiles(writeError);  // a normal start keeps going without them

  QDBusConnection conn = QDBusConnection::sessionBus();
  if (!conn.isConnected()) {
    error = "Cannot reach the session bus: " + conn.lastError().message().toStdString();
    return false;
  }
  RaiseReceiveLimit(conn);
  auto server = std::make_unique<TBusServer>(mode, conn);
  if (!conn.registerVirtualObject(QLatin1String(kFactoryPath), server.get(),
                                  QDBusConnection::SubPath)) {
    error = std::string("Cannot offer the objects at ") + kFactoryPath +
            ": another server holds the path";
    return false;
  }
  if (!conn.registerService(QLatin1String(kBusName))) {
    conn.unregisterObject(QLatin1String(kFactoryPath), QDBusConnection::UnregisterTree);
    const QString why = conn.lastError().message();
    error = std::string("Cannot take the bus name ") + kBusName + ": " +
            (why.isEmpty() ? std::string("another workbench holds it") : why.toStdString());
    return false;
  }
  server->showHandler = g_showHandler;
  server->endHandler = g_endHandler;
  server->needsWindow = g_needsWindow;
  g_server = std::move(server);
  if (!writeError.empty()) error = writeError;
  return true;
}

void StopAutomationServer() {
  if (!g_server) return;
  std::unique_ptr<TBusServer> server = std::move(g_server);
  server->ReleaseAll();
  QDBusConnection conn = QDBusConnection::sessionBus();
  conn.unregisterObject(QLatin1String(kFactoryPath), QDBusConnection::UnregisterTree);
  // A blocking round trip to the bus: replies sent before it are on their way out.
  conn.unregisterService(QLatin1String(kBusName));
}

void SetShowWorkbenchHandler(std::function<void()> show) {
  g_showHandler = std::move(show);
  if (g_server) g_server->showHandler = g_showHandler;
}

void SetAutomationEndHandler(std::function<void()> end) {
  g_endHandler = std::move(end);
  if (g_server) g_server->endHandler = g_endHandler;
}

bool AutomationServerNeedsWindow() {
  return g_server ? g_server->needsWindow : g_needsWindow;
}

int ClientHeldObjectCount() {
  return g_server ? g_server->HeldCount() : 0;
}
