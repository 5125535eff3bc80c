#pragma once
// Script handles on components of the model: the JObject class, the registry of named
// handles, property access through the published-property tables, event binding to
// script text, and the string-list and bounds members.

#include <cstdint>
#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <utility>
#include <vector>

#include "Classes.h"
#include "Project1_TLB.h"

class TJObject;
class TObjectEvent;

// ObjectRegistry's order: names compared case-insensitively, equal names kept in the
// order they came in. Plain pointers, no counts held. Its entries come from a pool of
// their own (see Registry()).
struct TRegistryOrder {
  bool operator()(const std::string& a, const std::string& b) const;
};
using TObjectRegistry = std::pmr::multimap<std::string, TJObject*, TRegistryOrder>;

// Event property name (case-sensitive, sorted) -> its adapter. The map is made on the
// first binding: most handles never bind an event, and an empty map still costs a
// handle as much as its name.
class TEventAdapters {
 public:
  using Map = std::map<std::string, std::shared_ptr<TObjectEvent>>;
  Map::iterator begin() { return FMap ? FMap->begin() : None().begin(); }
  Map::iterator end() { return FMap ? FMap->end() : None().end(); }
  Map::iterator find(const std::string& name) { return FMap ? FMap->find(name) : end(); }
  template <class... A>
  std::pair<Map::iterator, bool> emplace(A&&... args) {
    if (!FMap) FMap = std::make_unique<Map>();
    return FMap->emplace(std::forward<A>(args)...);
  }
  void clear() { FMap.reset(); }

 private:
  static Map& None() {
    static Map none;  // never written: stands in while no map is made
    return none;
  }
  std::unique_ptr<Map> FMap;
};

// One handle: stands for one object of the component model. The component is held
// weakly, so a handle whose component was destroyed behind its back never reaches it.
class TJObject final : public TAutoObject {
 public:
  TJObject();

  // The live object, or null (emptied by fr, or destroyed by its owner or parent).
  TObject* Component() const { return FComponent.get(); }
  const std::string& Name() const { return FName; }
  bool NotOwned() const { return FNotOwned; }
  TJObject* ParentHandle() const;

 protected:
  void AfterConstruction() override;
  void BeforeDestruction() override;
  void CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                  Variant& result) override;

 private:
  friend void SetupMainObject(TJObject* handle);
  friend IDispatchPtr WrapObject(TObject* obj, const std::string& name, int run);
  friend void InitJObjectUnit();
  friend void FinalizeJObjectUnit();
  friend class TObjectEvent;
  friend void RegistryAdd(const std::string& name, TJObject* handle, bool lookupFirst);
  friend void RegistryAddAt(const struct TRegistrySpot& spot, const std::string& name,
                            TJObject* handle);
  friend void RegistryRemove(TJObject* handle);
  ~TJObject() override;

  // The object, which must be alive; otherwise a message naming this handle.
  TObject* LiveComponent() const;
  // Fails only when the object was destroyed behind this handle's back.
  void FailIfGone() const;

  std::string listProp();
  Variant propGet(const std::string& PropName);
  void propSet(const std::string& PropName, const Variant& PropVal);
  // propSet's work once the property `p` of `obj` is found.
  void SetProperty(TObject* obj, const TPropInfo* p, const std::string& PropName,
                   const Variant& PropVal);
  std::string propType(const std::string& PropName);
  std::string propAllValues(const std::string& PropName);
  Variant getPropParent();
  void setPropParent(const Variant& Value);
  uint32_t self() const { return Serial(); }
  std::string classN();
  void fr();
  Variant nw(const std::string& className, const std::string& NameObj, const std::string& Caption);
  std::string listChildren();
  int32_t cnt();
  std::string get(int32_t idx);
  void set(int32_t idx, const std::string& item);
  void add(const std::string& item);
  void clear();
  void insert(int32_t idx, const std::string& item);
  void setBounds(int32_t left, int32_t top, int32_t width, int32_t height);

  static void ReleaseParentHandle(IDispatchPtr parent);
  TStrings* StringsOrFail();
  void BindEvent(const std::string& PropName, const std::string& TypeName,
                 const std::string& Script);

  TWeakRef<TObject> FComponent;
  bool FNotOwned = true;
  IDispatchPtr FParentHandle;
  std::string FName;
  TEventAdapters FEvents;
  // Whether an object was ever given, and whether fr emptied the handle on purpose:
  // together they tell an object destroyed behind the handle's back.
  bool FHadComponent = false;
  bool FFreed = false;
  // The run whose root this handle descends from (0: made by an outside client on
  // its own). A later run takes such handles out of the registry.
  int FRun = 0;
  // The handle's own registry entry, so that leaving takes no search.
  TObjectRegistry::iterator FEntry;
  bool FRegistered = false;
};

// Program start: class object of JObject, property cache, kind table, empty registry.
void InitJObjectUnit();
// Program end: every handle still registered is destroyed, whatever its count.
void FinalizeJObjectUnit();

// Owner of each run's root form (the main window's component, or a headless one).
void SetRootOwner(TComponent* owner);

// Gives the run's main handle its new blank root form and registers it as "main".
// Handles of earlier runs that outside clients still hold leave the registry first,
// so their names never collide with this run's, and their events run no more.
void SetupMainObject(TJObject* handle);

// The handle behind a reference, or null when it is no handle.
TJObject* HandleOf(const IDispatchPtr& p);

// The registered handle standing for `obj` (identity); null, or with mustExist
// "Object not found".
IDispatchPtr FindHandle(TObject* obj, bool mustExist);
// A handle on an existing object that it does not own, registered under `name`
// unless the object already has one.
IDispatchPtr WrapObject(TObject* obj, const std::string& name, int run = 0);
// The class of that name (case ignored) or "Class unregistred: " + name.
TClass FindRegisteredClass(const std::string& name);

// The registry names as delimited text, lookup by name.
std::string ListObjectNames();
IDispatchPtr GetRegisteredObject(const std::string& name);

// The registry as sys sees it (installed by InitJObjectUnit).
class TRegistryDirectory final : public IObjectDirectory {
 public:
  std::string ListObjectNames() override { return ::ListObjectNames(); }
  IDispatchPtr GetRegisteredObject(const std::string& name) override {
    return ::GetRegisteredObject(name);
  }
};
