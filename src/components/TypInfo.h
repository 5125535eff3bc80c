#pragma once

// Run-time type information of published properties: the type kinds, type data of
// enumerations and sets, the property tables of the classes and generic access by
// kind. No Qt here.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"

// The 18 type kinds, numbered as the bridge's kind table expects.
enum TTypeKind : int {
  tkUnknown = 0,
  tkInteger = 1,
  tkChar = 2,
  tkEnumeration = 3,
  tkFloat = 4,
  tkString = 5,
  tkSet = 6,
  tkClass = 7,
  tkMethod = 8,
  tkWChar = 9,
  tkLString = 10,
  tkWString = 11,
  tkVariant = 12,
  tkArray = 13,
  tkRecord = 14,
  tkInterface = 15,
  tkInt64 = 16,
  tkDynArray = 17,
};

struct TTypeInfo {
  TTypeKind Kind = tkUnknown;
  std::string Name;      // "Integer", "TAlign", "TNotifyEvent", ...
  int64_t MinValue = 0;  // ordinal range: integers, chars, enumerations
  int64_t MaxValue = 0;
  std::vector<std::string> NameList;    // enumeration: value names, MinValue first
  const TTypeInfo* CompType = nullptr;  // set: its element type
  TClass ClassType = nullptr;           // class: the model's class, when it has one
};

// A published property. The accessors are the model's; use the functions below.
struct TPropInfo {
  std::string Name;
  const TTypeInfo* PropType = nullptr;
  int Index = 0;    // position in its class's list
  int StoreId = 0;  // shared by every class that publishes the same definition
  std::function<int64_t(TObject*)> GetOrd;
  std::function<void(TObject*, int64_t)> SetOrd;
  std::function<double(TObject*)> GetFloat;
  std::function<void(TObject*, double)> SetFloat;
  std::function<std::string(TObject*)> GetStr;
  std::function<void(TObject*, const std::string&)> SetStr;
  std::function<TObject*(TObject*)> GetObj;
};

// Property list of a class (same as c->Properties()), and lookup by exact name.
const std::vector<const TPropInfo*>& GetPropList(TClass c);
const TPropInfo* GetPropInfo(TClass c, const std::string& name);  // null if none

// Names of an ordinal value: enumerations their value names, integer types the
// decimal number. Out of range: empty.
std::string GetEnumName(const TTypeInfo* t, int64_t value);
// Value by name, case ignored; -1 when the type has no such name.
int64_t GetEnumValue(const TTypeInfo* t, const std::string& name);
// All value names of an enumeration, or of a set's element type; empty otherwise.
std::vector<std::string> GetTypeValueNames(const TTypeInfo* t);
// The type records of the model by name ("TAlign", "TAnchors", ...); null if none.
const TTypeInfo* FindTypeInfo(const std::string& name);

// Generic access. A property of the wrong kind for the call throws EPropertyError;
// the object must be of a class that publishes the property.
int64_t GetOrdProp(TObject* obj, const TPropInfo* p);  // integer, char, enum, set bits
void SetOrdProp(TObject* obj, const TPropInfo* p, int64_t value);
double GetFloatProp(TObject* obj, const TPropInfo* p);
void SetFloatProp(TObject* obj, const TPropInfo* p, double value);
std::string GetStrProp(TObject* obj, const TPropInfo* p);  // string kinds
void SetStrProp(TObject* obj, const TPropInfo* p, const std::string& value);
// Enumerations by value name; unknown name: "Invalid property element: " + name.
std::string GetEnumProp(TObject* obj, const TPropInfo* p);
void SetEnumProp(TObject* obj, const TPropInfo* p, const std::string& value);
// Sets as member names joined by "," (no brackets, no blanks); written from names
// separated by commas or blanks, "[" "]" allowed, empty = empty set.
std::string GetSetProp(TObject* obj, const TPropInfo* p);
void SetSetProp(TObject* obj, const TPropInfo* p, const std::string& value);
std::string SetToString(const TTypeInfo* setType, int64_t bits);
int64_t StringToSet(const TTypeInfo* setType, const std::string& text);
// Class-typed properties; an unset reference reads as null.
TObject* GetObjectProp(TObject* obj, const TPropInfo* p);
// Event properties; only components have them. The handler is called with the
// component as Sender. An empty handler unbinds.
void SetMethodProp(TObject* obj, const TPropInfo* p, TNotifyEvent handler);
TNotifyEvent GetMethodProp(TObject* obj, const TPropInfo* p);
