// Automation objects: reference counts, live-object count and serials, the standard
// invoke with the safe-call rule, class objects, creation and the start mode.

#include "Project1_TLB.h"

#include <map>
#include <memory>

namespace {

// Live objects by serial; the count of live objects is its size.
std::map<uint32_t, TAutoObject*>& LiveObjects() {
  static std::map<uint32_t, TAutoObject*> objects;
  return objects;
}

uint32_t g_nextSerial = 1;

std::function<void(int)>& CountHandler() {
  static std::function<void(int)> handler;
  return handler;
}

void NotifyCount() {
  // Copy: the handler may replace itself.
  if (auto handler = CountHandler()) handler(static_cast<int>(LiveObjects().size()));
}

std::vector<std::unique_ptr<TAutoObjectFactory>>& Factories() {
  static std::vector<std::unique_ptr<TAutoObjectFactory>> factories;
  return factories;
}

// The flag bit of a member's kind, as the caller's invoke flags spell it.
uint16_t KindFlag(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method:
      return DISPATCH_METHOD;
    case MemberKind::PropertyGet:
      return DISPATCH_PROPERTYGET;
    case MemberKind::PropertyPut:
      return DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  }
  return 0;
}

const TMemberInfo* FindForFlags(const TInterfaceInfo& intf, DISPID id, uint16_t flags) {
  // A property get also reaches a method of that identifier: scripts read "obj.path"
  // without parentheses.
  if (flags & DISPATCH_PROPERTYGET) flags |= DISPATCH_METHOD;
  for (const TMemberInfo& m : intf.Members)
    if (m.DispId == id && (KindFlag(m.Kind) & flags)) return &m;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------

TAutoObject::TAutoObject(const TCoClassInfo& cls) : cls_(cls) {
  auto& live = LiveObjects();
  if (g_nextSerial != 0 && (live.empty() || live.rbegin()->first < g_nextSerial)) {
    // Serials grow: until they wrap around, a new one is free and goes at the end.
    serial_ = g_nextSerial++;
    live.emplace_hint(live.end(), serial_, this);
  } else {
    // Serials are never 0 and never shared by two live objects, even after wrapping.
    while (g_nextSerial == 0 || live.count(g_nextSerial)) ++g_nextSerial;
    serial_ = g_nextSerial++;
    live[serial_] = this;
  }
  NotifyCount();
}

TAutoObject::~TAutoObject() {
  LiveObjects().erase(serial_);
  NotifyCount();
}

uint32_t TAutoObject::AddRef() {
  return ++refs_;
}

uint32_t TAutoObject::Release() {
  if (refs_ == 0) return 0;
  const uint32_t left = --refs_;
  if (left == 0 && !destroying_) DestroyObject(this);
  return left;
}

void TAutoObject::DestroyObject(TAutoObject* obj) {
  if (!obj || obj->destroying_) return;
  obj->destroying_ = true;
  // References taken and dropped during teardown must not start a second one.
  obj->refs_ += 1;
  obj->BeforeDestruction();
  delete obj;
}

bool TAutoObject::Supports(std::string_view iid) const {
  return SameText(iid, IID_IUnknown) || SameText(iid, IID_IDispatch) ||
         SameText(iid, Interface().IID);
}

HRESULT TAutoObject::GetTypeInfo(unsigned index, const TInterfaceInfo*& info) const {
  if (index != 0) {
    info = nullptr;
    return DISP_E_BADINDEX;
  }
  info = &Interface();
  return S_OK;
}

HRESULT TAutoObject::GetIDsOfNames(std::string_view name, DISPID& id) const {
  id = Interface().IdOfName(name);
  return id == -1 ? DISP_E_UNKNOWNNAME : S_OK;
}

TInvokeResult TAutoObject::Invoke(DISPID id, uint16_t flags, const std::vector<Variant>& args) {
  TInvokeResult r;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    flags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;

  const TMemberInfo* member = FindForFlags(Interface(), id, flags);
  if (!member) {
    r.Status = DISP_E_MEMBERNOTFOUND;
    return r;
  }

  size_t required = 0;
  for (const TParamInfo& p : member->Params)
    if (!p.Optional) ++required;
  if (args.size() < required || args.size() > member->Params.size()) {
    r.Status = DISP_E_BADPARAMCOUNT;
    return r;
  }

  std::vector<Variant> converted;
  converted.reserve(member->Params.size());
  for (size_t i = 0; i < member->Params.size(); ++i) {
    const TParamInfo& p = member->Params[i];
    if (i < args.size() && (args[i].type() == p.Type || p.Type == VarType::Variant)) {
      converted.push_back(args[i]);  // already of its type: one copy, no conversion
      continue;
    }
    const Variant defaulted(std::string(p.Default ? p.Default : ""));
    const Variant& given = i < args.size() ? args[i] : defaulted;
    Variant v;
    const HRESULT hr = given.ChangeType(p.Type, v);
    if (Failed(hr)) {
      r.Status = hr;
      r.ArgErr = static_cast<unsigned>(i);
      return r;
    }
    converted.push_back(std::move(v));
  }

  // The member body may drop the caller's last reference (a handle freeing itself);
  // the object stays alive until the call has returned.
  IDispatchPtr keepAlive(this);
  HRESULT status = S_OK;
  std::string message;
  try {
    // The member writes its result in place: one move fewer on every call.
    Variant& result = r.Value;
    CallMember(*member, converted, result);
    // A result of its declared type is moved as it is: a large body is not copied.
    if (member->Result != VarType::Void && member->Result != VarType::Variant &&
        result.type() != member->Result) {
      Variant typed;
      const HRESULT hr = result.ChangeType(member->Result, typed);
      if (Failed(hr)) throw EOleSysError(StatusMessage(hr), hr);
      result = std::move(typed);
    } else if (member->Result == VarType::Void) {
      result = Variant();
    }
  } catch (const EOleSysError& e) {
    status = e.ErrorCode < 0 ? e.ErrorCode : E_UNEXPECTED;
    message = e.what();
  } catch (const std::exception& e) {
    status = E_UNEXPECTED;
    message = e.what();
  } catch (...) {
    status = E_UNEXPECTED;
    message = StatusMessage(E_UNEXPECTED);
  }
  if (Failed(status)) {
    r.Status = DISP_E_EXCEPTION;
    r.Value = Variant();
    r.Excep.Source = cls_.ProgID;
    r.Excep.Description = message;
    r.Excep.HelpContext = 0;
    r.Excep.SCode = status;
  }
  return r;
}

Variant TAutoObject::Call(std::string_view name, const std::vector<Variant>& args, uint16_t flags) {
  DISPID id = -1;
  HRESULT hr = GetIDsOfNames(name, id);
  if (Failed(hr)) throw EOleSysError(StatusMessage(hr), hr);
  TInvokeResult r = Invoke(id, flags, args);
  if (r.Status == DISP_E_EXCEPTION) throw EOleSysError(r.Excep.Description, r.Excep.SCode);
  if (Failed(r.Status)) throw EOleSysError(StatusMessage(r.Status), r.Status);
  return std::move(r.Value);
}

TAutoObject* ObjectBySerial(uint32_t serial) {
  auto& live = LiveObjects();
  auto it = live.find(serial);
  return it == live.end() ? nullptr : it->second;
}

IDispatchPtr QueryInterface(TAutoObject* obj, std::string_view iid) {
  if (!obj || !obj->Supports(iid)) throw EIntfCastError();
  return IDispatchPtr(obj);
}

int ObjectCount() {
  return static_cast<int>(LiveObjects().size());
}

void SetObjectCountHandler(std::function<void(int)> handler) {
  CountHandler() = std::move(handler);
}

// ---------------------------------------------------------------------------------

TAutoObjectFactory::TAutoObjectFactory(const TCoClassInfo& cls, Constructor make)
    : cls_(cls), make_(make) {}

IDispatchPtr TAutoObjectFactory::CreateInstance() const {
  TAutoObject* obj = make_();
  if (!obj) throw EOleSysError(StatusMessage(E_UNEXPECTED), E_UNEXPECTED);
  IDispatchPtr ref(obj);
  // A failing AfterConstruction drops the only reference: the object is destroyed.
  obj->AfterConstruction();
  return ref;
}

void RegisterClassObject(const TCoClassInfo& cls, TAutoObjectFactory::Constructor make) {
  for (const auto& f : Factories())
    if (SameText(f->ClassInfo().CLSID, cls.CLSID)) return;
  Factories().push_back(std::make_unique<TAutoObjectFactory>(cls, make));
}

std::vector<const TAutoObjectFactory*> ClassObjects() {
  std::vector<const TAutoObjectFactory*> out;
  for (const auto& f : Factories()) out.push_back(f.get());
  return out;
}

HRESULT CoCreateInstance(std::string_view clsidOrProgId, IDispatchPtr& out, std::string* error) {
  const TAutoObjectFactory* factory = nullptr;
  const bool braced = !clsidOrProgId.empty() && clsidOrProgId.front() == '{';
  for (const auto& f : Factories()) {
    const char* key = braced ? f->ClassInfo().CLSID : f->ClassInfo().ProgID;
    if (SameText(clsidOrProgId, key)) {
      factory = f.get();
      break;
    }
  }
  if (!factory) {
    if (error) *error = StatusMessage(REGDB_E_CLASSNOTREG);
    return REGDB_E_CLASSNOTREG;
  }
  try {
    out = factory->CreateInstance();
    return S_OK;
  } catch (const EOleSysError& e) {
    if (error) *error = e.what();
    return e.ErrorCode < 0 ? e.ErrorCode : E_UNEXPECTED;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return E_UNEXPECTED;
  }
}

namespace {

IDispatchPtr CreateByClass(const TCoClassInfo& cls) {
  IDispatchPtr unknown;
  std::string error;
  const HRESULT hr = CoCreateInstance(cls.CLSID, unknown, &error);
  if (Failed(hr)) throw EOleSysError(error.empty() ? StatusMessage(hr) : error, hr);
  return QueryInterface(unknown.get(), cls.DefaultInterface->IID);
}

}  // namespace

IDispatchPtr CoSupScript::Create() {
  return CreateByClass(SupScriptClass);
}
IDispatchPtr CoJObject::Create() {
  return CreateByClass(JObjectClass);
}
IDispatchPtr CoInet::Create() {
  return CreateByClass(InetClass);
}

namespace {
IObjectDirectory* gObjectDirectory = nullptr;
}  // namespace

void SetObjectDirectory(IObjectDirectory* directory) {
  gObjectDirectory = directory;
}

IObjectDirectory* ObjectDirectory() {
  return gObjectDirectory;
}

// ---------------------------------------------------------------------------------

TStartMode StartModeFromArgs(const std::vector<std::string>& args) {
  auto has = [&](std::string_view name) {
    for (const std::string& a : args)
      if (a.size() > 1 && (a[0] == '/' || a[0] == '-') &&
          SameText(std::string_view(a).substr(1), name))
        return true;
    return false;
  };
  if (has("AUTOMATION") || has("EMBEDDING")) return TStartMode::smAutomation;
  if (has("REGSERVER")) return TStartMode::smRegServer;
  if (has("UNREGSERVER")) return TStartMode::smUnregServer;
  return TStartMode::smStandalone;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
