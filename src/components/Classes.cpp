#include "Classes.h"

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cctype>
#include <unordered_set>
#include <vector>

#include "ModelInternals.h"
#include "TypInfo.h"

namespace {
int gEventDepth = 0;
int gCallDepth = 0;
int gBatchDepth = 0;
bool gFlushing = false;
bool gFlushPosted = false;
std::vector<TWeakRef<TObject>> gDeferredFrees;

void PostFlush() {
  QCoreApplication* app = QCoreApplication::instance();
  if (gFlushPosted || !app) return;
  gFlushPosted = true;
  QMetaObject::invokeMethod(
      app,
      [] {
        gFlushPosted = false;
        FlushDeferredFrees();
      },
      Qt::QueuedConnection);
}
}  // namespace

TFreeBatch::TFreeBatch(size_t expected) {
  if (gBatchDepth++ == 0) gDeferredFrees.reserve(gDeferredFrees.size() + expected);
}

TFreeBatch::~TFreeBatch() {
  if (--gBatchDepth > 0) return;
  FlushDeferredFrees();
  if (gDeferredFrees.empty()) return;
  // Closed inside a handler or a call: the loop finishes the work, and until then
  // the waiting components give their names free, as such frees do.
  for (const TWeakRef<TObject>& next : gDeferredFrees)
    if (TObject* obj = next.get()) obj->DestructionDeferred();
  PostFlush();
}

TModelCall::TModelCall() {
  ++gCallDepth;
}

TModelCall::~TModelCall() {
  if (--gCallDepth == 0) FlushDeferredFrees();
}

void FlushDeferredFrees() {
  if (gEventDepth > 0 || gCallDepth > 0 || gBatchDepth > 0 || gFlushing) return;
  gFlushing = true;
  // An object whose owner or parent waits as well goes with that one: a window then
  // takes its children first to last, the order in which its lists and the
  // toolkit's let each go in constant time, instead of one search per child.
  auto holderWaits = [](TObject* obj) {
    auto* c = dynamic_cast<TComponent*>(obj);
    if (!c) return false;
    TComponent* owner = c->Owner();
    TComponent* parent = c->ParentHolder();
    return (owner && owner->FreePending()) || (parent && parent->FreePending());
  };
  // Destructors may run handlers (a child form's OnDestroy) that free more: the
  // queue is taken until it stays empty.
  while (!gDeferredFrees.empty()) {
    std::vector<TWeakRef<TObject>> round;
    round.swap(gDeferredFrees);
    // A holder that stays lets go of all its waiting dependents in one pass; they go
    // in its list order, in which the toolkit finds each near the front of its own.
    std::vector<TWeakRef<TObject>> taken;
    std::unordered_set<TComponent*> asked;
    for (const TWeakRef<TObject>& next : round) {
      auto* c = dynamic_cast<TComponent*>(next.get());
      if (!c) continue;
      for (TComponent* holder : {c->ParentHolder(), c->Owner()})
        if (holder && !holder->FreePending() && asked.insert(holder).second)
          holder->TakeWaitingDependents(taken);
    }
    for (const TWeakRef<TObject>& next : taken)
      if (TObject* obj = next.get(); obj && !holderWaits(obj)) obj->Free();
    for (const TWeakRef<TObject>& next : round)
      if (TObject* obj = next.get(); obj && !holderWaits(obj)) obj->Free();
    // Whatever its holder did not take with it.
    for (const TWeakRef<TObject>& next : round)
      if (TObject* obj = next.get()) obj->Free();
  }
  gFlushing = false;
}

bool InsideEventHandler() {
  return gEventDepth > 0;
}

int CompareText(const std::string& a, const std::string& b) {
  const QString fa = QString::fromUtf8(a).toCaseFolded();
  const QString fb = QString::fromUtf8(b).toCaseFolded();
  int r = QString::localeAwareCompare(fa, fb);
  if (r == 0) r = fa.compare(fb);
  return r;
}

