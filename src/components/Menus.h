#pragma once

// Menu items. An item owned by a form stands in that form's menu bar; an item owned by
// another item stands in that item's drop-down menu, in the order of creation. An item
// with any other owner (or none) is shown nowhere until it is added to an item.

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

class QAction;
class QMenu;
class TCustomForm;
struct TMenuItemPrivate;

using TShortCut = int;  // key code in the low byte; scShift, scCtrl, scAlt above
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;

class TMenuItem final : public TComponent {
  ORVEL_DECLARE_CLASS(TMenuItem)
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  // "-" makes the item a separator line; "&" marks the access key.
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& text);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool v);
  // Checking a radio item unchecks the radio items of its menu with the same GroupIndex.
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool v);
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int v);
  bool Default() const { return FDefault; }  // shown in bold
  void SetDefault(bool v);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut v);

  // Sub-items, in order: the items created with this one as owner, and those added.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int i) const { return FItems.at(i); }
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);
  TMenuItem* ParentItem() const { return FParentItem; }

  // As a choice by the user: toggles an AutoCheck item, then OnClick (if enabled).
  void Click();

  // The toolkit's action behind the item (for tests and the form's menu bar).
  QAction* Action() const;
  // The form that shows the item in its bar is going away.
  void FormDestroyed();

 private:
  void UpdateCheckable();
  void UncheckGroup();
  std::vector<TMenuItem*> Siblings() const;
  std::unique_ptr<TMenuItemPrivate> p;
  std::string FCaption;
  std::string FHint;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  bool FAutoCheck = false;
  bool FRadioItem = false;
  bool FDefault = false;
  int FGroupIndex = 0;
  TShortCut FShortCut = 0;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParentItem = nullptr;
};

// The key sequence of a shortcut value ("" when it names no key).
std::string ShortCutToText(TShortCut s);
