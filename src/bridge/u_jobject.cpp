#include "u_jobject.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <unordered_map>

#include "Controls.h"
#include "Forms.h"
#include "u_jobject_internal.h"

namespace {

// Sorted by CompareNames, a name found and added in logarithmic time. The entries come
// from a pool, together instead of among the components' memory: a search touches
// fewer cache lines, and freeing thousands at once costs no work in the allocator. The
// pool is never freed, so the registry may still release entries at exit.
TObjectRegistry& Registry() {
  static auto* pool = new std::pmr::unsynchronized_pool_resource;
  static TObjectRegistry registry(pool);
  return registry;
}

// Counts additions and removals, so a spot found earlier knows whether it still holds.
uint64_t RegistryChanges = 0;

// Per name stem (case folded), the lowest number a generated name may still take, so
// generating names does not search from 1 each time.
std::unordered_map<std::string, int>& NameHints() {
  static std::unordered_map<std::string, int> hints;
  return hints;
}

std::string FoldStem(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A name of the generated form (stem + a number without leading zeros) that leaves
// the registry makes its number free again.
void NameFreed(const std::string& name) {
  if (NameHints().empty()) return;
  size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  const size_t count = name.size() - digits;
  if (count == 0 || count > 9 || name[digits] == '0') return;
  auto& hints = NameHints();
  auto it = hints.find(FoldStem(name.substr(0, digits)));
  if (it == hints.end()) return;
  const int n = std::stoi(name.substr(digits));
  if (n < it->second) it->second = n;
}

TComponent* RootOwnerComponent = nullptr;
int CurrentRun = 0;

int CharWeight(unsigned char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
  if (c >= 'a' && c <= 'z') return 0x300 + c;
  if (c >= '0' && c <= '9') return 0x200 + c;
  if (c >= 0x80) return 0x400 + c;
  return 0x100 + c;
}

// CharWeight of every byte, looked up: every registry search compares names.
struct TWeightTable {
  int W[256];
  TWeightTable() {
    for (int c = 0; c < 256; ++c) W[c] = CharWeight(static_cast<unsigned char>(c));
  }
};
const TWeightTable kWeights;

bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  auto letter = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (!letter(s[0])) return false;
  return std::all_of(s.begin() + 1, s.end(),
                     [&](unsigned char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

}  // namespace

bool TRegistryOrder::operator()(const std::string& a, const std::string& b) const {
  return CompareNames(a, b) < 0;
}

int CompareNames(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const int d =
        kWeights.W[static_cast<unsigned char>(a[i])] - kWeights.W[static_cast<unsigned char>(b[i])];
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

TJObject* RegistryFind(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

TRegistrySpot RegistrySpotOf(const std::string& name) {
  auto& reg = Registry();
  TRegistrySpot spot;
  spot.At = reg.lower_bound(name);
  spot.Changes = RegistryChanges;
  if (spot.At != reg.end() && CompareNames(spot.At->first, name) == 0) spot.Found = spot.At->second;
  return spot;
}

void RegistryAddAt(const TRegistrySpot& found, const std::string& name, TJObject* handle) {
  // Made while the handle was made, events may have added or removed names since.
  const TRegistrySpot spot = found.Changes == RegistryChanges ? found : RegistrySpotOf(name);
  if (spot.Found) return;
  ++RegistryChanges;
  const auto it = Registry().emplace_hint(spot.At, name, handle);
  if (!handle->FRegistered) {
    handle->FEntry = it;
    handle->FRegistered = true;
  }
}

void RegistryAdd(const std::string& name, TJObject* handle, bool lookupFirst) {
  if (lookupFirst) {
    RegistryAddAt(RegistrySpotOf(name), name, handle);
    return;
  }
  ++RegistryChanges;
  const auto it = Registry().emplace(name, handle);
  if (!handle->FRegistered) {
    handle->FEntry = it;
    handle->FRegistered = true;
  }
}

void RegistryRemove(TJObject* handle) {
  if (!handle->FRegistered) return;
  ++RegistryChanges;
  handle->FRegistered = false;
  Registry().erase(handle->FEntry);
  NameFreed(handle->Name());
}

// A new handle from the class object itself: what CoJObject::Create does, without
// finding the class by its identifier text each time.
IDispatchPtr NewHandle() {
  static const TAutoObjectFactory* factory = nullptr;
  if (!factory)
    for (const TAutoObjectFactory* f : ClassObjects())
      if (&f->ClassInfo() == &JObjectClass) factory = f;
  return factory ? factory->CreateInstance() : CoJObject::Create();
}

// The first stem + n (n = 1, 2, ...) that the registry does not hold, and its spot.
std::string GenerateName(const std::string& stem, TRegistrySpot& spot) {
  int& hint = NameHints().try_emplace(FoldStem(stem), 1).first->second;
  for (int n = std::max(hint, 1); n <= 10000000; ++n) {
    std::string candidate = stem + std::to_string(n);
    spot = RegistrySpotOf(candidate);
    if (!spot.Found) {
      hint = n + 1;
      return candidate;
    }
  }
  return std::string();
}

// ---------------------------------------------------------------------------------

TJObject::TJObject() : TAutoObject(JObjectClass) {}

TJObject::~TJObject() = default;

void TJObject::AfterConstruction() {
  FComponent.reset();
  FNotOwned = true;
  FParentHandle.reset();
  FName.clear();
  FEvents.clear();
}

void TJObject::BeforeDestruction() {
  // Leave the registry first: nothing met while the object is torn down (an event
  // sender, a parent lookup) may hand this dying handle out again.
  RegistryRemove(this);
  if (!FNotOwned) {
    // The adapters live on while the object goes, so its OnDestroy still runs.
    TObject* obj = FComponent.get();
    FComponent.reset();
    if (obj) obj->Free();
  }
  for (auto& [name, event] : FEvents) event->FAlive = false;
  // A component that lives on must not keep calling adapters of a dead handle.
  if (TObject* obj = FComponent.get()) {
    for (auto& [name, event] : FEvents) {
      try {
        SetMethodProp(obj, event->FProp, TNotifyEvent());
      } catch (...) {
        // Unbinding an event the component no longer publishes: nothing to undo.
      }
    }
  }
  FComponent.reset();
  ReleaseParentHandle(std::move(FParentHandle));
  FEvents.clear();
}

// Releasing a parent handle can end it and so release its own parent: a long chain
// is released in a loop here rather than one nested call per level.
void TJObject::ReleaseParentHandle(IDispatchPtr parent) {
  static std::vector<IDispatchPtr> pending;
  static bool releasing = false;
  if (!parent) return;
  pending.push_back(std::move(parent));
  if (releasing) return;
  releasing = true;
  while (!pending.empty()) {
    IDispatchPtr next = std::move(pending.back());
    pending.pop_back();
    next.reset();
  }
  releasing = false;
}

TJObject* TJObject::ParentHandle() const {
  return HandleOf(FParentHandle);
}

void TJObject::FailIfGone() const {
  if (FHadComponent && !FFreed && !FComponent)
    throw Exception("Object of " + FName + " no longer exists (destroyed with its owner)");
}

TObject* TJObject::LiveComponent() const {
  if (TObject* obj = FComponent.get()) return obj;
  FailIfGone();
  // A handle made by an outside client has no name yet.
  throw Exception(FName.empty() ? std::string("Handle holds no object")
                                : "Handle " + FName + " holds no object");
}

void TJObject::CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                          Variant& result) {
  // Objects that event handlers free during this call go once it is over.
  const TModelCall call;
  // Arguments arrive converted to their declared types: a string is taken as it is.
  auto str = [&](size_t i) {
    const Variant& v = args.at(i);
    return v.type() == VarType::BStr ? v.AsString() : v.ToString();
  };
  auto i4 = [&](size_t i) { return args.at(i).ToInt32(); };
  switch (member.DispId) {
    case JObjectDispId::listProp:
      result = listProp();
      break;
    case JObjectDispId::propGet:
      result = propGet(str(0));
      break;
    case JObjectDispId::propSet:
      propSet(str(0), args.at(1));
      break;
    case JObjectDispId::propType:
      result = propType(str(0));
      break;
    case JObjectDispId::propAllValues:
      result = propAllValues(str(0));
      break;
    case JObjectDispId::propParent:
      if (member.Kind == MemberKind::PropertyPut)
        setPropParent(args.at(0));
      else
        result = getPropParent();
      break;
    case JObjectDispId::self:
      result = Variant::FromUI4(self());
      break;
    case JObjectDispId::classN:
      result = classN();
      break;
    case JObjectDispId::fr:
      fr();
      break;
    case JObjectDispId::nw:
      result = nw(str(0), str(1), str(2));
      break;
    case JObjectDispId::listChildren:
      result = listChildren();
      break;
    case JObjectDispId::cnt:
      result = cnt();
      break;
    case JObjectDispId::get:
      result = get(i4(0));
      break;
    case JObjectDispId::set:
      set(i4(0), str(1));
      break;
    case JObjectDispId::add:
      add(str(0));
      break;
    case JObjectDispId::clear:
      clear();
      break;
    case JObjectDispId::setBounds:
      setBounds(i4(0), i4(1), i4(2), i4(3));
      break;
    case JObjectDispId::insert:
      insert(i4(0), str(1));
      break;
    default:
      throw Exception(std::string("not available: ") + member.Name);
  }
}

// ---------------------------------------------------------------------------------

std::string TJObject::classN() {
  return LiveComponent()->ClassName();
}

void TJObject::fr() {
  if (FNotOwned) return;
  TObject* obj = FComponent.get();
  if (!obj) return;
  // Emptied before the destruction: events fired while the object goes see no object.
  FComponent.reset();
  FNotOwned = true;
  FFreed = true;
  obj->Free();
}

Variant TJObject::nw(const std::string& className, const std::string& NameObj,
                     const std::string& Caption) {
  std::string name;
  TRegistrySpot spot;
  if (NameObj.empty()) {
    name = GenerateName(className.empty() ? std::string() : className.substr(1), spot);
  } else {
    spot = RegistrySpotOf(NameObj);
    if (spot.Found) throw Exception("Object with this name already exists: " + NameObj);
    if (!IsIdentifier(NameObj)) throw Exception("Invalid name: " + NameObj);
    name = NameObj;
  }

  IDispatchPtr ref = NewHandle();
  TJObject* n = HandleOf(ref);
  if (!n) throw Exception("JObject creation failed");

  TClass cls = FindRegisteredClass(className);

  // Owner: this handle's object; none once fr emptied it, gone if destroyed under it.
  FailIfGone();
  TObject* own = FComponent.get();
  TComponent* owner = nullptr;
  if (own) owner = CastTo<TComponent>(own);

  // A control made here goes into this handle's windowed control at once (below), so
  // its widget is made there from the start.
  const bool child =
      IsWinControl(own) && !own->Destroying() && cls->InheritsFrom(TControl::StaticClass());
  TObject* instance = nullptr;
  {
    const TNewControlParent inside(child ? static_cast<TWinControl*>(own) : nullptr);
    instance = cls->Create(owner);
  }
  n->FComponent = TWeakRef<TObject>(instance);
  n->FHadComponent = true;
  // Owned from the start, so a refused name below destroys the new component with
  // its handle instead of leaving it behind.
  n->FNotOwned = false;

  if (IsControl(instance) && IsWinControl(own)) {
    static_cast<TControl*>(instance)->SetParent(static_cast<TWinControl*>(own));
    n->FParentHandle = IDispatchPtr(this);
  }
  n->FName = name;
  n->FRun = FRun;
  // The caption goes on before the name: a control whose caption follows its name
  // would otherwise show the name first, only to have it replaced at once. The
  // outcome is the same either way, as the caption is never empty here.
  if (!Caption.empty()) {
    // As propType and propSet would: no such property fails, a type without a kind
    // name is skipped; one lookup serves both.
    const TPropInfo* p = LookupProperty(instance, "Caption");
    if (!TypeKindName(p->PropType->Kind).empty())
      n->SetProperty(instance, p, "Caption", Variant(Caption));
  }
  if (IsComponent(instance)) static_cast<TComponent*>(instance)->SetName(name);

  RegistryAddAt(spot, name, n);
  return Variant(std::move(ref));
}

Variant TJObject::getPropParent() {
  auto* control = CastTo<TControl>(LiveComponent());
  if (TWinControl* parent = control->Parent()) return Variant(FindHandle(parent, true));
  return Variant::Null();
}

void TJObject::setPropParent(const Variant& Value) {
  auto* control = CastTo<TControl>(LiveComponent());
  // A script's own object is a reference that is no handle, not a request for "none".
  if (Value.IsScriptObject()) throw EIntfCastError();
  IDispatchPtr old;
  if (Value.type() == VarType::Dispatch && Value.AsDispatch()) {
    IDispatchPtr p = QueryInterface(Value.AsDispatch().get(), IJObjectInfo.IID);
    TJObject* parentHandle = HandleOf(p);
    if (!parentHandle) throw EIntfCastError();
    auto* parent = CastTo<TWinControl>(parentHandle->LiveComponent());
    // Recorded only once the change is made, so a refused parent changes nothing.
    control->SetParent(parent);
    old = std::exchange(FParentHandle, p);
  } else {
    // Detach before the release: the old parent handle may be the last hold on a
    // form that owns this very control.
    control->SetParent(nullptr);
    old = std::move(FParentHandle);
    FParentHandle.reset();
  }
  old.reset();
}

std::string TJObject::listChildren() {
  FailIfGone();
  const auto entries = Registry();
  const size_t limit = entries.size() + 1;
  std::string out;
  for (const auto& [name, handle] : entries) {
    // Bounded walk: a cycle of parent handles ends instead of looping.
    TJObject* p = handle->ParentHandle();
    for (size_t steps = 0; p && steps < limit; ++steps) {
      if (p == this) {
        if (!out.empty()) out += ',';
        out += name;
        break;
      }
      p = p->ParentHandle();
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------

void InitJObjectUnit() {
  RegisterClassObject(JObjectClass, []() -> TAutoObject* { return new TJObject; });
  ClearTypeRecCache();
  for (auto& entry : Registry()) entry.second->FRegistered = false;
  Registry().clear();
  ++RegistryChanges;
  static TRegistryDirectory directory;
  SetObjectDirectory(&directory);
}

void FinalizeJObjectUnit() {
  FlushDeferredFrees();
  ClearTypeRecCache();
  auto& reg = Registry();
  {
    // Children hold counted references to their parents. Drop those links first
    // while every handle is held here, so that destroying one handle directly can
    // never leave another about to release it.
    std::vector<IDispatchPtr> keep;
    for (auto& entry : reg) keep.emplace_back(entry.second);
    std::vector<IDispatchPtr> parents;
    for (auto& entry : reg) parents.push_back(std::move(entry.second->FParentHandle));
    parents.clear();
    keep.clear();
  }
  {
    const TFreeBatch batch;
    while (!reg.empty()) TAutoObject::DestroyObject(reg.begin()->second);
  }
  for (auto& entry : reg) entry.second->FRegistered = false;
  reg.clear();
  ++RegistryChanges;
  FlushDeferredFrees();
}

void SetRootOwner(TComponent* owner) {
  RootOwnerComponent = owner;
}

void SetupMainObject(TJObject* handle) {
  if (!handle) throw Exception("No main object to set up");
  ++CurrentRun;
  auto& reg = Registry();
  for (auto it = reg.begin(); it != reg.end();) {
    TJObject* h = it->second;
    if (h->FRun == 0) {
      ++it;
      continue;
    }
    for (auto& [name, event] : h->FEvents) event->FAlive = false;
    h->FRegistered = false;
    it = reg.erase(it);
    ++RegistryChanges;
  }
  NameHints().clear();
  handle->FRun = CurrentRun;
  TObject* form = TForm::StaticClass()->Create(RootOwnerComponent);
  handle->FComponent = TWeakRef<TObject>(form);
  handle->FHadComponent = true;
  handle->FNotOwned = false;
  handle->FName = "main";
  RegistryAdd("main", handle, false);
}

TJObject* HandleOf(const IDispatchPtr& p) {
  return dynamic_cast<TJObject*>(p.get());
}

IDispatchPtr FindHandle(TObject* obj, bool mustExist) {
  if (obj) {
    for (const auto& entry : Registry())
      if (entry.second->Component() == obj) return IDispatchPtr(entry.second);
  }
  if (mustExist) throw Exception("Object not found");
  return nullptr;
}

IDispatchPtr WrapObject(TObject* obj, const std::string& name, int run) {
  if (IDispatchPtr existing = FindHandle(obj, false)) return existing;
  if (name.empty()) throw Exception("Name not determine");
  if (RegistryFind(name)) throw Exception("Name already exists: " + name);
  IDispatchPtr ref = CoJObject::Create();
  TJObject* h = HandleOf(ref);
  if (!h) throw Exception("JObject creation failed");
  h->FComponent = TWeakRef<TObject>(obj);
  h->FHadComponent = true;
  h->FNotOwned = true;
  h->FName = name;
  h->FRun = run;
  RegistryAdd(name, h, true);
  return ref;
}

TClass FindRegisteredClass(const std::string& name) {
  TClass c = FindClass(name);
  if (!c) throw Exception("Class unregistred: " + name);
  return c;
}

std::string ListObjectNames() {
  const auto& reg = Registry();
  if (reg.size() == 1 && reg.begin()->first.empty()) return "\"\"";
  std::string out;
  bool first = true;
  for (const auto& entry : reg) {
    if (!first) out += ',';
    first = false;
    const std::string& s = entry.first;
    const bool quote = std::any_of(s.begin(), s.end(),
                                   [](unsigned char c) { return c <= 32 || c == '"' || c == ','; });
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

IDispatchPtr GetRegisteredObject(const std::string& name) {
  TJObject* h = RegistryFind(name);
  if (!h) throw Exception("Object not found: " + name);
  return QueryInterface(h, IJObjectInfo.IID);
}