int CompareStr(const std::string& a, const std::string& b) {
  const QString qa = QString::fromUtf8(a);
  const QString qb = QString::fromUtf8(b);
  int r = QString::localeAwareCompare(qa, qb);
  if (r == 0) r = qa.compare(qb);
  return r;
}

bool SameText(const std::string& a, const std::string& b) {
  auto ascii = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char ch) { return ch < 0x80; });
  };
  if (ascii(a) && ascii(b))
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
             return std::tolower(x) == std::tolower(y);
           });
  return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------

TClassInfo::TClassInfo(const char* name, TClass parent, TFactory factory)
    : FName(name), FParent(parent), FFactory(factory) {}

bool TClassInfo::InheritsFrom(TClass ancestor) const {
  for (TClass c = this; c; c = c->FParent)
    if (c == ancestor) return true;
  return false;
}

TObject* TClassInfo::Create(TComponent* AOwner) const {
  if (!FFactory) throw EComponentError("Cannot create an instance of the abstract class " + FName);
  return FFactory(AOwner);
}

bool TClassInfo::IsComponentClass() const {
  return InheritsFrom(TComponent::StaticClass());
}

const std::vector<const TPropInfo*>& TClassInfo::Properties() const {
  if (!FPropsBuilt) {
    FProps = BuildPropertyList(this);
    FPropsBuilt = true;
  }
  return FProps;
}

// ---------------------------------------------------------------------------------

TObject::TObject() = default;

TObject::~TObject() {
  BeginDestruction();
}

TClass TObject::StaticClass() {
  static const TClassInfo info("TObject", nullptr, nullptr);
  return &info;
}

TClass TObject::ClassType() const {
  return StaticClass();
}

void TObject::BeginDestruction() {
  if (FDestroying) return;
  FDestroying = true;
  if (FLife) FLife->Object = nullptr;
  if (!FExtras) return;
  auto notifications = std::move(FExtras->FreeNotifications);
  FExtras->FreeNotifications.clear();
  for (auto& n : notifications) n.second(this);
}

void TObject::Free() {
  if (FDestroying) return;
  if (!FFreeing) {
    // A Free from inside the hook destroys at once; this call then finds it gone.
    FFreeing = true;
    const std::shared_ptr<TObjectLife> life = LifeToken();
    BeforeDestruction();
    if (!life->Object) return;
  }
  if (gEventDepth > 0 || gBatchDepth > 0) {
    // The code that fired the running event may still be inside this object; or a
    // batch gathers the frees to do them together.
    if (!FFreeDeferred) {
      FFreeDeferred = true;
      gDeferredFrees.emplace_back(this);
      // In a batch nothing looks names up before its end frees the object.
      if (gEventDepth > 0) {
        DestructionDeferred();
        PostFlush();
      }
    }
    return;
  }
  BeginDestruction();
  delete this;
}

int TObject::AddFreeNotification(std::function<void(TObject*)> callback) {
  TObjectExtras& x = Extras();
  const int id = x.NextNotificationId++;
  x.FreeNotifications.emplace_back(id, std::move(callback));
  return id;
}

std::shared_ptr<TObjectLife> TObject::LifeToken() {
  if (!FLife) {
    FLife = std::make_shared<TObjectLife>();
    FLife->Object = FDestroying ? nullptr : this;
  }
  return FLife;
}

TPropStore& TObject::PropStore() {
  return Extras().Store;
}

TObjectExtras& TObject::Extras() {
  if (!FExtras) FExtras = std::make_unique<TObjectExtras>();
  return *FExtras;
}

ORVEL_IMPLEMENT_CLASS(TPersistent, TObject, [](TComponent*) -> TObject* { return new TPersistent; })

