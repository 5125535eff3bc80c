// Menu items, each backed by a QAction in its form's menu bar or its item's menu.

#include "Menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "Forms.h"
#include "ModelInternals.h"
#include "WidgetSupport.h"

struct TMenuItemPrivate {
  QAction* Action = nullptr;   // owned
  QMenu* Menu = nullptr;       // drop-down of the sub-items; owned, made on first need
  TWeakRef<TCustomForm> Form;  // whose menu bar shows the item
};

namespace {

// Windows virtual-key codes, as shortcut values carry them, to Qt keys.
int QtKey(int vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;  // same codes
  if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + (vk - 0x70);
  if (vk >= 0x60 && vk <= 0x69) return Qt::Key_0 + (vk - 0x60);  // numeric keypad
  switch (vk) {
    case 0x08:
      return Qt::Key_Backspace;
    case 0x09:
      return Qt::Key_Tab;
    case 0x0D:
      return Qt::Key_Return;
    case 0x1B:
      return Qt::Key_Escape;
    case 0x20:
      return Qt::Key_Space;
    case 0x21:
      return Qt::Key_PageUp;
    case 0x22:
      return Qt::Key_PageDown;
    case 0x23:
      return Qt::Key_End;
    case 0x24:
      return Qt::Key_Home;
    case 0x25:
      return Qt::Key_Left;
    case 0x26:
      return Qt::Key_Up;
    case 0x27:
      return Qt::Key_Right;
    case 0x28:
      return Qt::Key_Down;
    case 0x2D:
      return Qt::Key_Insert;
    case 0x2E:
      return Qt::Key_Delete;
    case 0x6A:
      return Qt::Key_Asterisk;
    case 0x6B:
      return Qt::Key_Plus;
    case 0x6D:
      return Qt::Key_Minus;
    case 0x6F:
      return Qt::Key_Slash;
    case 0xBB:
      return Qt::Key_Equal;
    case 0xBC:
      return Qt::Key_Comma;
    case 0xBD:
      return Qt::Key_Minus;
    case 0xBE:
      return Qt::Key_Period;
    default:
      return 0;
  }
}

QKeySequence ToKeySequence(TShortCut s) {
  const int key = QtKey(s & 0xFF);
  if (!key) return {};
  int mods = 0;
  if (s & scShift) mods |= Qt::ShiftModifier;
  if (s & scCtrl) mods |= Qt::ControlModifier;
  if (s & scAlt) mods |= Qt::AltModifier;
  return QKeySequence(key | mods);
}

// Takes the action out of every menu and menu bar that shows it.
void Unshow(QAction* a) {
  for (QObject* o : a->associatedObjects())
    if (auto* w = qobject_cast<QWidget*>(o)) w->removeAction(a);
}

}  // namespace

std::string ShortCutToText(TShortCut s) {
  return S(ToKeySequence(s).toString(QKeySequence::PortableText));
}

ORVEL_IMPLEMENT_CLASS(TMenuItem, TComponent, ORVEL_COMPONENT_FACTORY(TMenuItem))

TMenuItem::TMenuItem(TComponent* AOwner)
    : TComponent(AOwner), p(std::make_unique<TMenuItemPrivate>()) {
  p->Action = new QAction;
  QObject::connect(p->Action, &QAction::triggered, p->Action, [this] { Click(); });
  if (auto* parent = dynamic_cast<TMenuItem*>(AOwner)) {
    parent->Add(this);
  } else if (auto* form = dynamic_cast<TCustomForm*>(AOwner); form && !form->Destroying()) {
    p->Form = form;
    form->MenuBar()->addAction(p->Action);
    form->MenuChanged();
  }
}

TMenuItem::~TMenuItem() {
  for (TMenuItem* item : FItems) item->FParentItem = nullptr;
  if (FParentItem) FParentItem->Remove(this);
  TCustomForm* form = p->Form.get();
  QAction* a = p->Action;
  QMenu* m = p->Menu;
  Unshow(a);
  if (InsideEventHandler()) {
    // The toolkit may be inside this action's triggered signal (a handler freeing
    // its own item): delete once control is back in the event loop.
    a->disconnect();
    a->deleteLater();
    if (m) m->deleteLater();
  } else {
    delete m;
    delete a;
  }
  if (form && !form->Destroying()) form->MenuChanged();
}

