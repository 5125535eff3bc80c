#pragma once
// The object-call layer: variants with automation conversion rules, reference-counted
// objects dispatched by name and dispatch identifier through a static type library,
// the safe-call rule, class objects and creation by class identifier, and the start
// mode taken from the command line. No Qt, no engine: everything above builds on it.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SysUtils.h"

using HRESULT = int32_t;
using DISPID = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000F);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);

// Names as the automation runtime compares them: ASCII letters without regard to case.
bool SameText(std::string_view a, std::string_view b);

constexpr bool Failed(HRESULT hr) {
  return hr < 0;
}
constexpr bool Succeeded(HRESULT hr) {
  return hr >= 0;
}

// The system's own text for a status, as the runtime words it ("Type mismatch.").
std::string StatusMessage(HRESULT hr);

// Dispatch identifiers of the three interfaces, named once: the type library, the
// classes' member switches and the tests use these names, never the bare numbers.
namespace SupScriptDispId {
enum : DISPID {
  out = 201,
  listObj = 202,
  sleep = 203,
  listClassName = 204,
  path = 205,
  self = 206,
  md5 = 207,
  md5_file = 208,
  status = 209,
  fileLog = 210,
  log = 211,
  getObj = 212,
};
}  // namespace SupScriptDispId

namespace JObjectDispId {
enum : DISPID {
  listChildren = 201,
  self = 202,
  propGet = 203,
  listProp = 204,
  propSet = 205,
  propType = 206,
  propAllValues = 207,
  propParent = 208,
  classN = 209,
  fr = 210,
  nw = 211,
  cnt = 212,
  insert = 213,
  set = 214,
  add = 215,
  clear = 216,
  get = 217,
  setBounds = 218,
};
}  // namespace JObjectDispId

namespace InetDispId {
enum : DISPID {
  toString = 201,
  headers = 202,
  queryInfo = 203,
  toFile = 204,
  header = 205,
};
}  // namespace InetDispId

// Invoke flags.
constexpr uint16_t DISPATCH_METHOD = 0x1;
constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;
constexpr uint16_t DISPATCH_PROPERTYPUTREF = 0x8;

// ---------------------------------------------------------------------------------
// Exceptions. Every failure is a C++ exception with a message; the safe-call guard
// turns it into a status and error information.

// An OLE error carrying a status; a negative status passes through the safe-call rule.
class EOleSysError : public Exception {
 public:
  EOleSysError(const std::string& message, HRESULT code) : Exception(message), ErrorCode(code) {}
  HRESULT ErrorCode;
};

// The interface-cast error of a query for an interface that an object lacks.
class EIntfCastError : public Exception {
 public:
  EIntfCastError() : Exception("Interface not supported") {}
};

// ---------------------------------------------------------------------------------
// Reference counting.

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const ComPtr& o) const { return p_ == o.p_; }
  bool operator!=(const ComPtr& o) const { return p_ != o.p_; }

 private:
  T* p_ = nullptr;
};

class TAutoObject;
using IDispatchPtr = ComPtr<TAutoObject>;

// ---------------------------------------------------------------------------------
// Variants. Strings are UTF-8 inside the program; the engine converts at its boundary.

// Text in one block from malloc, built by appending, that the engine can take over whole
// instead of copying it (a page body of 100 MB). UTF-8 like every string here; a zero
// byte always follows the text.
class TOwnedText {
 public:
  TOwnedText() = default;
  ~TOwnedText();
  TOwnedText(const TOwnedText&) = delete;
  TOwnedText& operator=(const TOwnedText&) = delete;
  // Both throw std::bad_alloc.
  void Reserve(size_t capacity);
  void Append(const char* data, size_t size);
  const char* Data() const { return FData ? FData : ""; }
  size_t Size() const { return FSize; }
  bool IsAscii() const { return FAscii; }
  // The block (Size() bytes and a zero), now the caller's to free(); the text is empty.
  char* Release();

 private:
  char* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
  bool FAscii = true;
};

enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  I4 = 3,
  R8 = 5,
  BStr = 8,
  Dispatch = 9,
  Bool = 11,
  Variant = 12,  // a parameter of type VARIANT: taken as it comes
  UI4 = 19,
  Int = 22,
  Void = 24,  // a member without result
};

const char* VarTypeName(VarType t);

