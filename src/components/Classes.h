#pragma once

// The root of the component model: objects with a class of their own (name, ancestry,
// published properties, virtual constructor), the class registry, components with
// owner and name, string lists and weak references. No Qt here.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TObject;
class TPersistent;
class TComponent;
class TClassInfo;
struct TPropInfo;

using TClass = const TClassInfo*;

// The one event type that can be bound by property name.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---------------------------------------------------------------------------------
// Errors of the model. All carry a message a person can act on.

class EComponentError : public std::runtime_error {
 public:
  explicit EComponentError(const std::string& message) : std::runtime_error(message) {}
};

// A cast to a class the object does not belong to: "Invalid class typecast".
class EInvalidCast : public EComponentError {
 public:
  EInvalidCast() : EComponentError("Invalid class typecast") {}
};

// Bad index or forbidden operation on a string list.
class EStringListError : public EComponentError {
 public:
  using EComponentError::EComponentError;
};

// A property value that the property cannot take ("Invalid property element: ...").
class EPropertyError : public EComponentError {
 public:
  using EComponentError::EComponentError;
};

// ---------------------------------------------------------------------------------
// Class information: one static record per class of the model.

class TClassInfo {
 public:
  using TFactory = TObject* (*)(TComponent* AOwner);

  TClassInfo(const char* name, TClass parent, TFactory factory);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::string& ClassName() const { return FName; }
  TClass ClassParent() const { return FParent; }
  bool InheritsFrom(TClass ancestor) const;  // true for the class itself too

  // Virtual constructor. Components get AOwner; other classes ignore it. Classes
  // without a factory (abstract string lists) throw EComponentError.
  TObject* Create(TComponent* AOwner) const;
  bool IsComponentClass() const;

  // Published properties, inherited ones first, in the fixed order of the class.
  const std::vector<const TPropInfo*>& Properties() const;

 private:
  std::string FName;
  TClass FParent;
  TFactory FFactory;
  mutable std::vector<const TPropInfo*> FProps;
  mutable bool FPropsBuilt = false;
};

// Declares the class record of a model class; ORVEL_IMPLEMENT_CLASS in its .cpp.
#define ORVEL_DECLARE_CLASS(Cls) \
 public:                         \
  static TClass StaticClass();   \
  TClass ClassType() const override;

// ---------------------------------------------------------------------------------
// Weak references: a handle on an object that reads as null once it is destroyed.

struct TObjectLife {
  TObject* Object = nullptr;
};

template <class T>
class TWeakRef {
 public:
  TWeakRef() = default;
  TWeakRef(T* obj);  // NOLINT: implicit like a pointer
  T* get() const { return FLife ? static_cast<T*>(FLife->Object) : nullptr; }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }
  void reset() { FLife.reset(); }

 private:
  std::shared_ptr<TObjectLife> FLife;
};

// ---------------------------------------------------------------------------------

struct TPropStore;
struct TObjectExtras;
struct TEventTable;
struct TNameIndex;

class TObject {
 public:
  TObject();
  virtual ~TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static TClass StaticClass();
  virtual TClass ClassType() const;
  const std::string& ClassName() const { return ClassType()->ClassName(); }
  bool InheritsFrom(TClass c) const { return ClassType()->InheritsFrom(c); }

  // The way to destroy an object: weak references and free notifications learn of
  // it before any part of the object is torn down.
  // A second Free while the object is being destroyed does nothing; one from inside
  // BeforeDestruction destroys it there.
  // Inside an event handler the code that fired the event may still be working on
  // this object (or on one it owns): BeforeDestruction runs at once, the rest waits
  // until no handler runs and no TModelCall is open (FlushDeferredFrees).
  void Free();
  bool Destroying() const { return FDestroying; }
  // Free was called and the destruction waits; such an object fires no events.
  bool FreePending() const { return FFreeDeferred; }

  // Called once when the object starts to be destroyed. Returns an id for removal.
  int AddFreeNotification(std::function<void(TObject*)> callback);

  std::shared_ptr<TObjectLife> LifeToken();
  friend class TFreeBatch;

