// Forms: top-level windows, or child windows inside a parent control.

#include "Forms.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "Menus.h"
#include "ModelInternals.h"
#include "WidgetSupport.h"

ORVEL_IMPLEMENT_CLASS(TControlScrollBar, TPersistent, nullptr)

ORVEL_IMPLEMENT_CLASS(TScrollingWinControl, TWinControl,
                      ORVEL_COMPONENT_FACTORY(TScrollingWinControl))

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TScrollingWinControl(AOwner, new QWidget) {}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner, QWidget* widget)
    : TWinControl(AOwner, widget),
      FHorzScrollBar(std::make_unique<TControlScrollBar>(sbHorizontal)),
      FVertScrollBar(std::make_unique<TControlScrollBar>(sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() = default;

struct TFormPrivate {
  QMenuBar* MenuBar = nullptr;  // a child of the form's widget, made on first need
  int MenuHeight = 0;           // room the bar takes while it shows an item
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

void TCustomForm::SetActiveControl(TWinControl* c) {
  if (!c) return;
  if (!ContainsControl(c)) throw EComponentError("The control is not on this form");
  c->Widget()->setFocus(Qt::OtherFocusReason);
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

int TCustomForm::ClientTop() const {
  return f->MenuHeight;
}

int TCustomForm::ClientHeight() const {
  return std::max(0, FHeight - f->MenuHeight);
}

void TCustomForm::Resized() {
  PlaceMenuBar();
  TScrollingWinControl::Resized();
}

void TCustomForm::FontChanged() {
  TScrollingWinControl::FontChanged();
  MenuChanged();  // the bar's height follows the font
}
