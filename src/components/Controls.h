#pragma once

// Controls: components with a parent and bounds, each backed by a Qt widget that it
// owns. Qt types are only forward-declared here.

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"

class QKeyEvent;
class QObject;
class QWheelEvent;
class QWidget;
class TWinControl;
class TControl;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = uint8_t;  // bit (1 << TAnchorKind)
constexpr TAnchors AnchorsTopLeft = (1 << akLeft) | (1 << akTop);

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

using TCursor = int;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                  crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10,
                  crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15,
                  crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20,
                  crHandPoint = -21, crSizeAll = -22;

// The widest range of coordinates and sizes, in pixels: the largest size a widget can
// take. Bounds beyond it are clamped, so sums of a few coordinates never overflow.
constexpr int MaxCoord = 16777215;
inline int ClampCoord(int v) {
  return v < -MaxCoord ? -MaxCoord : (v > MaxCoord ? MaxCoord : v);
}
inline int ClampSize(int v) {
  return v < 0 ? 0 : (v > MaxCoord ? MaxCoord : v);
}

// Minimum and maximum size of a control; 0 means no limit.
class TSizeConstraints : public TPersistent {
  ORVEL_DECLARE_CLASS(TSizeConstraints)
 public:
  explicit TSizeConstraints(TControl* control) : FControl(control) {}
  int MaxHeight() const { return FMaxHeight; }
  int MaxWidth() const { return FMaxWidth; }
  int MinHeight() const { return FMinHeight; }
  int MinWidth() const { return FMinWidth; }
  void SetMaxHeight(int v);
  void SetMaxWidth(int v);
  void SetMinHeight(int v);
  void SetMinWidth(int v);
  void Assign(const TPersistent& source) override;

 private:
  void Changed();
  TControl* FControl;
  int FMaxHeight = 0, FMaxWidth = 0, FMinHeight = 0, FMinWidth = 0;
};

struct TControlPrivate;

class TControl : public TComponent {
  ORVEL_DECLARE_CLASS(TControl)
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // The parent must be a windowed control; null removes the control from its window.
  // A control that would become its own ancestor is refused (EComponentError).
  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);

  // Bounds in pixels relative to the parent's client area (a form: the screen).
  void SetBounds(int left, int top, int width, int height);
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual int ClientWidth() const;
  virtual int ClientHeight() const;
  void SetClientWidth(int v);
  void SetClientHeight(int v);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign v);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors v);
  // Made on first use: most controls never have limits.
  TSizeConstraints* Constraints() const;

  // Visible is the control's own flag; the widget shows when the control and its
  // parents are visible (a form: its own window).
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);

  // The caption of buttons, labels and forms; the text of edit boxes.
  virtual std::string Caption() const;
  virtual void SetCaption(const std::string& text);

  // Made on first use; until then the control's font is the default one.
  TFont* Font() const;
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v);
  TColor Color() const { return FColor; }
  virtual void SetColor(TColor v);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool v);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool v);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor v);
  // Right-to-left modes mirror the control's layout (reading only: the text alone).
  // ParentBiDiMode follows the parent until a mode of its own is set.
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode v);
  bool ParentBiDiMode() const { return FParentBiDiMode; }
  void SetParentBiDiMode(bool v);
  bool UseRightToLeftLayout() const;

  // The widget; owned by the control, never null while the control lives.
  QWidget* Widget() const { return FWidget; }

 protected:
  // Controls pass their widget; the control takes ownership at once.
  TControl(TComponent* AOwner, QWidget* widget);

  // Called after the size changed (layout of children, OnResize).
  virtual void Resized();
  // A control whose caption still equals its old name takes the new name as caption.
  void NameChanged(const std::string& oldName) override;
  // Applies font, colour, visibility to the widget after a change.
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void BiDiModeChanged();
  void InheritBiDiMode(TBiDiMode v);
  virtual void UpdateWidgetVisibility();
  bool EffectiveShowHint() const;
  void UpdateToolTip();
  // Rect the bounds were last set to, clamped by constraints.
  virtual void ApplyBounds();
  // True for a control whose widget is a window of its own when it has no parent (a
  // form); any other control's widget is placed only once it has a parent.
  virtual bool OwnWindow() const { return false; }
  // Distances to the parent's right and bottom edges, for anchoring.
  void RememberAnchorDistances();

  void LeaveHolders() override;
  TComponent* ParentHolder() const override;

  // The object the control's signal connections are made with: it is destroyed before
  // the widget, so no signal reaches a control being destroyed. Made on first use.
  QObject* SignalContext();
  // Keys and wheel turns on the control's widget, before the widget sees them.
  // ShortcutKey: 1 the control takes the key, -1 the window's shortcuts get it even
  // where the widget would keep it, 0 the widget decides. The hooks: true consumes it.
  virtual int ShortcutKey(QKeyEvent*) { return 0; }
  virtual bool KeyHook(QKeyEvent*) { return false; }
  virtual bool WheelHook(QWheelEvent*) { return false; }

  friend class TWinControl;
  friend struct TControlPrivate;
  friend struct TControlFilter;
  friend class TSizeConstraints;
  friend TControlPrivate* ControlPrivate(TControl* c);
  friend void EnableControlEvents(TControl* c, unsigned events);

  TWinControl* FParent = nullptr;
  QWidget* FWidget = nullptr;
  std::unique_ptr<TControlPrivate> d;  // null until SignalContext
  unsigned FControlEvents = 0;         // TControlEvents: user actions that fire events
  bool FPressed = false;               // the left button went down on it
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  int FAnchorRight = 0, FAnchorBottom = 0;  // parent edge distances
  TAlign FAlign = alNone;
  TAnchors FAnchors = AnchorsTopLeft;
  bool FVisible = true;
  bool FEnabled = true;
  bool FParentFont = true;
  bool FParentColor = false;
  bool FShowHint = false;
  bool FParentShowHint = true;
  bool FParentBiDiMode = true;
  TBiDiMode FBiDiMode = bdLeftToRight;
  bool FInSetBounds = false;
  bool FCaptionFollowsName = false;
  bool FAnchoring = false;           // bounds set by the parent's anchoring
  bool FApplyingParentFont = false;  // font copied from the parent, not chosen
  TColor FColor = clBtnFace;
  TCursor FCursor = crDefault;
  std::string FHint;
  mutable std::unique_ptr<TFont> FFont;
  mutable std::unique_ptr<TSizeConstraints> FConstraints;
};