void TPersistent::Assign(const TPersistent& source) {
  throw EComponentError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TComponent, TPersistent, ORVEL_COMPONENT_FACTORY(TComponent))

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Last first; each leaves the list in its own destructor.
  FNameIndex.reset();
  while (!FComponents.empty()) {
    if (TComponent* c = FComponents.back())
      FreeTree(c);
    else
      FComponents.pop_back();  // left by one that went earlier
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::LastDependent() const {
  for (auto it = FComponents.rbegin(); it != FComponents.rend(); ++it)
    if (*it) return *it;
  return nullptr;
}

void TComponent::TakeWaitingDependents(std::vector<TWeakRef<TObject>>& out) {
  if (Destroying()) return;
  auto keep = FComponents.begin();
  for (TComponent* c : FComponents) {
    if (!c->FreePending() || c->Destroying()) {
      *keep++ = c;
      continue;
    }
    c->FOwner = nullptr;
    if (!c->FName.empty() && FNameIndex) {
      auto it = FNameIndex->Map.find(FoldName(c->FName));
      if (it != FNameIndex->Map.end() && it->second == c) FNameIndex->Map.erase(it);
    }
    out.emplace_back(c);
  }
  FComponents.erase(keep, FComponents.end());
}

void TComponent::LeaveHolders() {
  if (FOwner) FOwner->RemoveComponent(this);
}

void FreeTree(TComponent* top) {
  // Up to this nesting the destructors free their dependents themselves: a window
  // takes its children first to last with its lists taken over, so each child leaves
  // the model's lists and the toolkit's in constant time. Deeper, the explicit path
  // below frees deepest first, so no chain length costs stack.
  constexpr int kDirectNesting = 32;
  static int nesting = 0;
  if (nesting < kDirectNesting) {
    if (top->Destroying()) {
      top->LeaveHolders();
      return;
    }
    const std::shared_ptr<TObjectLife> life = top->LifeToken();
    ++nesting;
    top->Free();
    --nesting;
    if (life->Object) top->LeaveHolders();
    return;
  }
  std::vector<TWeakRef<TComponent>> path{TWeakRef<TComponent>(top)};
  while (!path.empty()) {
    TComponent* c = path.back().get();
    if (!c) {
      path.pop_back();
      continue;
    }
    if (TComponent* next = c->LastDependent(); next && !next->Destroying()) {
      path.emplace_back(next);
      continue;
    }
    path.pop_back();
    // One already being destroyed further up, or one whose destruction waits for a
    // running handler, leaves its holders so that they do not wait for it.
    if (c->Destroying()) {
      c->LeaveHolders();
      continue;
    }
    const std::shared_ptr<TObjectLife> life = c->LifeToken();
    c->Free();
    if (life->Object) c->LeaveHolders();
  }
}

bool IsValidIdent(const std::string& name) {
  if (name.empty()) return false;
  auto alpha = [](char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
  };
  if (!alpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(),
                     [&](char ch) { return alpha(ch) || (ch >= '0' && ch <= '9'); });
}

std::pmr::memory_resource* ModelPool() {
  // Never freed: components may still leave their indexes at exit.
  static auto* pool = new std::pmr::unsynchronized_pool_resource;
  return pool;
}

std::string FoldName(const std::string& name) {
  if (std::all_of(name.begin(), name.end(), [](unsigned char ch) { return ch < 0x80; })) {
    std::string out = name;
    for (char& ch : out)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return out;
  }
  return QString::fromUtf8(name).toCaseFolded().toStdString();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty() || !FNameIndex) return nullptr;
  auto it = FNameIndex->Map.find(FoldName(name));
  return it == FNameIndex->Map.end() ? nullptr : it->second;
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->FOwner == this) return;
  if (!c->FName.empty() && FindComponent(c->FName))
    throw EComponentError("A component named " + c->FName + " already exists");
  if (c->FOwner) c->FOwner->RemoveComponent(c);
  FComponents.push_back(c);
  c->FOwner = this;
  if (!c->FName.empty()) {
    if (!FNameIndex) FNameIndex = std::make_unique<TNameIndex>();
    FNameIndex->Map[FoldName(c->FName)] = c;
  }
}

