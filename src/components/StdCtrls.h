#pragma once

// Standard controls: label, button, edit box, memo, list box, check box.

#include <memory>
#include <string>

#include "Controls.h"

class QLabel;
class QPushButton;
class QLineEdit;
class QPlainTextEdit;
class QListWidget;
class QCheckBox;

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TImeMode {
  imDisable,
  imClose,
  imOpen,
  imDontCare,
  imSAlpha,
  imAlpha,
  imHira,
  imSKata,
  imKata,
  imChinese,
  imSHanguel,
  imHanguel
};
enum TListBoxStyle {
  lbStandard,
  lbOwnerDrawFixed,
  lbOwnerDrawVariable,
  lbVirtual,
  lbVirtualOwnerDraw
};

class TCustomLabel : public TGraphicControl {
  ORVEL_DECLARE_CLASS(TCustomLabel)
 public:
  explicit TCustomLabel(TComponent* AOwner);

  std::string Caption() const override;
  void SetCaption(const std::string& text) override;
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout v);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return FFocusControl.get(); }
  // With ShowAccelChar, Alt and the caption's "&" letter focus this control.
  void SetFocusControl(TWinControl* c);

  QLabel* LabelWidget() const;

 protected:
  void FontChanged() override;
  void ColorChanged() override;
  void AdjustSize();
  void UpdateText();

  std::string FCaption;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FAutoSize = true;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FShowAccelChar = true;
  TWeakRef<TWinControl> FFocusControl;
};

class TLabel final : public TCustomLabel {
  ORVEL_DECLARE_CLASS(TLabel)
 public:
  explicit TLabel(TComponent* AOwner);
};

class TButtonControl : public TWinControl {
  ORVEL_DECLARE_CLASS(TButtonControl)
 public:
  explicit TButtonControl(TComponent* AOwner);
  // A wrapped caption breaks at blanks to fit the width, again on every resize.
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);

 protected:
  TButtonControl(TComponent* AOwner, QWidget* widget);
  void Resized() override;
  void FontChanged() override;
  // Puts the caption on the widget, wrapped when WordWrap is on.
  void UpdateCaptionText();
  // Width the caption may take on the widget.
  virtual int CaptionRoom() const;
  bool FWordWrap = false;
};

// Default: Enter anywhere on its form presses it; Cancel: Esc does.
class TButton final : public TButtonControl {
  ORVEL_DECLARE_CLASS(TButton)
 public:
  explicit TButton(TComponent* AOwner);
  ~TButton() override;

  std::string Caption() const override;
  void SetCaption(const std::string& text) override;
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v);
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }
  void Click();  // as a press by the user: OnClick

  QPushButton* ButtonWidget() const;

 protected:
  void EventBound(const std::string& name) override;
  int ShortcutKey(QKeyEvent* e) override;
  bool KeyHook(QKeyEvent* e) override;

 private:
  void UpdateShortcuts();
  bool FClickConnected = false;
  std::string FCaption;
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = 0;
  struct Shortcuts;
  std::unique_ptr<Shortcuts> FShortcuts;
};

// Single-line edit box; the memo derives from it and swaps in a multi-line editor.
class TCustomEdit : public TWinControl {
  ORVEL_DECLARE_CLASS(TCustomEdit)
 public:
  explicit TCustomEdit(TComponent* AOwner);

  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  std::string Caption() const override;
  void SetCaption(const std::string& text) override;
  int MaxLength() const { return FMaxLength; }
  virtual void SetMaxLength(int v);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool v);
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char c);
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase v);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  virtual void SetBorderStyle(TBorderStyle v);
  // Entering by Tab selects the whole text.
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool v);
  // An edit box's height follows its font.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  // imDisable and imClose keep input methods away from the box.
  TImeMode ImeMode() const { return FImeMode; }
  void SetImeMode(TImeMode v);
  // The selection shows only while the box has the focus; off, it stays in view.
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool v);
  void SelectAll();

  QLineEdit* LineEditWidget() const;  // null for a memo

 protected:
  TCustomEdit(TComponent* AOwner, QWidget* widget);
  void ColorChanged() override;
  void FontChanged() override;
  void EventBound(const std::string& name) override;
  void AdjustHeight();
  // Applies CharCase to text typed or written; true if the text changed.
  std::string ApplyCharCase(const std::string& text) const;

  int FMaxLength = 0;
  bool FReadOnly = false;
  char FPasswordChar = 0;
  TEditCharCase FCharCase = ecNormal;
  TBorderStyle FBorderStyle = bsSingle;
  bool FAutoSelect = true;
  bool FAutoSize = true;
  bool FHideSelection = true;
  TImeMode FImeMode = imDontCare;
  bool FChangeConnected = false;
};

