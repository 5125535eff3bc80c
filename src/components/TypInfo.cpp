// Generic property access by kind.

#include "TypInfo.h"

#include <cctype>

#include "ModelInternals.h"

namespace {

[[noreturn]] void WrongKind(const TPropInfo* p, const char* what) {
  throw EPropertyError("Property " + p->Name + " is not " + what);
}

bool IsOrdinalKind(TTypeKind k) {
  return k == tkInteger || k == tkChar || k == tkEnumeration || k == tkSet || k == tkWChar;
}

bool IsStringKind(TTypeKind k) {
  return k == tkString || k == tkLString || k == tkWString;
}

int64_t SetMask(const TTypeInfo* setType) {
  const TTypeInfo* e = setType->CompType;
  if (!e || e->MaxValue < 0) return 0;
  return e->MaxValue >= 62 ? -1 : (int64_t{1} << (e->MaxValue + 1)) - 1;
}

}  // namespace

const std::vector<const TPropInfo*>& GetPropList(TClass c) {
  return c->Properties();
}

const TPropInfo* GetPropInfo(TClass c, const std::string& name) {
  for (const TPropInfo* p : c->Properties())
    if (p->Name == name) return p;
  return nullptr;
}

std::string GetEnumName(const TTypeInfo* t, int64_t value) {
  if (!t) return {};
  if (t->Kind == tkEnumeration) {
    if (value < t->MinValue || value > t->MaxValue) return {};
    return t->NameList[static_cast<size_t>(value - t->MinValue)];
  }
  return std::to_string(value);
}

int64_t GetEnumValue(const TTypeInfo* t, const std::string& name) {
  if (!t || t->Kind != tkEnumeration) return -1;
  for (size_t i = 0; i < t->NameList.size(); ++i)
    if (SameText(t->NameList[i], name)) return t->MinValue + static_cast<int64_t>(i);
  return -1;
}

std::vector<std::string> GetTypeValueNames(const TTypeInfo* t) {
  if (t && t->Kind == tkSet) t = t->CompType;
  if (!t || t->Kind != tkEnumeration) return {};
  return t->NameList;
}

int64_t GetOrdProp(TObject* obj, const TPropInfo* p) {
  if (!IsOrdinalKind(p->PropType->Kind) || !p->GetOrd) WrongKind(p, "ordinal");
  return p->GetOrd(obj);
}

void SetOrdProp(TObject* obj, const TPropInfo* p, int64_t value) {
  const TTypeInfo* t = p->PropType;
  if (!IsOrdinalKind(t->Kind) || !p->SetOrd) WrongKind(p, "a writable ordinal");
  if (t->Kind == tkSet) {
    if (value & ~SetMask(t))
      throw EPropertyError("Value " + std::to_string(value) + " out of range for " + t->Name);
  } else if (value < t->MinValue || value > t->MaxValue) {
    // Narrow types would otherwise wrap silently (300 as a Byte is 44).
    throw EPropertyError("Value " + std::to_string(value) + " out of range for " + t->Name + " (" +
                         std::to_string(t->MinValue) + ".." + std::to_string(t->MaxValue) + ")");
  }
  p->SetOrd(obj, value);
}

double GetFloatProp(TObject* obj, const TPropInfo* p) {
  if (p->PropType->Kind == tkFloat && p->GetFloat) return p->GetFloat(obj);
  WrongKind(p, "a floating-point property");
}

void SetFloatProp(TObject* obj, const TPropInfo* p, double value) {
  if (p->PropType->Kind == tkFloat && p->SetFloat) return p->SetFloat(obj, value);
  WrongKind(p, "a floating-point property");
}

std::string GetStrProp(TObject* obj, const TPropInfo* p) {
  if (!IsStringKind(p->PropType->Kind) || !p->GetStr) WrongKind(p, "a string");
  return p->GetStr(obj);
}

void SetStrProp(TObject* obj, const TPropInfo* p, const std::string& value) {
  if (!IsStringKind(p->PropType->Kind) || !p->SetStr) WrongKind(p, "a writable string");
  p->SetStr(obj, value);
}

std::string GetEnumProp(TObject* obj, const TPropInfo* p) {
  if (p->PropType->Kind != tkEnumeration) WrongKind(p, "an enumeration");
  return GetEnumName(p->PropType, GetOrdProp(obj, p));
}

void SetEnumProp(TObject* obj, const TPropInfo* p, const std::string& value) {
  if (p->PropType->Kind != tkEnumeration) WrongKind(p, "an enumeration");
  const int64_t v = GetEnumValue(p->PropType, value);
  if (v < 0) throw EPropertyError("Invalid property element: " + value);
  SetOrdProp(obj, p, v);
}

std::string SetToString(const TTypeInfo* setType, int64_t bits) {
  std::string out;
  const TTypeInfo* e = setType ? setType->CompType : nullptr;
  if (!e) return out;
  for (int64_t v = e->MinValue; v <= e->MaxValue && v < 64; ++v) {
    if (!(bits & (int64_t{1} << v))) continue;
    if (!out.empty()) out += ',';
    out += GetEnumName(e, v);
  }
  return out;
}

int64_t StringToSet(const TTypeInfo* setType, const std::string& text) {
  const TTypeInfo* e = setType ? setType->CompType : nullptr;
  if (!e) throw EPropertyError("Not a set type");
  std::string s = text;
  size_t b = 0, n = s.size();
  while (b < n && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (n > b && std::isspace(static_cast<unsigned char>(s[n - 1]))) --n;
  s = s.substr(b, n - b);
  if (!s.empty() && s.front() == '[') s.erase(0, 1);
  if (!s.empty() && s.back() == ']') s.pop_back();
  int64_t bits = 0;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || std::isspace(static_cast<unsigned char>(s[i])))) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ',' && !std::isspace(static_cast<unsigned char>(s[j]))) ++j;
    if (j > i) {
      const std::string name = s.substr(i, j - i);
      const int64_t v = GetEnumValue(e, name);
      if (v < 0) throw EPropertyError("Invalid property element: " + name);
      bits |= int64_t{1} << v;
    }
    i = j;
  }
  return bits;
}

std::string GetSetProp(TObject* obj, const TPropInfo* p) {
  if (p->PropType->Kind != tkSet) WrongKind(p, "a set");
  return SetToString(p->PropType, GetOrdProp(obj, p));
}

void SetSetProp(TObject* obj, const TPropInfo* p, const std::string& value) {
  if (p->PropType->Kind != tkSet) WrongKind(p, "a set");
  SetOrdProp(obj, p, StringToSet(p->PropType, value));
}

TObject* GetObjectProp(TObject* obj, const TPropInfo* p) {
  if (p->PropType->Kind != tkClass || !p->GetObj) WrongKind(p, "an object reference");
  return p->GetObj(obj);
}

void SetMethodProp(TObject* obj, const TPropInfo* p, TNotifyEvent handler) {
  if (p->PropType->Kind != tkMethod) WrongKind(p, "an event");
  CastTo<TComponent>(obj)->SetEvent(p->Name, std::move(handler));
}

TNotifyEvent GetMethodProp(TObject* obj, const TPropInfo* p) {
  if (p->PropType->Kind != tkMethod) WrongKind(p, "an event");
  return CastTo<TComponent>(obj)->GetEvent(p->Name);
}
