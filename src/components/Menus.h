#pragma once

// Menu items. An item stores its properties and fires OnClick when triggered; items
// are not shown on a form (no menu property of a form is settable by scripts).

#include <string>
#include <vector>

#include "Classes.h"

class TMenuItem final : public TComponent {
  ORVEL_DECLARE_CLASS(TMenuItem)
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& text) { FCaption = text; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool v) { FChecked = v; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v) { FEnabled = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool v) { FAutoCheck = v; }

  // Sub-items: owned by this item's owner, listed here in order.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int i) const { return FItems.at(i); }
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);
  TMenuItem* ParentItem() const { return FParentItem; }

  // As a choice by the user: toggles an AutoCheck item, then OnClick (if enabled).
  void Click();

 private:
  std::string FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  bool FAutoCheck = false;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParentItem = nullptr;
};
