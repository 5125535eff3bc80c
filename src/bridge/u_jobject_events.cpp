// Event binding to script text, the string-list members and setBounds.

#include "Controls.h"
#include "MSScriptControl_TLB.h"
#include "u_jobject_internal.h"

std::string ReplacePlaceholder(const std::string& script, const std::string& name) {
  std::string out;
  out.reserve(script.size());
  size_t from = 0;
  for (size_t at; (at = script.find("%1", from)) != std::string::npos; from = at + 2) {
    out.append(script, from, at - from);
    out += name;
  }
  out.append(script, from, std::string::npos);
  return out;
}

void TObjectEvent::HandleEvent(TObject* Sender) {
  // No run, no engine: the event runs nothing and fails nothing.
  if (!FAlive || !ScriptCtrl) return;
  try {
    std::string text = FScript;
    if (text.find("%1") != std::string::npos) {
      // A sender that no registered handle stands for any more (emptied by fr, or
      // its handle dying) is named by the handle the event was bound through.
      TJObject* sender = HandleOf(FindHandle(Sender, false));
      text = ReplacePlaceholder(text, sender ? sender->Name() : FHandle->Name());
    }
    ScriptCtrl->ExecuteStatement(text, FSourceName);
  } catch (const EScriptError&) {
    // The engine's error event has reported the failed statement already.
  } catch (...) {
    ReportDroppedException(("the event " + FSourceName + " failed").c_str());
  }
}

void TJObject::BindEvent(const std::string& PropName, const std::string& TypeName,
                         const std::string& Script) {
  auto it = FEvents.find(PropName);
  if (it == FEvents.end()) {
    if (TypeName != "TNotifyEvent") throw Exception("Type of method not supported: " + TypeName);
    TObject* obj = LiveComponent();
    const TPropInfo* p = LookupProperty(obj, PropName);
    auto event = std::make_shared<TObjectEvent>(this, p, FName + "." + PropName);
    // The component holds the adapter weakly and keeps it alive while it runs: the
    // statement may destroy this handle and with it the adapter.
    std::weak_ptr<TObjectEvent> weak = event;
    SetMethodProp(obj, p, [weak](TObject* Sender) {
      if (std::shared_ptr<TObjectEvent> e = weak.lock()) e->HandleEvent(Sender);
    });
    it = FEvents.emplace(PropName, std::move(event)).first;
  }
  it->second->FScript = Script;
}

// ---------------------------------------------------------------------------------

TStrings* TJObject::StringsOrFail() {
  TObject* obj = FComponent.get();
  FailIfGone();
  if (!IsStrings(obj)) throw Exception("Object not TStrings");
  return static_cast<TStrings*>(obj);
}

int32_t TJObject::cnt() {
  return StringsOrFail()->Count();
}

std::string TJObject::get(int32_t idx) {
  return StringsOrFail()->Get(idx);
}

void TJObject::set(int32_t idx, const std::string& item) {
  StringsOrFail()->Put(idx, item);
}

void TJObject::add(const std::string& item) {
  StringsOrFail()->Add(item);
}

void TJObject::clear() {
  StringsOrFail()->Clear();
}

void TJObject::insert(int32_t idx, const std::string& item) {
  StringsOrFail()->Insert(idx, item);
}

void TJObject::setBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  TObject* obj = FComponent.get();
  FailIfGone();
  if (!IsControl(obj)) throw Exception("Объект не контрол");
  static_cast<TControl*>(obj)->SetBounds(left, top, width, height);
}
