#pragma once

// Pieces shared by the model's own files; not for users of the model.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Classes.h"

#define ORVEL_IMPLEMENT_CLASS(Cls, Parent, Factory)                                    \
  TClass Cls::StaticClass() {                                                          \
    static const TClassInfo info(#Cls, Parent::StaticClass(), Factory);               \
    return &info;                                                                      \
  }                                                                                    \
  TClass Cls::ClassType() const { return StaticClass(); }

#define ORVEL_COMPONENT_FACTORY(Cls) [](TComponent* o) -> TObject* { return new Cls(o); }

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
    Values.push_back(Value{id});
    return Values.back();
  }
};

struct TEventTable {
  std::vector<std::pair<std::string, TNotifyEvent>> Handlers;
};

// Builds the published property list of a class (PropTables.cpp).
std::vector<const TPropInfo*> BuildPropertyList(TClass c);

// Text comparison as the model's lists do it: locale-aware, optionally ignoring case.
int CompareText(const std::string& a, const std::string& b);  // case ignored
int CompareStr(const std::string& a, const std::string& b);   // case counts
bool SameText(const std::string& a, const std::string& b);

// True while an event handler runs: widgets destroyed then are deleted later, since
// the toolkit may still be inside one of their signal emissions.
bool InsideEventHandler();
