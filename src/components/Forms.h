#pragma once

// Forms: a top-level window without a parent, a child window inside its parent.

#include <functional>
#include <memory>
#include <string>

#include "Controls.h"

class QMenuBar;
class TMenuItem;

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = uint8_t;  // bit (1 << TBorderIcon)

// One scroll bar of a scrolling control; its properties are stored only.
class TControlScrollBar : public TPersistent {
  ORVEL_DECLARE_CLASS(TControlScrollBar)
 public:
  explicit TControlScrollBar(TScrollBarKind kind) : FKind(kind) {}
  TScrollBarKind Kind() const { return FKind; }

 private:
  TScrollBarKind FKind;
};

class TScrollingWinControl : public TWinControl {
  ORVEL_DECLARE_CLASS(TScrollingWinControl)
 public:
  explicit TScrollingWinControl(TComponent* AOwner);
  ~TScrollingWinControl() override;
  TControlScrollBar* HorzScrollBar() const { return FHorzScrollBar.get(); }
  TControlScrollBar* VertScrollBar() const { return FVertScrollBar.get(); }

 protected:
  TScrollingWinControl(TComponent* AOwner, QWidget* widget);

 private:
  std::unique_ptr<TControlScrollBar> FHorzScrollBar;
  std::unique_ptr<TControlScrollBar> FVertScrollBar;
};

struct TFormPrivate;

// With no parent a form is a window of its own (hidden until made visible); with a
// parent it is a child window inside it.
class TCustomForm : public TScrollingWinControl {
  ORVEL_DECLARE_CLASS(TCustomForm)
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  void SetParent(TWinControl* parent) override;
  void SetVisible(bool v) override;
  std::string Caption() const override;
  void SetCaption(const std::string& text) override;

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons v);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition v);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState v);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle v);
  bool AlphaBlend() const { return FAlphaBlend; }
  void SetAlphaBlend(bool v);
  int AlphaBlendValue() const { return FAlphaBlendValue; }
  void SetAlphaBlendValue(int v);
  TWinControl* ActiveControl() const;
  bool Active() const;
  void Close();  // hides the form (OnHide)

  // The bar that shows the menu items the form owns; it takes room from the client
  // area only while it shows an item.
  QMenuBar* MenuBar();
  void MenuChanged();
  int ClientWidth() const override;
  int ClientHeight() const override;
  void ChildOffset(const TControl* child, int& dx, int& dy) const override;

  // Scroll bars appear when controls reach beyond the client area; aligned controls
  // stay in place. Off: no bars, the view goes back to the origin.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool v);
  // A margin of that many pixels inside the form's edges, kept free of controls'
  // client coordinates (aligned controls stop at it).
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int v);
  // The scrolled distance down, in pixels (0 at the origin).
  int ScrollY() const;
  void ScrollTo(int x, int y);

 protected:
  TCustomForm(TComponent* AOwner, QWidget* widget);

 private:
  friend struct TFormPrivate;
  void UpdateWidgetVisibility() override;
  void ApplyBounds() override;
  bool OwnWindow() const override { return true; }
  void Resized() override;
  void FontChanged() override;
  void PlaceMenuBar();
  void ChildLayoutChanged() override;
  void UpdateScrollRange();
  void FollowScrollBars(bool force);
  void UpdateWindowFlags();
  bool IsFixedSize() const;
  void BeforeDestruction() override;
  bool WheelHook(QWheelEvent* e) override;
  void ApplyPosition();
  std::unique_ptr<TFormPrivate> f;
  std::string FCaption;
  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = (1 << biSystemMenu) | (1 << biMinimize) | (1 << biMaximize);
  TPosition FPosition = poDesigned;
  TWindowState FWindowState = wsNormal;
  TFormStyle FFormStyle = fsNormal;
  bool FAlphaBlend = false;
  int FAlphaBlendValue = 255;
  bool FPositioned = false;
  bool FAutoScroll = true;
  int FBorderWidth = 0;
};

class TForm final : public TCustomForm {
  ORVEL_DECLARE_CLASS(TForm)
 public:
  explicit TForm(TComponent* AOwner);
};

// Runs `hook` once, just before the first form is shown as a window of its own (a run
// that shows none never runs it). A later call replaces a hook that has not run yet.
void BeforeFirstFormWindow(std::function<void()> hook);
