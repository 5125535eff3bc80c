// Property access by name through the model's published-property tables.

#include <algorithm>
#include <cctype>
#include <map>

#include "u_jobject_internal.h"

namespace {

const char* const TypeKindNames[] = {
    "unknown", "integer", "char",   "enumeration", "float",   "string",
    "set",     "class",   "method", "wchar",       "lstring", "wstring",
    "variant", "array",   "record", "interface",   "int64",   "dynarray",
};
constexpr int TypeKindCount = sizeof(TypeKindNames) / sizeof(TypeKindNames[0]);

bool IEqual(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// One class's published properties, built once from the model and kept.
struct TTypeRec {
  std::string Name;
  std::vector<const TPropInfo*> PropList;
  int16_t PropCount = 0;
};

struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareNames(a, b) < 0;
  }
};

std::map<std::string, std::unique_ptr<TTypeRec>, NameLess>& TypeRecCache() {
  static std::map<std::string, std::unique_ptr<TTypeRec>, NameLess> cache;
  return cache;
}

// A class that scripts cannot create but whose objects the model hands out through a
// property and publishes properties for (a control's Constraints) is served too.
TClass ClassForProperties(TObject* obj) {
  const std::string& name = obj->ClassName();
  if (TClass c = FindClass(name)) return c;
  TClass own = obj->ClassType();
  if (!own->Properties().empty()) return own;
  return FindRegisteredClass(name);
}

// The record looked up last, by class: objects of one class come in runs.
TClass gLastClass = nullptr;
const TTypeRec* gLastRec = nullptr;

const TTypeRec& GetTypeRec(TObject* obj) {
  if (obj->ClassType() == gLastClass) return *gLastRec;
  auto& cache = TypeRecCache();
  const std::string& className = obj->ClassName();
  auto it = cache.find(className);
  if (it == cache.end()) {
    TClass cls = ClassForProperties(obj);
    auto rec = std::make_unique<TTypeRec>();
    rec->Name = className;
    rec->PropList = GetPropList(cls);
    rec->PropCount = static_cast<int16_t>(rec->PropList.size());
    it = cache.emplace(className, std::move(rec)).first;
  }
  gLastClass = obj->ClassType();
  gLastRec = it->second.get();
  return *gLastRec;
}

bool IsStringKind(TTypeKind k) {
  return k == tkString || k == tkLString || k == tkWString;
}

// Value names of an enumeration, or of a set's element type, lowest ordinal first;
// "[not enum]" for any other type (an integer's values have no names).
std::string ValueNames(const TTypeInfo* t) {
  if (t && t->Kind == tkSet) t = t->CompType;
  if (!t || t->Kind != tkEnumeration) return "[not enum]";
  std::string out;
  for (int64_t v = t->MinValue; v <= t->MaxValue; ++v) {
    if (v != t->MinValue) out += ',';
    out += GetEnumName(t, v);
  }
  return out;
}

}  // namespace

std::string TypeKindName(int kind) {
  return kind >= 0 && kind < TypeKindCount ? TypeKindNames[kind] : "";
}

int TypeKindByName(const std::string& name) {
  for (int i = 0; i < TypeKindCount; ++i)
    if (IEqual(name, TypeKindNames[i])) return i;
  return -1;
}

void ClearTypeRecCache() {
  gLastClass = nullptr;
  gLastRec = nullptr;
  TypeRecCache().clear();
}

const TPropInfo* LookupProperty(TObject* obj, const std::string& PropName) {
  const TTypeRec& rec = GetTypeRec(obj);
  for (const TPropInfo* p : rec.PropList)
    if (p->Name == PropName) return p;
  throw Exception("Property not found: " + PropName);
}

std::string TJObject::listProp() {
  const TTypeRec& rec = GetTypeRec(LiveComponent());
  size_t length = rec.PropList.empty() ? 0 : rec.PropList.size() - 1;
  for (const TPropInfo* p : rec.PropList) length += p->Name.size();
  std::string out;
  out.reserve(length);
  for (const TPropInfo* p : rec.PropList) {
    if (!out.empty()) out += ',';
    out += p->Name;
  }
  return out;
}

Variant TJObject::propGet(const std::string& PropName) {
  TObject* obj = LiveComponent();
  const TPropInfo* p = LookupProperty(obj, PropName);
  const TTypeKind kind = p->PropType->Kind;
  switch (kind) {
    case tkInteger:
      return Variant(static_cast<int32_t>(GetOrdProp(obj, p)));
    case tkEnumeration:
      return Variant(GetEnumProp(obj, p));
    case tkFloat:
      return Variant(GetFloatProp(obj, p));
    case tkSet:
      return Variant(GetSetProp(obj, p));
    case tkClass: {
      TObject* value = GetObjectProp(obj, p);
      if (!value) return Variant::Null();
      return Variant(WrapObject(value, FName + "." + PropName, FRun));
    }
    case tkMethod: {
      auto it = FEvents.find(PropName);
      return Variant(it == FEvents.end() ? std::string() : it->second->FScript);
    }
    default:
      if (IsStringKind(kind)) return Variant(GetStrProp(obj, p));
      return Variant("[not supported]");
  }
}

void TJObject::propSet(const std::string& PropName, const Variant& PropVal) {
  TObject* obj = LiveComponent();
  SetProperty(obj, LookupProperty(obj, PropName), PropName, PropVal);
}

void TJObject::SetProperty(TObject* obj, const TPropInfo* p, const std::string& PropName,
                           const Variant& PropVal) {
  const TTypeKind kind = p->PropType->Kind;
  switch (kind) {
    case tkInteger:
      SetOrdProp(obj, p, PropVal.ToInt32());
      return;
    case tkEnumeration:
      SetEnumProp(obj, p, PropVal.ToString());
      return;
    case tkFloat:
      SetFloatProp(obj, p, PropVal.ToDouble());
      return;
    case tkSet:
      SetSetProp(obj, p, PropVal.ToString());
      return;
    case tkMethod:
      BindEvent(PropName, p->PropType->Name, PropVal.ToString());
      return;
    default:
      if (IsStringKind(kind)) {
        SetStrProp(obj, p, PropVal.ToString());
        return;
      }
      throw Exception("Definition of property " + PropName + " not supported");
  }
}

std::string TJObject::propType(const std::string& PropName) {
  const TPropInfo* p = LookupProperty(LiveComponent(), PropName);
  const std::string kind = TypeKindName(p->PropType->Kind);
  if (kind.empty()) return "";
  return kind + "." + p->PropType->Name;
}

std::string TJObject::propAllValues(const std::string& PropName) {
  const size_t dot = PropName.find('.');
  if (dot == std::string::npos)
    return ValueNames(LookupProperty(LiveComponent(), PropName)->PropType);
  FailIfGone();
  const int kind = TypeKindByName(PropName.substr(0, dot));
  if (kind < 0) throw Exception("Type not defined: " + PropName);
  if (kind != tkEnumeration && kind != tkSet) return "[not enum]";
  // The model's own type records answer a named enumeration or set type.
  const TTypeInfo* t = FindTypeInfo(PropName.substr(dot + 1));
  if (!t || t->Kind != kind) throw Exception("Type not defined: " + PropName);
  return ValueNames(t);
}