// A control that can hold child controls and take the keyboard focus. Destroying it
// destroys its child controls.
class TWinControl : public TControl {
  ORVEL_DECLARE_CLASS(TWinControl)
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int index) const { return FControls.at(index); }
  bool ContainsControl(const TControl* c) const;  // c is this or below it

  // Position in the parent's tab order, 0-based; -1 when the control has no parent.
  int TabOrder() const;
  void SetTabOrder(int v);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v);

  bool Focused() const;
  bool CanFocus() const;
  void SetFocus();  // EComponentError "Cannot focus a disabled or invisible window"

  // Places the aligned children (alTop, alBottom, alLeft, alRight, alClient) and
  // the anchored ones inside the client area; runs again on every resize.
  void AlignControls();

  // Where a child's client coordinates start inside this widget: below a form's menu
  // bar, and moved by its scroll position unless the child is aligned.
  virtual void ChildOffset(const TControl* child, int& dx, int& dy) const;

 protected:
  TWinControl(TComponent* AOwner, QWidget* widget);
  // Places the children again after the client area moved inside the widget.
  void ClientAreaChanged();
  // A child moved, resized, appeared, disappeared, came or went (a form's scroll range).
  virtual void ChildLayoutChanged() {}
  void Resized() override;
  void FontChanged() override;
  void ColorChanged() override;

  // Tab chain of the children, in TabOrder.
  void UpdateTabChain();
  TComponent* LastDependent() const override;
  void TakeWaitingDependents(std::vector<TWeakRef<TObject>>& out) override;

  friend class TControl;
  std::vector<TControl*> FControls;    // child controls, in insertion order
  std::vector<TWinControl*> FTabList;  // windowed children, in tab order
  bool FTabStop = false;
  bool FAligning = false;
};

// A control without a window of its own (a label).
class TGraphicControl : public TControl {
  ORVEL_DECLARE_CLASS(TGraphicControl)
 public:
  explicit TGraphicControl(TComponent* AOwner);

 protected:
  TGraphicControl(TComponent* AOwner, QWidget* widget);
};

// A windowed control that paints itself (the grid).
class TCustomControl : public TWinControl {
  ORVEL_DECLARE_CLASS(TCustomControl)
 public:
  explicit TCustomControl(TComponent* AOwner);

 protected:
  TCustomControl(TComponent* AOwner, QWidget* widget);
};

// Qt widget → its control (null if the widget is not a control's).
TControl* FindControl(const QWidget* widget);

// While one lives, the next control made gets its widget made inside `parent`'s widget
// from the start, for a caller that makes it that parent's child at once: a widget
// made without a parent is a window first, with window data it never needs. The
// control itself has no parent until SetParent; a form always starts as a window.
class TNewControlParent {
 public:
  explicit TNewControlParent(TWinControl* parent);
  ~TNewControlParent();
  TNewControlParent(const TNewControlParent&) = delete;
  TNewControlParent& operator=(const TNewControlParent&) = delete;
};