  // Values of published properties that only store what was written (model-internal).
  TPropStore& PropStore();

 protected:
  // Runs in Free before anything is torn down (a form's OnDestroy); the object is
  // still whole, and may even be freed by what runs here.
  virtual void BeforeDestruction() {}
  // Runs when Free has to wait: the object lets go of what others may look up.
  virtual void DestructionDeferred() {}

 private:
  void BeginDestruction();
  bool FDestroying = false;
  bool FFreeing = false;
  bool FFreeDeferred = false;
  std::shared_ptr<TObjectLife> FLife;
  // Free notifications and stored values, made on first use: most objects have none.
  std::unique_ptr<TObjectExtras> FExtras;
  TObjectExtras& Extras();
};

template <class T>
TWeakRef<T>::TWeakRef(T* obj) : FLife(obj ? obj->LifeToken() : nullptr) {}

// A call into the model from outside it (a script's member call). Objects that event
// handlers free while one is open are destroyed when the outermost one ends.
class TModelCall {
 public:
  TModelCall();
  ~TModelCall();
  TModelCall(const TModelCall&) = delete;
  TModelCall& operator=(const TModelCall&) = delete;
};

// Destroys the objects whose Free waited, unless a handler runs or a call is open.
// Also queued to the event loop whenever an object has to wait.
void FlushDeferredFrees();

// While one is open, Free runs BeforeDestruction at once and the rest waits until the
// outermost one ends; then the waiting objects go together, each whose owner or
// parent also waits with that one. Releasing many handles at once (a run's end) so
// frees each window once with all its children, not child by child.
class TFreeBatch {
 public:
  // `expected`: about how many frees will come (room is made for them at once).
  explicit TFreeBatch(size_t expected = 0);
  ~TFreeBatch();
  TFreeBatch(const TFreeBatch&) = delete;
  TFreeBatch& operator=(const TFreeBatch&) = delete;
};

// Class tests on any object (null gives false).
bool IsComponent(const TObject* obj);
bool IsControl(const TObject* obj);
bool IsWinControl(const TObject* obj);
bool IsStrings(const TObject* obj);

// Checked cast: EInvalidCast ("Invalid class typecast") when obj is not a T.
template <class T>
T* CastTo(TObject* obj) {
  T* p = dynamic_cast<T*>(obj);
  if (!p) throw EInvalidCast();
  return p;
}

class TPersistent : public TObject {
  ORVEL_DECLARE_CLASS(TPersistent)
 public:
  TPersistent() = default;
  // Copies another object's value; EComponentError when the classes do not match.
  virtual void Assign(const TPersistent& source);
};

// ---------------------------------------------------------------------------------

class TComponent : public TPersistent {
  ORVEL_DECLARE_CLASS(TComponent)
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(index); }
  TComponent* FindComponent(const std::string& name) const;  // case ignored
  void InsertComponent(TComponent* c);                       // becomes c's owner
  void RemoveComponent(TComponent* c);                       // c keeps living, unowned

  // An identifier (or empty), unique among the owner's components (case ignored).
  // Refused: EComponentError, and the name stays as it was.
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& name);
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  // Notify-event properties by published name ("OnClick", ...). Setting an empty
  // handler clears it. Only properties of the class's table are accepted by the
  // generic access; these low-level calls take any name.
  void SetEvent(const std::string& name, TNotifyEvent handler);
  TNotifyEvent GetEvent(const std::string& name) const;

 protected:
  // Runs the handler bound to the event, if any. The handler may destroy this
  // component; returns false when it did, and then the caller must not touch it.
  bool FireEvent(const char* name);
  // Called after the name changed (a control whose caption follows its name).
  virtual void NameChanged(const std::string& oldName);
  // Called after a handler was bound to the event `name`: a class can wait until then
  // to connect what fires it.
  virtual void EventBound(const std::string& /*name*/) {}
  // A component whose destruction waits gives its name free at once.
  void DestructionDeferred() override;
  // What has to be destroyed before this component: its last child control, else its
  // last owned component; null when nothing is.
  virtual TComponent* LastDependent() const;
  // Lets go of the owner (a control: of its parent too) when its destruction waits
  // while the one holding it is destroyed.
  virtual void LeaveHolders();
  // The window that destroys this one with its children besides the owner (a
  // control's parent), or null.
  virtual TComponent* ParentHolder() const { return nullptr; }
  // Lets go of every dependent whose free waits, in one pass over each list, and
  // appends them in list order: a batch that ends while this one stays frees them
  // without a search per dependent.
  virtual void TakeWaitingDependents(std::vector<TWeakRef<TObject>>& out);
  friend void FlushDeferredFrees();
  friend void FreeTree(TComponent* top);

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;  // null slots only while being destroyed
  size_t FFirstLive = 0;                 // while being destroyed: slots before it are empty
  std::string FName;
  int FTag = 0;
  std::unique_ptr<TEventTable> FEvents;
  std::unique_ptr<TNameIndex> FNameIndex;  // owned components by folded name
};