class Variant {
 public:
  Variant() = default;
  static Variant Null();
  // A script's own object (not a host object). It converts like its text, as the
  // object's default value does, but it is a reference, not a string: a member that
  // takes a handle refuses it instead of reading it as "none".
  static Variant ScriptObject(std::string text);
  bool IsScriptObject() const { return scriptObject_; }
  Variant(int32_t v) : type_(VarType::I4), i_(v) {}
  static Variant FromUI4(uint32_t v);
  static Variant FromInt(int32_t v);
  Variant(double v) : type_(VarType::R8), d_(v) {}
  Variant(bool v) : type_(VarType::Bool), b_(v) {}
  Variant(std::string v) : type_(VarType::BStr), s_(std::move(v)) {}
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(IDispatchPtr v);
  // A string kept as owned text; see OwnedText.
  explicit Variant(std::unique_ptr<TOwnedText> text);

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }

  // Raw access; valid only for the matching type.
  int32_t AsI4() const { return i_; }
  uint32_t AsUI4() const { return static_cast<uint32_t>(i_); }
  double AsR8() const { return d_; }
  bool AsBool() const { return b_; }
  const std::string& AsString() const {
    if (text_) TextToString();
    return s_;
  }
  // The owned text of a string variant that alone holds it, for the engine to take over
  // (after which the variant's string is empty); null otherwise.
  TOwnedText* OwnedText() const { return text_.use_count() == 1 ? text_.get() : nullptr; }
  const IDispatchPtr& AsDispatch() const { return disp_; }

  // Automation conversion (VariantChangeType rules). Returns S_OK, DISP_E_TYPEMISMATCH
  // or DISP_E_OVERFLOW; `out` is untouched on failure.
  HRESULT ChangeType(VarType to, Variant& out) const;
  // The same, throwing EOleSysError with the status's own message on failure.
  Variant ConvertTo(VarType to) const;
  int32_t ToInt32() const { return ConvertTo(VarType::I4).AsI4(); }
  uint32_t ToUInt32() const { return ConvertTo(VarType::UI4).AsUI4(); }
  double ToDouble() const { return ConvertTo(VarType::R8).AsR8(); }
  bool ToBool() const { return ConvertTo(VarType::Bool).AsBool(); }
  std::string ToString() const { return ConvertTo(VarType::BStr).AsString(); }

  bool operator==(const Variant& o) const;

 private:
  VarType type_ = VarType::Empty;
  int32_t i_ = 0;
  double d_ = 0;
  bool b_ = false;
  void TextToString() const;
  // An owned text moves into s_ when the string is first read as a string.
  mutable std::string s_;
  mutable std::shared_ptr<TOwnedText> text_;
  bool scriptObject_ = false;
  IDispatchPtr disp_;
};

// ---------------------------------------------------------------------------------
// The static type library.

enum class MemberKind { Method, PropertyGet, PropertyPut };

struct TParamInfo {
  const char* Name;  // "" for the unnamed value of a property put
  VarType Type;
  bool Optional = false;
  const char* Default = nullptr;  // recorded default of an optional parameter
};

struct TMemberInfo {
  int Slot;  // position in the interface after the seven IDispatch slots, from 1
  DISPID DispId;
  const char* Name;
  MemberKind Kind;
  std::vector<TParamInfo> Params;
  VarType Result;  // VarType::Void: none
  const char* ResultName = "res";
};

struct TInterfaceInfo {
  const char* Name;
  const char* IID;
  const char* HelpString;
  std::vector<TMemberInfo> Members;  // slot order
  // Member by dispatch identifier and kind; a get also matches a method. Null if none.
  const TMemberInfo* Find(DISPID id, MemberKind kind) const;
  // Dispatch identifier by name, case ignored; DISPID -1 if none.
  DISPID IdOfName(std::string_view name) const;
};

struct TCoClassInfo {
  const char* Name;
  const char* CLSID;
  const char* HelpString;  // also the class's description
  const TInterfaceInfo* DefaultInterface;
  const char* ImplementationClass;
  const char* ProgID;
};

struct TTypeLibInfo {
  const char* Name;
  const char* HelpString;
  const char* LIBID;
  int MajorVersion, MinorVersion;
  int Locale;
  std::vector<const TInterfaceInfo*> Interfaces;
  std::vector<const TCoClassInfo*> CoClasses;
  std::vector<const char*> TypeOrder;  // type names in library order
};

extern const TInterfaceInfo ISupScriptInfo;
extern const TInterfaceInfo IJObjectInfo;
extern const TInterfaceInfo IInetInfo;
extern const TCoClassInfo SupScriptClass;
extern const TCoClassInfo JObjectClass;
extern const TCoClassInfo InetClass;
extern const TTypeLibInfo Project1Library;

extern const char* const IID_IUnknown;
extern const char* const IID_IDispatch;

// ---------------------------------------------------------------------------------
// Automation objects.

struct TExcepInfo {
  std::string Source;
  std::string Description;
  uint32_t HelpContext = 0;
  HRESULT SCode = S_OK;
};

struct TInvokeResult {
  HRESULT Status = S_OK;
  Variant Value;
  TExcepInfo Excep;     // filled when Status is DISP_E_EXCEPTION
  unsigned ArgErr = 0;  // the failing argument (0-based) for a conversion failure
};

// Reference counted, dispatched through its class's default interface, counted in the
// live-object count. Created only through its class object (see TAutoObjectFactory).
class TAutoObject {
 public:
  TAutoObject(const TAutoObject&) = delete;
  TAutoObject& operator=(const TAutoObject&) = delete;

  uint32_t AddRef();
  uint32_t Release();
  uint32_t RefCount() const { return refs_; }

