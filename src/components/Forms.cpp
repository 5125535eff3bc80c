// Forms: top-level windows, or child windows inside a parent control.

#include "Forms.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <utility>

#include "Menus.h"
#include "ModelInternals.h"
#include "WidgetSupport.h"

namespace {

std::function<void()>& FirstFormWindowHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void BeforeFirstFormWindow(std::function<void()> hook) {
  FirstFormWindowHook() = std::move(hook);
}

ORVEL_IMPLEMENT_CLASS(TControlScrollBar, TPersistent, nullptr)

ORVEL_IMPLEMENT_CLASS(TScrollingWinControl, TWinControl,
                      ORVEL_COMPONENT_FACTORY(TScrollingWinControl))

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TScrollingWinControl(AOwner, new QWidget(NewWidgetParent())) {}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner, QWidget* widget)
    : TWinControl(AOwner, widget),
      FHorzScrollBar(std::make_unique<TControlScrollBar>(sbHorizontal)),
      FVertScrollBar(std::make_unique<TControlScrollBar>(sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() = default;

struct TFormPrivate {
  QMenuBar* MenuBar = nullptr;  // a child of the form's widget, made on first need
  int MenuHeight = 0;           // room the bar takes while it shows an item
  QScrollBar* HBar = nullptr;   // children of the form's widget, made on first need
  QScrollBar* VBar = nullptr;
  int X = 0, Y = 0;           // scroll position
  bool RangePending = false;  // an update of the range is queued
};

ORVEL_IMPLEMENT_CLASS(TCustomForm, TScrollingWinControl, ORVEL_COMPONENT_FACTORY(TCustomForm))
ORVEL_IMPLEMENT_CLASS(TForm, TCustomForm, ORVEL_COMPONENT_FACTORY(TForm))

TCustomForm::TCustomForm(TComponent* AOwner)
    : TCustomForm(AOwner, new QWidget(nullptr, Qt::Window)) {}

TCustomForm::TCustomForm(TComponent* AOwner, QWidget* widget)
    : TScrollingWinControl(AOwner, widget), f(std::make_unique<TFormPrivate>()) {
  EnableControlEvents(this, ceClick | ceDblClick | ceForm);
  FVisible = false;
  FParentFont = false;
  FCaptionFollowsName = true;
  FColor = clBtnFace;
  ColorChanged();
  UpdateWindowFlags();
  SetBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm() {
  // Owned items die after the form's own parts; they must not reach its bar then.
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* item = dynamic_cast<TMenuItem*>(Components(i))) item->FormDestroyed();
}

TForm::TForm(TComponent* AOwner) : TCustomForm(AOwner) {}

std::string TCustomForm::Caption() const {
  return FCaption;
}

void TCustomForm::SetCaption(const std::string& text) {
  FCaption = text;
  FWidget->setWindowTitle(Q(text));
}

void TCustomForm::SetParent(TWinControl* parent) {
  TControl::SetParent(parent);
  UpdateWindowFlags();
  UpdateWidgetVisibility();
}

void TCustomForm::SetVisible(bool v) {
  FVisible = v;
  UpdateWidgetVisibility();
  if (FParent && FAlign != alNone) FParent->AlignControls();
}

// Without a parent the form is its own window, shown in its window state.
void TCustomForm::UpdateWidgetVisibility() {
  if (FParent) {
    FWidget->setVisible(FVisible);
    return;
  }
  if (!FVisible) {
    FWidget->hide();
    return;
  }
  if (!FPositioned) {
    ApplyPosition();
    FPositioned = true;
  }
  if (auto& hook = FirstFormWindowHook()) std::exchange(hook, nullptr)();
  switch (FWindowState) {
    case wsMinimized:
      FWidget->showMinimized();
      break;
    case wsMaximized:
      FWidget->showMaximized();
      break;
    default:
      FWidget->showNormal();
      break;
  }
}

// The wheel anywhere on the form scrolls it, once it has scroll bars, as far as its
// controls leave it.
bool TCustomForm::WheelHook(QWheelEvent* e) {
  if (!f->HBar) return false;
  QScrollBar* bar = e->angleDelta().y() != 0 ? f->VBar : f->HBar;
  if (!bar->isVisibleTo(FWidget)) return false;
  const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
  bar->setValue(bar->value() - delta / 120 * bar->singleStep() * 3);
  return true;
}

void TCustomForm::ApplyPosition() {
  QRect area;
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      if (QScreen* s = QApplication::primaryScreen()) area = s->availableGeometry();
      break;
    case poMainFormCenter:
    case poOwnerFormCenter:
      if (auto* owner = dynamic_cast<TControl*>(Owner()); owner && owner->Widget()->isVisible())
        area = owner->Widget()->geometry();
      else if (QScreen* s = QApplication::primaryScreen())
        area = s->availableGeometry();
      break;
    default:
      return;
  }
  if (area.isValid())
    SetBounds(area.x() + (area.width() - FWidth) / 2, area.y() + (area.height() - FHeight) / 2,
              FWidth, FHeight);
}

void TCustomForm::UpdateWindowFlags() {
  if (FParent) {
    FWidget->setWindowFlags(Qt::Widget);
    ApplyBounds();
    return;
  }
  Qt::WindowFlags f = Qt::Window;
  switch (FBorderStyle) {
    case bsNone:
      f |= Qt::FramelessWindowHint;
      break;
    case bsDialog:
      f = Qt::Dialog;
      break;
    case bsToolWindow:
    case bsSizeToolWin:
      f = Qt::Tool;
      break;
    default:
      break;
  }
  if (FBorderStyle != bsNone) {
    f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (FBorderIcons & (1 << biSystemMenu))
      f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((FBorderIcons & (1 << biMinimize)) && FBorderStyle != bsDialog)
      f |= Qt::WindowMinimizeButtonHint;
    if ((FBorderIcons & (1 << biMaximize)) && FBorderStyle != bsDialog)
      f |= Qt::WindowMaximizeButtonHint;
    if (FBorderIcons & (1 << biHelp)) f |= Qt::WindowContextHelpButtonHint;
  }
  if (FFormStyle == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  const bool shown = FWidget->isVisible();
  FWidget->setWindowFlags(f);
  if (!IsFixedSize()) {
    FWidget->setMinimumSize(Constraints()->MinWidth(), Constraints()->MinHeight());
    FWidget->setMaximumSize(
        Constraints()->MaxWidth() ? Constraints()->MaxWidth() : QWIDGETSIZE_MAX,
        Constraints()->MaxHeight() ? Constraints()->MaxHeight() : QWIDGETSIZE_MAX);
  }
  ApplyBounds();
  if (shown) FWidget->show();
}

// Single, dialog and tool-window borders do not let the user resize the window.
bool TCustomForm::IsFixedSize() const {
  return !FParent &&
         (FBorderStyle == bsSingle || FBorderStyle == bsDialog || FBorderStyle == bsToolWindow);
}

void TCustomForm::ApplyBounds() {
  if (FWidget && IsFixedSize()) FWidget->setFixedSize(FWidth, FHeight);
  TControl::ApplyBounds();
}

void TCustomForm::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v;
  UpdateWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  FBorderIcons = v & 0x0F;
  UpdateWindowFlags();
}

void TCustomForm::SetPosition(TPosition v) {
  FPosition = v;
  if (FWidget->isVisible() && !FParent) ApplyPosition();
}

TWindowState TCustomForm::WindowState() const {
  if (!FWidget->isVisible() || FParent) return FWindowState;
  const Qt::WindowStates s = FWidget->windowState();
  if (s & Qt::WindowMinimized) return wsMinimized;
  if (s & Qt::WindowMaximized) return wsMaximized;
  return wsNormal;
}

void TCustomForm::SetWindowState(TWindowState v) {
  FWindowState = v;
  if (FParent || !FVisible) return;
  UpdateWidgetVisibility();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
  FFormStyle = v;
  UpdateWindowFlags();
}

void TCustomForm::SetAlphaBlend(bool v) {
  FAlphaBlend = v;
  FWidget->setWindowOpacity(v ? FAlphaBlendValue / 255.0 : 1.0);
}

void TCustomForm::SetAlphaBlendValue(int v) {
  FAlphaBlendValue = std::clamp(v, 0, 255);
  if (FAlphaBlend) FWidget->setWindowOpacity(FAlphaBlendValue / 255.0);
}

TWinControl* TCustomForm::ActiveControl() const {
  QWidget* fw = FWidget->focusWidget();
  for (QWidget* w = fw; w && w != FWidget; w = w->parentWidget())
    if (auto* c = dynamic_cast<TWinControl*>(FindControl(w)))
      return ContainsControl(c) ? c : nullptr;
  return nullptr;
}

bool TCustomForm::Active() const {
  return FWidget->isActiveWindow();
}

void TCustomForm::Close() {
  SetVisible(false);
}

void TCustomForm::BeforeDestruction() {
  FireEvent("OnDestroy");
}

QMenuBar* TCustomForm::MenuBar() {
  if (!f->MenuBar) {
    f->MenuBar = new QMenuBar(FWidget);
    // Alt and the access key open a menu only where a bar would take them.
    f->MenuBar->setNativeMenuBar(false);
    f->MenuBar->hide();
  }
  return f->MenuBar;
}

// The bar shows while any of its items is visible; the client area starts below it.
void TCustomForm::MenuChanged() {
  if (!f->MenuBar || Destroying()) return;
  const QList<QAction*> actions = f->MenuBar->actions();
  const bool any = std::any_of(actions.begin(), actions.end(),
                               [](QAction* a) { return a->isVisible() && !a->isSeparator(); });
  const int height = any ? f->MenuBar->sizeHint().height() : 0;
  f->MenuBar->setVisible(any);
  PlaceMenuBar();
  if (height == f->MenuHeight) return;
  f->MenuHeight = height;
  ClientAreaChanged();
}

void TCustomForm::PlaceMenuBar() {
  if (!f->MenuBar || !f->MenuBar->isVisibleTo(FWidget)) return;
  f->MenuBar->setGeometry(0, 0, FWidth, f->MenuBar->sizeHint().height());
  f->MenuBar->raise();
}

void TCustomForm::ChildOffset(const TControl* child, int& dx, int& dy) const {
  const bool scrolls = child->Align() == alNone;
  dx = FBorderWidth - (scrolls ? f->X : 0);
  dy = FBorderWidth + f->MenuHeight - (scrolls ? f->Y : 0);
}

int TCustomForm::ClientWidth() const {
  const int bar = f->VBar && f->VBar->isVisibleTo(FWidget) ? f->VBar->sizeHint().width() : 0;
  return std::max(0, FWidth - bar - 2 * FBorderWidth);
}

int TCustomForm::ClientHeight() const {
  const int bar = f->HBar && f->HBar->isVisibleTo(FWidget) ? f->HBar->sizeHint().height() : 0;
  return std::max(0, FHeight - f->MenuHeight - bar - 2 * FBorderWidth);
}

void TCustomForm::SetBorderWidth(int v) {
  FBorderWidth = ClampSize(v);
  ClientAreaChanged();
  UpdateScrollRange();
}

void TCustomForm::Resized() {
  PlaceMenuBar();
  TScrollingWinControl::Resized();
  UpdateScrollRange();
}

// Many children change at once when a script builds a form: the range is worked out
// once control is back in the event loop.
void TCustomForm::ChildLayoutChanged() {
  if (!FAutoScroll || f->RangePending || Destroying()) return;
  f->RangePending = true;
  QTimer::singleShot(0, SignalContext(), [this] {
    f->RangePending = false;
    UpdateScrollRange();
  });
}

void TCustomForm::SetAutoScroll(bool v) {
  FAutoScroll = v;
  UpdateScrollRange();
}

int TCustomForm::ScrollY() const {
  return f->Y;
}

void TCustomForm::ScrollTo(int x, int y) {
  if (f->HBar) f->HBar->setValue(x);
  if (f->VBar) f->VBar->setValue(y);
}

void TCustomForm::UpdateScrollRange() {
  if (Destroying()) return;
  int right = 0, bottom = 0;
  if (FAutoScroll)
    for (TControl* c : FControls)
      if (c->Visible() && c->Align() == alNone) {
        right = std::max(right, c->Left() + c->Width());
        bottom = std::max(bottom, c->Top() + c->Height());
      }
  const int fullW = FWidth - 2 * FBorderWidth, fullH = FHeight - f->MenuHeight - 2 * FBorderWidth;
  if (!f->HBar && (right > fullW || bottom > fullH)) {
    f->HBar = new QScrollBar(Qt::Horizontal, FWidget);
    f->VBar = new QScrollBar(Qt::Vertical, FWidget);
    f->HBar->hide();
    f->VBar->hide();
    auto moved = [this] { FollowScrollBars(false); };
    QObject::connect(f->HBar, &QScrollBar::valueChanged, SignalContext(), moved);
    QObject::connect(f->VBar, &QScrollBar::valueChanged, SignalContext(), moved);
  }
  if (!f->HBar) return;
  const int hbar = f->HBar->sizeHint().height(), vbar = f->VBar->sizeHint().width();
  int viewW = fullW, viewH = fullH;
  bool needH = false, needV = false;
  for (int pass = 0; pass < 2; ++pass) {  // one bar's room can call for the other
    needH = right > viewW;
    needV = bottom > viewH;
    viewW = fullW - (needV ? vbar : 0);
    viewH = fullH - (needH ? hbar : 0);
  }
  const bool changed =
      needH != f->HBar->isVisibleTo(FWidget) || needV != f->VBar->isVisibleTo(FWidget);
  auto fit = [](QScrollBar* bar, bool need, int extent, int view) {
    bar->setVisible(need);
    bar->setRange(0, std::max(0, extent - view));
    bar->setPageStep(std::max(1, view));
    bar->setSingleStep(8);
  };
  fit(f->HBar, needH, right, viewW);
  fit(f->VBar, needV, bottom, viewH);
  // The bars run along the widget's edges, over the border margin.
  f->HBar->setGeometry(0, FHeight - hbar, FWidth - (needV ? vbar : 0), hbar);
  f->VBar->setGeometry(FWidth - vbar, f->MenuHeight, vbar,
                       FHeight - f->MenuHeight - (needH ? hbar : 0));
  f->HBar->raise();
  f->VBar->raise();
  FollowScrollBars(changed);
}

// The view follows the bars; a hidden bar leaves it at its origin on that axis.
void TCustomForm::FollowScrollBars(bool force) {
  const int x = f->HBar->isVisibleTo(FWidget) ? f->HBar->value() : 0;
  const int y = f->VBar->isVisibleTo(FWidget) ? f->VBar->value() : 0;
  if (!force && x == f->X && y == f->Y) return;
  f->X = x;
  f->Y = y;
  ClientAreaChanged();
}

void TCustomForm::FontChanged() {
  TScrollingWinControl::FontChanged();
  MenuChanged();  // the bar's height follows the font
}