bool IsValidIdent(const std::string& name);

// ---------------------------------------------------------------------------------
// String lists. Indexes are 0-based; a bad index fails with the list's own error,
// "List index out of bounds (%d)".

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
  ORVEL_DECLARE_CLASS(TStrings)
 public:
  TStrings() = default;

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* obj);
  virtual int Add(const std::string& s);  // index of the new item
  int AddObject(const std::string& s, TObject* obj);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int IndexOf(const std::string& s) const;  // -1 when absent; case ignored
  void Move(int from, int to);

  // Lines joined by "\n" each ending in "\n"; setting splits at CR LF, LF or CR.
  std::string Text() const;
  virtual void SetText(const std::string& text);

  // Items joined by Delimiter; items holding a blank, control char, QuoteChar or the
  // delimiter are quoted with QuoteChar doubled inside. Setting parses that form.
  char Delimiter = ',';
  char QuoteChar = '"';
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& text);
  std::string CommaText() const;

  // name=value items.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  int IndexOfName(const std::string& name) const;  // case ignored
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);  // empty deletes

  void Assign(const TPersistent& source) override;
  void AddStrings(const TStrings& other);

  // Batches changes: lists behind widgets refresh once at the end.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

 protected:
  virtual void SetUpdateState(bool updating);
  [[noreturn]] static void Error(int index);

 private:
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
  ORVEL_DECLARE_CLASS(TStringList)
 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;  // sorted list: refused
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  int Add(const std::string& s) override;                 // sorted: at its place; duplicates rule
  void Insert(int index, const std::string& s) override;  // sorted: refused
  void Delete(int index) override;
  void Clear() override;
  int IndexOf(const std::string& s) const override;

  // Binary search on a sorted list; index of the match or of the insertion point.
  bool Find(const std::string& s, int& index) const;
  void Sort();

  bool Sorted() const { return FSorted; }
  void SetSorted(bool sorted);
  bool CaseSensitive() const { return FCaseSensitive; }
  TDuplicates Duplicates = dupIgnore;
  // Owns the objects: Delete and Clear free them.
  bool OwnsObjects = false;

  TNotifyEvent OnChange;    // after a change
  TNotifyEvent OnChanging;  // before a change

  int CompareStrings(const std::string& a, const std::string& b) const;

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool updating) override;
  void InsertItem(int index, const std::string& s, TObject* obj);

 private:
  struct Item {
    std::string Text;
    TObject* Object = nullptr;
  };
  std::vector<Item> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
};

// ---------------------------------------------------------------------------------
// Class registry. Registering a class enters it and then its ancestors up to
// TPersistent, stopping at the first one already registered. Two groups, each in
// registration order: plain classes, and controls (TControl descendants and
// TMenuItem). TMenuItem, with TComponent and TPersistent, is registered by the model
// before anything else.

void RegisterClass(TClass c);
TClass FindClass(const std::string& name);  // case ignored; null when not registered
// Plain group then control group, each in registration order.
std::vector<std::string> RegisteredClassNames();
// The nine creatable classes of scripts, in their fixed order, with their ancestors.
void RegisterCreatableClasses();
