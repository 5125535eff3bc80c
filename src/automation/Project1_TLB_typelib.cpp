// The static type library Project1: three dual interfaces and their coclasses.

#include "Project1_TLB.h"

namespace {

constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::PropertyGet;
constexpr MemberKind P = MemberKind::PropertyPut;
constexpr VarType Str = VarType::BStr;
constexpr VarType Var = VarType::Variant;
constexpr VarType None = VarType::Void;

}  // namespace

const char* const IID_IUnknown = "{00000000-0000-0000-C000-000000000046}";
const char* const IID_IDispatch = "{00020400-0000-0000-C000-000000000046}";

const TMemberInfo* TInterfaceInfo::Find(DISPID id, MemberKind kind) const {
  for (const TMemberInfo& m : Members) {
    if (m.DispId != id) continue;
    if (m.Kind == kind || (kind == MemberKind::PropertyGet && m.Kind == MemberKind::Method))
      return &m;
  }
  return nullptr;
}

DISPID TInterfaceInfo::IdOfName(std::string_view name) const {
  for (const TMemberInfo& m : Members)
    if (SameText(m.Name, name)) return m.DispId;
  return -1;
}

const TInterfaceInfo ISupScriptInfo{
    "ISupScript",
    "{3951D1AA-DEA3-4BF3-95FA-B04B58E4FBFD}",
    "Dispatch interface for SupScript Object",
    {
        {1, SupScriptDispId::out, "out", M, {{"msg", Str}}, None},
        {2, SupScriptDispId::sleep, "sleep", M, {{"millisec", VarType::I4}}, None},
        {3, SupScriptDispId::listClassName, "listClassName", M, {}, Str},
        {4, SupScriptDispId::listObj, "listObj", M, {}, Str},
        {5, SupScriptDispId::getObj, "getObj", M, {{"NameObj", Str}}, Var},
        {6, SupScriptDispId::path, "path", M, {}, Str},
        {7, SupScriptDispId::self, "self", M, {}, VarType::UI4},
        {8, SupScriptDispId::md5, "md5", M, {{"str", Str}}, Str},
        {9, SupScriptDispId::md5_file, "md5_file", M, {{"filename", Str}}, Str},
        {10, SupScriptDispId::status, "status", M, {{"str", Str}}, None},
        {11, SupScriptDispId::fileLog, "fileLog", G, {}, Str, "Value"},
        {12, SupScriptDispId::fileLog, "fileLog", P, {{"", Str}}, None},
        {13, SupScriptDispId::log, "log", M, {{"file", Str}, {"msg", Str}}, None},
    },
};

const TInterfaceInfo IJObjectInfo{
    "IJObject",
    "{2047D553-6E2A-4314-BDFD-4047CDBACA58}",
    "Dispatch interface for Control Object",
    {
        {1, JObjectDispId::listProp, "listProp", M, {}, Str},
        {2, JObjectDispId::propGet, "propGet", M, {{"PropName", Str}}, Var},
        {3, JObjectDispId::propSet, "propSet", M, {{"PropName", Str}, {"PropVal", Var}}, None},
        {4, JObjectDispId::propType, "propType", M, {{"PropName", Str}}, Str},
        {5, JObjectDispId::propAllValues, "propAllValues", M, {{"PropName", Str}}, Str},
        {6, JObjectDispId::propParent, "propParent", G, {}, Var, "Value"},
        {7, JObjectDispId::propParent, "propParent", P, {{"", Var}}, None},
        {8, JObjectDispId::self, "self", M, {}, VarType::UI4},
        {9, JObjectDispId::classN, "classN", M, {}, Str},
        {10, JObjectDispId::fr, "fr", M, {}, None},
        {11,
         JObjectDispId::nw,
         "nw",
         M,
         {{"className", Str}, {"NameObj", Str, true, ""}, {"Caption", Str, true, ""}},
         Var},
        {12, JObjectDispId::listChildren, "listChildren", M, {}, Str},
        {13, JObjectDispId::cnt, "cnt", M, {}, VarType::I4},
        {14, JObjectDispId::get, "get", M, {{"idx", VarType::I4}}, Str},
        {15, JObjectDispId::set, "set", M, {{"idx", VarType::I4}, {"item", Str}}, None},
        {16, JObjectDispId::add, "add", M, {{"item", Str}}, None},
        {17, JObjectDispId::clear, "clear", M, {}, None},
        {18,
         JObjectDispId::setBounds,
         "setBounds",
         M,
         {{"left", VarType::I4},
          {"top", VarType::I4},
          {"width", VarType::I4},
          {"height", VarType::I4}},
         None},
        {19, JObjectDispId::insert, "insert", M, {{"idx", VarType::I4}, {"item", Str}}, None},
    },
};

const TInterfaceInfo IInetInfo{
    "IInet",
    "{8C1B8A03-C170-447B-A838-60A62C9AF6B2}",
    "Dispatch interface for Inet Object",
    {
        {1, InetDispId::toString, "toString", M, {{"url", Str}}, Str},
        {2, InetDispId::headers, "headers", M, {{"url", Str}}, Str},
        {3,
         InetDispId::queryInfo,
         "queryInfo",
         M,
         {{"url", Str}, {"type_info", VarType::UI4}},
         Str},
        {4, InetDispId::toFile, "toFile", M, {{"url", Str}, {"filename", Str}}, VarType::Int},
        {5, InetDispId::header, "header", M, {{"url", Str}, {"param", Str}}, Str},
    },
};

const TCoClassInfo SupScriptClass{"SupScript",        "{2830F79B-7AC2-4118-842B-47B5C13F0C1A}",
                                  "SupScript Object", &ISupScriptInfo,
                                  "TSupScript",       "Project1.SupScript"};
const TCoClassInfo JObjectClass{"JObject",        "{8F85F3F9-B21F-46AC-B3E4-E3EA99EA3CD7}",
                                "JObject Object", &IJObjectInfo,
                                "TJObject",       "Project1.JObject"};
const TCoClassInfo InetClass{"Inet",        "{A98BD558-D151-4CCA-8AA5-9C45BF0FC5D6}",
                             "Inet Object", &IInetInfo,
                             "TInet",       "Project1.Inet"};

const TTypeLibInfo Project1Library{
    "Project1",
    "Project1 Library",
    "{6F7D48DF-7512-4DB3-A6FB-ABA22611F328}",
    1,
    0,
    0,
    {&ISupScriptInfo, &IJObjectInfo, &IInetInfo},
    {&SupScriptClass, &JObjectClass, &InetClass},
    {"ISupScript", "SupScript", "IJObject", "JObject", "IInet", "Inet"},
};