void TComponent::RemoveComponent(TComponent* c) {
  if (Destroying() && !FComponents.empty() && FComponents.back() != c) {
    // Children of a window being destroyed go first to last: their slots are found
    // from the front and emptied, not erased, so each leaves in constant time.
    FFirstLive = std::min(FFirstLive, FComponents.size());
    auto it = std::find(FComponents.begin() + static_cast<std::ptrdiff_t>(FFirstLive),
                        FComponents.end(), c);
    if (it == FComponents.end()) return;
    *it = nullptr;
    while (FFirstLive < FComponents.size() && !FComponents[FFirstLive]) ++FFirstLive;
    c->FOwner = nullptr;
    return;
  }
  if (!EraseLast(FComponents, c)) return;
  c->FOwner = nullptr;
  if (!c->FName.empty() && FNameIndex) {
    auto it = FNameIndex->Map.find(FoldName(c->FName));
    if (it != FNameIndex->Map.end() && it->second == c) FNameIndex->Map.erase(it);
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError("'" + name + "' is not a valid component name");
  if (FOwner && !name.empty()) {
    // One search of the owner's index checks the name and takes it.
    if (!FOwner->FNameIndex) FOwner->FNameIndex = std::make_unique<TNameIndex>();
    auto& map = FOwner->FNameIndex->Map;
    std::string key = FoldName(name);
    const auto [at, added] = map.try_emplace(key, this);
    if (!added && at->second != this)
      throw EComponentError("A component named " + name + " already exists");
    // The old name leaves unless it is the new one in another letter case.
    if (!FName.empty())
      if (std::string oldKey = FoldName(FName); oldKey != key) map.erase(oldKey);
  } else if (FOwner && !FName.empty() && FOwner->FNameIndex) {
    FOwner->FNameIndex->Map.erase(FoldName(FName));
  }
  std::string old = std::move(FName);
  FName = name;
  NameChanged(old);
}

void TComponent::NameChanged(const std::string&) {}

void TComponent::SetEvent(const std::string& name, TNotifyEvent handler) {
  if (!FEvents) FEvents = std::make_unique<TEventTable>();
  auto& hs = FEvents->Handlers;
  for (auto it = hs.begin(); it != hs.end(); ++it) {
    if (it->first == name) {
      if (handler)
        it->second = std::move(handler);
      else
        hs.erase(it);
      return;  // a handler was bound before: EventBound ran then
    }
  }
  if (!handler) return;
  hs.emplace_back(name, std::move(handler));
  EventBound(name);
}

TNotifyEvent TComponent::GetEvent(const std::string& name) const {
  if (FEvents)
    for (const auto& h : FEvents->Handlers)
      if (h.first == name) return h.second;
  return {};
}

void TComponent::DestructionDeferred() {
  if (FOwner && FOwner->FNameIndex && !FName.empty()) {
    auto& map = FOwner->FNameIndex->Map;
    auto it = map.find(FoldName(FName));
    if (it != map.end() && it->second == this) map.erase(it);
  }
}

bool TComponent::FireEvent(const char* name) {
  if (Destroying() || FreePending() || !FEvents) return !Destroying();
  TNotifyEvent handler = GetEvent(name);  // a copy: the handler may rebind itself
  if (!handler) return true;
  std::shared_ptr<TObjectLife> life = LifeToken();
  ++gEventDepth;
  try {
    handler(this);
  } catch (...) {
    // A handler's failure must not unwind through the toolkit's event dispatch; the
    // handler reports its own errors.
  }
  // Frees that waited for this handler are done once control is back in the loop.
  if (--gEventDepth == 0 && !gDeferredFrees.empty()) PostFlush();
  return life->Object != nullptr;
}

// ---------------------------------------------------------------------------------
// Class tests.

bool IsComponent(const TObject* obj) {
  return obj && obj->InheritsFrom(TComponent::StaticClass());
}
bool IsStrings(const TObject* obj) {
  return obj && obj->InheritsFrom(TStrings::StaticClass());
}
