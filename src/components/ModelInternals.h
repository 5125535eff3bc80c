#pragma once

// Pieces shared by the model's own files; not for users of the model.

#include <cstdint>
#include <memory_resource>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Classes.h"

#define ORVEL_IMPLEMENT_CLASS(Cls, Parent, Factory)                     \
  TClass Cls::StaticClass() {                                           \
    static const TClassInfo info(#Cls, Parent::StaticClass(), Factory); \
    return &info;                                                       \
  }                                                                     \
  TClass Cls::ClassType() const {                                       \
    return StaticClass();                                               \
  }

#define ORVEL_COMPONENT_FACTORY(Cls) ([](TComponent* o) -> TObject* { return new Cls(o); })

// Values written to properties that have no behaviour beyond keeping them.
struct TPropStore {
  struct Value {
    int Id = 0;
    int64_t Ord = 0;
    double Float = 0;
    std::string Str;
  };
  std::vector<Value> Values;
  Value* Find(int id) {
    for (auto& v : Values)
      if (v.Id == id) return &v;
    return nullptr;
  }
  Value& Get(int id) {
    if (Value* v = Find(id)) return *v;
    Value& v = Values.emplace_back();
    v.Id = id;
    return v;
  }
};

// The parts of an object that few objects use (TObject::Extras).
struct TObjectExtras {
  std::vector<std::pair<int, std::function<void(TObject*)>>> FreeNotifications;
  int NextNotificationId = 1;
  TPropStore Store;
};

// Memory for the model's per-component bookkeeping (name index, widget map): pooled
// apart from the components and widgets, so a search touches fewer cache lines and
// freeing thousands at once costs no work in the allocator. Main thread only.
std::pmr::memory_resource* ModelPool();

// Case-folded name → owned component, so name checks stay fast on big forms.
struct TNameIndex {
  std::pmr::unordered_map<std::string, TComponent*> Map{ModelPool()};
};
std::string FoldName(const std::string& name);

struct TEventTable {
  std::vector<std::pair<std::string, TNotifyEvent>> Handlers;
};

// Removes the last element equal to x; searching from the end keeps destroying a
// long child list back to front linear.
template <class V, class T>
bool EraseLast(V& v, const T& x) {
  for (auto it = v.end(); it != v.begin();) {
    --it;
    if (*it == x) {
      v.erase(it);
      return true;
    }
  }
  return false;
}

// Frees `top` and everything that has to go before it, deepest first, so a chain of
// nested controls of any length costs no stack per level.
void FreeTree(TComponent* top);

// Builds the published property list of a class (PropTables.cpp).
std::vector<const TPropInfo*> BuildPropertyList(TClass c);

// Text comparison as the model's lists do it: locale-aware, optionally ignoring case.
int CompareText(const std::string& a, const std::string& b);  // case ignored
int CompareStr(const std::string& a, const std::string& b);   // case counts
bool SameText(const std::string& a, const std::string& b);

// True while an event handler runs: widgets destroyed then are deleted later, since
// the toolkit may still be inside one of their signal emissions.
bool InsideEventHandler();