QAction* TMenuItem::Action() const {
  return p->Action;
}

void TMenuItem::FormDestroyed() {
  p->Form = nullptr;
}

void TMenuItem::SetCaption(const std::string& text) {
  FCaption = text;
  p->Action->setSeparator(text == "-");
  p->Action->setText(Q(text));
  if (TCustomForm* form = p->Form.get()) form->MenuChanged();
}

void TMenuItem::SetChecked(bool v) {
  FChecked = v;
  if (v && FRadioItem) UncheckGroup();
  UpdateCheckable();
}

void TMenuItem::SetEnabled(bool v) {
  FEnabled = v;
  p->Action->setEnabled(v);
}

void TMenuItem::SetVisible(bool v) {
  FVisible = v;
  p->Action->setVisible(v);
  if (TCustomForm* form = p->Form.get()) form->MenuChanged();
}

void TMenuItem::SetAutoCheck(bool v) {
  FAutoCheck = v;
  UpdateCheckable();
}

void TMenuItem::SetRadioItem(bool v) {
  FRadioItem = v;
  if (v && FChecked) UncheckGroup();
  UpdateCheckable();
}

void TMenuItem::SetGroupIndex(int v) {
  FGroupIndex = v;
  if (FRadioItem && FChecked) UncheckGroup();
}

void TMenuItem::SetDefault(bool v) {
  FDefault = v;
  QFont f = p->Action->font();
  f.setBold(v);
  p->Action->setFont(f);
}

void TMenuItem::SetHint(const std::string& v) {
  FHint = v;
  p->Action->setStatusTip(Q(v));
  p->Action->setToolTip(Q(v));
}

void TMenuItem::SetShortCut(TShortCut v) {
  FShortCut = v;
  p->Action->setShortcut(ToKeySequence(v));
}

// A check mark shows for checked items and for those the user can check.
void TMenuItem::UpdateCheckable() {
  p->Action->setCheckable(FChecked || FAutoCheck || FRadioItem);
  p->Action->setChecked(FChecked);
}

std::vector<TMenuItem*> TMenuItem::Siblings() const {
  if (FParentItem) return FParentItem->FItems;
  std::vector<TMenuItem*> list;
  if (TCustomForm* form = p->Form.get())
    for (int i = 0; i < form->ComponentCount(); ++i)
      if (auto* m = dynamic_cast<TMenuItem*>(form->Components(i)); m && m->p->Form.get() == form)
        list.push_back(m);
  return list;
}

void TMenuItem::UncheckGroup() {
  for (TMenuItem* m : Siblings())
    if (m != this && m->FRadioItem && m->FGroupIndex == FGroupIndex && m->FChecked) {
      m->FChecked = false;
      m->UpdateCheckable();
    }
}

void TMenuItem::Add(TMenuItem* item) {
  if (!item || item == this) return;
  for (TMenuItem* up = this; up; up = up->FParentItem)
    if (up == item) throw EComponentError("A menu item cannot contain itself");
  if (item->FParentItem) item->FParentItem->Remove(item);
  if (TCustomForm* form = item->p->Form.get()) {
    form->MenuBar()->removeAction(item->p->Action);
    item->p->Form = nullptr;
    form->MenuChanged();
  }
  FItems.push_back(item);
  item->FParentItem = this;
  if (!p->Menu) p->Menu = new QMenu;
  p->Menu->addAction(item->p->Action);
  p->Action->setMenu(p->Menu);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  item->FParentItem = nullptr;
  if (p->Menu) p->Menu->removeAction(item->p->Action);
  // Without sub-items the item is chosen itself again, not opened.
  if (FItems.empty()) p->Action->setMenu(nullptr);
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (FAutoCheck) {
    SetChecked(FRadioItem ? true : !FChecked);
  } else {
    UpdateCheckable();  // the toolkit flips a checkable action by itself: undo that
  }
  FireEvent("OnClick");
}