  const TCoClassInfo& ClassInfo() const { return cls_; }
  const TInterfaceInfo& Interface() const { return *cls_.DefaultInterface; }
  // IUnknown, IDispatch and the default interface.
  bool Supports(std::string_view iid) const;
  // A unique 32-bit serial per live object, the counterpart of an object address.
  uint32_t Serial() const { return serial_; }

  // IDispatch.
  uint32_t GetTypeInfoCount() const { return 1; }
  HRESULT GetTypeInfo(unsigned index, const TInterfaceInfo*& info) const;
  HRESULT GetIDsOfNames(std::string_view name, DISPID& id) const;
  // The standard invoke: member by identifier and kind, argument count, conversion to
  // the declared types, recorded defaults, then the member body under the safe-call
  // rule. `args` are in declaration order (not reversed as on the wire).
  TInvokeResult Invoke(DISPID id, uint16_t flags, const std::vector<Variant>& args);
  // Convenience for C++ callers: by name, throws EOleSysError (message = description
  // for a member failure, the status's own text otherwise).
  Variant Call(std::string_view name, const std::vector<Variant>& args = {},
               uint16_t flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET);

  // Destroys the object now, whatever its reference count (program-end teardown).
  static void DestroyObject(TAutoObject* obj);

 protected:
  explicit TAutoObject(const TCoClassInfo& cls);
  virtual ~TAutoObject();

  virtual void AfterConstruction() {}
  virtual void BeforeDestruction() {}
  // The member body. `args` are converted to the declared types, defaults filled in.
  // A member with a result sets `result`, which arrives empty. Throws on failure.
  virtual void CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                          Variant& result) = 0;

 private:
  friend class TAutoObjectFactory;
  const TCoClassInfo& cls_;
  uint32_t refs_ = 0;
  uint32_t serial_;
  bool destroying_ = false;
};

// The live object behind a serial, or null.
TAutoObject* ObjectBySerial(uint32_t serial);

// The default interface of `obj` as a counted reference, or EIntfCastError.
IDispatchPtr QueryInterface(TAutoObject* obj, std::string_view iid);

// What sys needs of the registry of named handles. The object bridge provides it at
// its start-up, so the services reach the registry without linking the bridge.
class IObjectDirectory {
 public:
  virtual ~IObjectDirectory() = default;
  // The registered names as delimited text, in registry order.
  virtual std::string ListObjectNames() = 0;
  // The handle registered under name (case ignored), or throws "Object not found: ".
  virtual IDispatchPtr GetRegisteredObject(const std::string& name) = 0;
};
void SetObjectDirectory(IObjectDirectory* directory);
IObjectDirectory* ObjectDirectory();  // null until the bridge has started

// Live objects of the three classes, whoever made them.
int ObjectCount();
// Called after each change of the count, with the new count, through a copy (so the
// handler may replace itself): keep any state outside it.
void SetObjectCountHandler(std::function<void(int)> handler);

// ---------------------------------------------------------------------------------
// Class objects and creation.

enum class TInstancing { ciMultiInstance };
enum class TThreadingModel { tmApartment };

class TAutoObjectFactory {
 public:
  using Constructor = TAutoObject* (*)();
  TAutoObjectFactory(const TCoClassInfo& cls, Constructor make);
  const TCoClassInfo& ClassInfo() const { return cls_; }
  const char* ClassName() const { return cls_.Name; }
  const char* Description() const { return cls_.HelpString; }
  const char* ErrorIID() const { return cls_.DefaultInterface->IID; }
  TInstancing Instancing() const { return TInstancing::ciMultiInstance; }
  TThreadingModel ThreadingModel() const { return TThreadingModel::tmApartment; }
  // A new object with AfterConstruction run, as a counted reference.
  IDispatchPtr CreateInstance() const;

 private:
  const TCoClassInfo& cls_;
  Constructor make_;
};

// Creates the class object of a coclass; the units call this at start-up, in the order
// JObject, SupScript, Inet. A second registration of the same class is ignored.
void RegisterClassObject(const TCoClassInfo& cls, TAutoObjectFactory::Constructor make);
// The class objects in creation order.
std::vector<const TAutoObjectFactory*> ClassObjects();
// Creation by class identifier (braced, case ignored) or program identifier.
// On failure `error`, when given, receives a message a person can act on: the
// constructor's own message where creation itself failed.
HRESULT CoCreateInstance(std::string_view clsidOrProgId, IDispatchPtr& out,
                         std::string* error = nullptr);

struct CoSupScript {
  static IDispatchPtr Create();
};
struct CoJObject {
  static IDispatchPtr Create();
};
struct CoInet {
  static IDispatchPtr Create();
};

// ---------------------------------------------------------------------------------
// Start mode from the command-line switches ("/" or "-", case ignored).

enum class TStartMode { smStandalone, smAutomation, smRegServer, smUnregServer };
TStartMode StartModeFromArgs(const std::vector<std::string>& args);