class TEdit final : public TCustomEdit {
  ORVEL_DECLARE_CLASS(TEdit)
 public:
  explicit TEdit(TComponent* AOwner);
};

class TCustomMemo : public TCustomEdit {
  ORVEL_DECLARE_CLASS(TCustomMemo)
 public:
  explicit TCustomMemo(TComponent* AOwner);
  ~TCustomMemo() override;

  std::string Caption() const override;  // the whole text, lines joined by "\n"
  void SetCaption(const std::string& text) override;
  void SetMaxLength(int v) override;
  void SetReadOnly(bool v) override;
  void SetBorderStyle(TBorderStyle v) override;
  TStrings* Lines() const { return FLines.get(); }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle v);
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool v) { FWantReturns = v; }
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);

  QPlainTextEdit* MemoWidget() const;

 protected:
  int ShortcutKey(QKeyEvent* e) override;
  bool KeyHook(QKeyEvent* e) override;

 private:
  std::unique_ptr<TStrings> FLines;
  TAlignment FAlignment = taLeftJustify;
  TScrollStyle FScrollBars = ssNone;
  bool FWantReturns = true;
  bool FWantTabs = false;
  bool FWordWrap = true;
};

class TMemo final : public TCustomMemo {
  ORVEL_DECLARE_CLASS(TMemo)
 public:
  explicit TMemo(TComponent* AOwner);
};

class TCustomListControl : public TWinControl {
  ORVEL_DECLARE_CLASS(TCustomListControl)
 public:
  explicit TCustomListControl(TComponent* AOwner);

 protected:
  TCustomListControl(TComponent* AOwner, QWidget* widget);
};

class TCustomMultiSelectListControl : public TCustomListControl {
  ORVEL_DECLARE_CLASS(TCustomMultiSelectListControl)
 public:
  explicit TCustomMultiSelectListControl(TComponent* AOwner);
  bool MultiSelect() const { return FMultiSelect; }
  virtual void SetMultiSelect(bool v) { FMultiSelect = v; }

 protected:
  TCustomMultiSelectListControl(TComponent* AOwner, QWidget* widget);
  bool FMultiSelect = false;
};

class TCustomListBox : public TCustomMultiSelectListControl {
  ORVEL_DECLARE_CLASS(TCustomListBox)
 public:
  explicit TCustomListBox(TComponent* AOwner);
  ~TCustomListBox() override;

  TStrings* Items() const { return FItems.get(); }
  int ItemIndex() const;  // -1 when none is selected
  void SetItemIndex(int i);
  void SetMultiSelect(bool v) override;
  bool ExtendedSelect() const { return FExtendedSelect; }
  void SetExtendedSelect(bool v);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool v);
  int Columns() const { return FColumns; }
  void SetColumns(int v);
  // Rows of an owner-drawn list (and the cells of a multi-column one) are ItemHeight
  // high; standard rows follow the font.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int v);
  TListBoxStyle Style() const { return FStyle; }
  void SetStyle(TListBoxStyle v);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);

  QListWidget* ListWidget() const;

 protected:
  void ColorChanged() override;
  void Resized() override;

 private:
  void UpdateSelectionMode();
  void UpdateColumns();
  std::unique_ptr<TStrings> FItems;
  bool FExtendedSelect = true;
  bool FSorted = false;
  int FColumns = 0;
  int FItemHeight = 16;
  TListBoxStyle FStyle = lbStandard;
  TBorderStyle FBorderStyle = bsSingle;
};

class TListBox final : public TCustomListBox {
  ORVEL_DECLARE_CLASS(TListBox)
 public:
  explicit TListBox(TComponent* AOwner);
};

// Checked and State are two views of one value; AllowGrayed lets the user reach
// the third state. OnClick fires whenever Checked changes.
class TCustomCheckBox : public TButtonControl {
  ORVEL_DECLARE_CLASS(TCustomCheckBox)
 public:
  explicit TCustomCheckBox(TComponent* AOwner);

  std::string Caption() const override;
  void SetCaption(const std::string& text) override;
  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool v);
  TAlignment Alignment() const { return FAlignment; }  // taLeftJustify/taRightJustify
  void SetAlignment(TAlignment v);

  QCheckBox* CheckBoxWidget() const;

 protected:
  void ColorChanged() override;
  void BiDiModeChanged() override;
  int CaptionRoom() const override;

 private:
  void StateFromWidget(int qtState);
  std::string FCaption;
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TAlignment FAlignment = taRightJustify;
};

class TCheckBox final : public TCustomCheckBox {
  ORVEL_DECLARE_CLASS(TCheckBox)
 public:
  explicit TCheckBox(TComponent* AOwner);
};
