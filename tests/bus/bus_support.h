#pragma once
// A private session bus for the tests, and small client helpers.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <string>

// The private bus of this test process: its address, data folder (XDG_DATA_HOME) and
// the folder the bus looks for activatable services in.
const std::string& TestBusAddress();
const std::string& TestDataHome();

// A method call that waits for its reply while the event loop runs, so a server in
// this same process can answer it.
QDBusMessage CallBus(QDBusConnection& conn, const QString& path, const QString& interface,
                     const QString& member, const QVariantList& args = {}, int timeoutMs = 10000);
// A reply's first value with any variant wrapping removed.
QVariant FirstValue(const QDBusMessage& reply);
// Object path of a reply (an "o" or a "v" holding one); empty if none.
QString PathOf(const QDBusMessage& reply);
