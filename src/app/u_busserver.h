#pragma once
// The automation server on the D-Bus session bus: outside programs create the three
// classes by program or class identifier through the program's own class objects and
// call their members by name. Registration is a bus activation service file plus the
// interface descriptions in the user's data folder.

#include <functional>
#include <string>
#include <vector>

#include "Project1_TLB.h"

// Well-known bus name and the factory's object path; created objects live below
// ObjectPathPrefix, one path per object, named by its serial.
extern const char* const kBusName;           // "org.orvel.Workbench"
extern const char* const kFactoryPath;       // "/org/orvel/Workbench"
extern const char* const kFactoryInterface;  // "org.orvel.Workbench.Factory"
extern const char* const kObjectInterface;   // "org.orvel.Workbench.Object": generic calls
extern const char* const kObjectPathPrefix;  // "/org/orvel/Workbench/objects/"
// The bus interface of a dispatch interface: "org.orvel.Workbench." + its name.
std::string BusInterfaceName(const TInterfaceInfo& intf);

// Where registration writes: $XDG_DATA_HOME (or ~/.local/share) + "/dbus-1/services/
// org.orvel.Workbench.service" and "/dbus-1/interfaces/<bus interface>.xml".
std::string ServiceFilePath();
std::vector<std::string> InterfaceFilePaths();
// Introspection data of one object path (the factory or a live exported object).
std::string IntrospectionXml(const TInterfaceInfo* intf, bool factory);

bool RegisterAutomationServer(std::string& error);    // REGSERVER: write files
bool UnregisterAutomationServer(std::string& error);  // UNREGSERVER: remove them
// Rewrites the registration files (failure ignored, reported in `error`), takes the bus
// name and offers the class objects on the session bus. In automation mode a failure
// to reach the bus returns false; in normal mode nothing here is fatal.
bool StartAutomationServer(TStartMode mode, std::string& error);
// Releases every object that clients still hold and leaves the bus.
void StopAutomationServer();
void SetShowWorkbenchHandler(std::function<void()> show);  // a client asks for the window
// In automation mode the program ends once no object is held for a client and no call
// came for a short while; a window that a client showed while no client ever held
// objects stays for its user. The handler ends the program (by default the event loop
// quits).
void SetAutomationEndHandler(std::function<void()> end);
bool AutomationServerNeedsWindow();  // false in automation mode until asked

// Objects that bus clients hold now (each client holds an object at most once).
int ClientHeldObjectCount();
