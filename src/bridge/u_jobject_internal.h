#pragma once
// Shared between the files of the bridge unit; not for other folders.

#include <memory>
#include <string>

#include "TypInfo.h"
#include "u_jobject.h"

// Names compared as the registry compares them: case ignored, punctuation before
// digits before letters. Zero: the same name.
int CompareNames(const std::string& a, const std::string& b);

// ObjectRegistry. Adding a name that is present leaves the earlier entry.
TJObject* RegistryFind(const std::string& name);
void RegistryAdd(const std::string& name, TJObject* handle, bool lookupFirst);
void RegistryRemove(TJObject* handle);

// Where a name is or would go in the registry: one search serves the check before a
// new handle is made and the entry added after it, unless the registry changed between.
struct TRegistrySpot {
  TObjectRegistry::iterator At;
  uint64_t Changes = 0;
  TJObject* Found = nullptr;
};
TRegistrySpot RegistrySpotOf(const std::string& name);
void RegistryAddAt(const TRegistrySpot& spot, const std::string& name, TJObject* handle);

// TypeKindNames: kind name by number ("" outside the table), number by name (-1).
std::string TypeKindName(int kind);
int TypeKindByName(const std::string& name);

// The property descriptor of `PropName` on `obj`, through the class's cached list.
const TPropInfo* LookupProperty(TObject* obj, const std::string& PropName);
void ClearTypeRecCache();

// Adapter between one event property of one component and the script.
class TObjectEvent {
 public:
  TObjectEvent(TJObject* handle, const TPropInfo* prop, std::string sourceName)
      : FHandle(handle), FProp(prop), FSourceName(std::move(sourceName)) {}
  void HandleEvent(TObject* Sender);

  TJObject* FHandle;  // not counted; names the sender that no registered handle names
  const TPropInfo* FProp;
  std::string FScript;
  std::string FSourceName;  // "<handle>.<event>", so errors name the event's own text
  bool FAlive = true;       // false once the handle started to die
};

// Every "%1" replaced by `name`, left to right; inserted text is not searched again.
std::string ReplacePlaceholder(const std::string& script, const std::string& name);
