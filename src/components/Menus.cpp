// Menu items.

#include "Menus.h"

#include <algorithm>

#include "ModelInternals.h"

ORVEL_IMPLEMENT_CLASS(TMenuItem, TComponent, ORVEL_COMPONENT_FACTORY(TMenuItem))

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  for (TMenuItem* item : FItems) item->FParentItem = nullptr;
  if (FParentItem) FParentItem->Remove(this);
}

void TMenuItem::Add(TMenuItem* item) {
  if (!item || item == this) return;
  for (TMenuItem* p = this; p; p = p->FParentItem)
    if (p == item) throw EComponentError("A menu item cannot contain itself");
  if (item->FParentItem) item->FParentItem->Remove(item);
  FItems.push_back(item);
  item->FParentItem = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  item->FParentItem = nullptr;
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (FAutoCheck) FChecked = !FChecked;
  FireEvent("OnClick");
}
