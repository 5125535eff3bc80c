// Controls on Qt widgets: parent, bounds, alignment, anchors, font, colour, hints,
// focus, and the user actions that become events.

#include "Controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <unordered_map>

#include "ModelInternals.h"
#include "WidgetSupport.h"

namespace {

QWidget* gNewWidgetParent = nullptr;

// From this many children on, a window being freed first delivers the style requests
// still posted (one pass over the queue instead of one per child).
constexpr size_t kManyChildren = 64;

// Keyed by the widget as an object, so the event filter can ask without a cast.
std::pmr::unordered_map<const QObject*, TControl*>& WidgetMap() {
  static std::pmr::unordered_map<const QObject*, TControl*> map(ModelPool());
  return map;
}

Qt::CursorShape CursorShape(TCursor c) {
  switch (c) {
    case crNone:
      return Qt::BlankCursor;
    case crCross:
      return Qt::CrossCursor;
    case crIBeam:
      return Qt::IBeamCursor;
    case crSizeNESW:
      return Qt::SizeBDiagCursor;
    case crSizeNS:
      return Qt::SizeVerCursor;
    case crSizeNWSE:
      return Qt::SizeFDiagCursor;
    case crSizeWE:
      return Qt::SizeHorCursor;
    case crUpArrow:
      return Qt::UpArrowCursor;
    case crHourGlass:
      return Qt::WaitCursor;
    case crDrag:
      return Qt::DragCopyCursor;
    case crNoDrop:
      return Qt::ForbiddenCursor;
    case crHSplit:
      return Qt::SplitHCursor;
    case crVSplit:
      return Qt::SplitVCursor;
    case crMultiDrag:
      return Qt::DragCopyCursor;
    case crSQLWait:
      return Qt::WaitCursor;
    case crNo:
      return Qt::ForbiddenCursor;
    case crAppStart:
      return Qt::BusyCursor;
    case crHelp:
      return Qt::WhatsThisCursor;
    case crHandPoint:
      return Qt::PointingHandCursor;
    case crSizeAll:
      return Qt::SizeAllCursor;
    default:
      return Qt::ArrowCursor;
  }
}

// The control as a windowed one, or null; by its class record, which is cheaper than
// dynamic_cast on paths every new control takes.
TWinControl* AsWinControl(TControl* c) {
  return IsWinControl(c) ? static_cast<TWinControl*>(c) : nullptr;
}

// The windowed controls that hold the widget, innermost first.
std::vector<TWeakRef<TWinControl>> FocusChain(QWidget* w) {
  std::vector<TWeakRef<TWinControl>> chain;
  for (; w; w = w->parentWidget()) {
    if (TControl* c = FindControl(w)) {
      for (TControl* p = c; p; p = p->Parent())
        if (auto* wc = dynamic_cast<TWinControl*>(p)) chain.emplace_back(wc);
      break;
    }
  }
  return chain;
}

bool InChain(const std::vector<TWeakRef<TWinControl>>& chain, TWinControl* c) {
  return std::any_of(chain.begin(), chain.end(), [c](const auto& r) { return r.get() == c; });
}

void ConnectFocusTracking() {
  static bool connected = false;
  if (connected || !qApp) return;
  connected = true;
  QObject::connect(qApp, &QApplication::focusChanged, qApp, &TControlFilter::FocusChanged);
}

}  // namespace

// OnExit for the controls that focus left, innermost first; then OnEnter for those it
// entered, outermost first. Focus moving inside one control (a grid's cell editor)
// fires nothing.
void TControlFilter::FocusChanged(QWidget* old, QWidget* now) {
  const auto before = FocusChain(old);
  const auto after = FocusChain(now);
  for (const auto& r : before)
    if (TWinControl* c = r.get(); c && !InChain(after, c) && (c->FControlEvents & ceFocus))
      Fire(c, "OnExit");
  for (auto it = after.rbegin(); it != after.rend(); ++it)
    if (TWinControl* c = it->get(); c && !InChain(before, c) && (c->FControlEvents & ceFocus))
      Fire(c, "OnEnter");
}

TControlFilter* TControlFilter::Instance() {
  // Never destroyed: widgets may outlive any owner it could have.
  static TControlFilter* filter = new TControlFilter;
  return filter;
}

void TControlFilter::Watch(QWidget* w) {
  w->installEventFilter(Instance());
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
    area->viewport()->installEventFilter(Instance());
}

bool TControlFilter::eventFilter(QObject* watched, QEvent* e) {
  // A new widget asks to be styled when the event loop next runs; a script that makes
  // thousands of controls in one statement would have each styled while it runs (the
  // statement lets the loop run every 50 ms). The widget is styled anyway when it is
  // first shown or measured, as it would be without this request.
  if (e->type() == QEvent::PolishRequest) return true;
  // Watched: a control's own widget, or the viewport of its scroll area. A widget
  // whose control is gone is no longer found, even while it is being destroyed.
  auto& map = WidgetMap();
  auto it = map.find(watched);
  TControl* c = it == map.end() ? nullptr : it->second;
  if (!c)
    if (QObject* parent = watched->parent())
      if (auto* area = qobject_cast<QAbstractScrollArea*>(parent);
          area && area->viewport() == watched)
        if (auto at = map.find(parent); at != map.end()) c = at->second;
  if (!c || c->Destroying()) return false;
  QWidget* w = c->FWidget;
  const bool self = watched == w;
  const unsigned Events = c->FControlEvents;
  bool& Pressed = c->FPressed;
  switch (e->type()) {
    case QEvent::Resize:
      if (self && !c->FInSetBounds) {
        const QSize sz = static_cast<QResizeEvent*>(e)->size();
        if (sz.width() != c->FWidth || sz.height() != c->FHeight) {
          c->FWidth = sz.width();
          c->FHeight = sz.height();
          c->Resized();
        }
      }
      break;
    case QEvent::Move:
      if (self && !c->FInSetBounds && w->isWindow()) {
        // Client position, as setGeometry takes it (x() of a window is its frame's).
        c->FLeft = ClampCoord(w->geometry().x());
        c->FTop = ClampCoord(w->geometry().y());
      }
      break;
    case QEvent::MouseButtonPress:
      if ((Events & ceClick) && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        Pressed = true;
      break;
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(e);
      if (!(Events & ceClick) || me->button() != Qt::LeftButton || !Pressed) break;
      Pressed = false;
      auto* target = static_cast<QWidget*>(watched);
      const QPoint pos = me->position().toPoint();
      if (!target->rect().contains(pos)) break;
      // A form reacts only to clicks on itself, not on a child control.
      if ((Events & ceForm) && w->childAt(pos)) break;
      Fire(c, "OnClick");
      break;
    }
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(e);
      if (!(Events & ceDblClick) || me->button() != Qt::LeftButton) break;
      if ((Events & ceForm) && w->childAt(me->position().toPoint())) break;
      Fire(c, "OnDblClick");
      break;
    }
    case QEvent::ShortcutOverride: {
      const int verdict = c->ShortcutKey(static_cast<QKeyEvent*>(e));
      if (verdict > 0) e->accept();
      if (verdict < 0) e->ignore();
      if (verdict != 0) return true;
      break;
    }
    case QEvent::KeyPress:
      if (c->KeyHook(static_cast<QKeyEvent*>(e))) return true;
      break;
    case QEvent::Wheel:
      if (self && c->WheelHook(static_cast<QWheelEvent*>(e))) return true;
      break;
    case QEvent::Enter:
      if (self && (Events & ceMouseHover)) Fire(c, "OnMouseEnter");
      break;
    case QEvent::Leave:
      if (self && (Events & ceMouseHover)) Fire(c, "OnMouseLeave");
      break;
    case QEvent::Show:
      if (self && (Events & ceForm) && !e->spontaneous()) Fire(c, "OnShow");
      break;
    case QEvent::Hide:
      if (self && (Events & ceForm) && !e->spontaneous()) Fire(c, "OnHide");
      break;
    case QEvent::Close:
      // The user closed the window: it hides, and Visible follows.
      if (self && (Events & ceForm)) c->FVisible = false;
      break;
    case QEvent::WindowActivate:
      if (self && (Events & ceForm)) Fire(c, "OnActivate");
      break;
    case QEvent::WindowDeactivate:
      if (self && (Events & ceForm)) Fire(c, "OnDeactivate");
      break;
    case QEvent::Paint:
      if (self && (Events & ceForm)) Fire(c, "OnPaint");
      break;
    default:
      break;
  }
  return false;
}

void EnableControlEvents(TControl* c, unsigned events) {
  c->FControlEvents |= events;
}
TControlPrivate* ControlPrivate(TControl* c) {
  c->SignalContext();
  return c->d.get();
}

QObject* TControl::SignalContext() {
  if (!d) d = std::make_unique<TControlPrivate>(this);
  return d.get();
}

TNewControlParent::TNewControlParent(TWinControl* parent) {
  gNewWidgetParent = parent ? parent->Widget() : nullptr;
}

TNewControlParent::~TNewControlParent() {
  gNewWidgetParent = nullptr;
}

QWidget* NewWidgetParent() {
  return std::exchange(gNewWidgetParent, nullptr);
}

std::vector<QWidget*> ControlWidgets() {
  std::vector<QWidget*> out;
  out.reserve(WidgetMap().size());
  for (const auto& [widget, control] : WidgetMap()) out.push_back(control->Widget());
  return out;
}

TControl* FindControl(const QWidget* widget) {
  auto& map = WidgetMap();
  auto it = map.find(widget);
  return it == map.end() ? nullptr : it->second;
}

bool IsControl(const TObject* obj) {
  return obj && obj->InheritsFrom(TControl::StaticClass());
}
bool IsWinControl(const TObject* obj) {
  return obj && obj->InheritsFrom(TWinControl::StaticClass());
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TSizeConstraints, TPersistent, nullptr)

void TSizeConstraints::SetMaxHeight(int v) {
  FMaxHeight = ClampSize(v);
  if (FMaxHeight && FMinHeight > FMaxHeight) FMinHeight = FMaxHeight;
  Changed();
}
void TSizeConstraints::SetMaxWidth(int v) {
  FMaxWidth = ClampSize(v);
  if (FMaxWidth && FMinWidth > FMaxWidth) FMinWidth = FMaxWidth;
  Changed();
}
void TSizeConstraints::SetMinHeight(int v) {
  FMinHeight = ClampSize(v);
  if (FMaxHeight && FMinHeight > FMaxHeight) FMaxHeight = FMinHeight;
  Changed();
}
void TSizeConstraints::SetMinWidth(int v) {
  FMinWidth = ClampSize(v);
  if (FMaxWidth && FMinWidth > FMaxWidth) FMaxWidth = FMinWidth;
  Changed();
}

void TSizeConstraints::Assign(const TPersistent& source) {
  const auto* s = dynamic_cast<const TSizeConstraints*>(&source);
  if (!s) return TPersistent::Assign(source);
  FMaxHeight = s->FMaxHeight;
  FMaxWidth = s->FMaxWidth;
  FMinHeight = s->FMinHeight;
  FMinWidth = s->FMinWidth;
  Changed();
}

void TSizeConstraints::Changed() {
  if (!FControl) return;
  QWidget* w = FControl->Widget();
  w->setMinimumSize(FMinWidth, FMinHeight);
  w->setMaximumSize(FMaxWidth ? FMaxWidth : QWIDGETSIZE_MAX,
                    FMaxHeight ? FMaxHeight : QWIDGETSIZE_MAX);
  FControl->SetBounds(FControl->Left(), FControl->Top(), FControl->Width(), FControl->Height());
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TControl, TComponent, ORVEL_COMPONENT_FACTORY(TControl))

TControl::TControl(TComponent* AOwner) : TControl(AOwner, new QWidget(NewWidgetParent())) {}

TControl::TControl(TComponent* AOwner, QWidget* widget) : TComponent(AOwner), FWidget(widget) {
  // A class whose widget did not take the parent leaves it to no other widget.
  gNewWidgetParent = nullptr;
  ConnectFocusTracking();
  QuietAccessibilityWhileUnused();
  WidgetMap()[FWidget] = this;
  // No hide(): a widget without a parent is a window, and a window never shows
  // unless asked; hiding it on purpose would keep it hidden inside its parent later.
  TControlFilter::Watch(FWidget);
}

TFont* TControl::Font() const {
  if (!FFont) {
    FFont = std::make_unique<TFont>();
    auto* self = const_cast<TControl*>(this);
    FFont->OnChange = [self](TObject*) {
      if (!self->FApplyingParentFont) self->FParentFont = false;
      self->FontChanged();
    };
  }
  return FFont.get();
}

TSizeConstraints* TControl::Constraints() const {
  if (!FConstraints) FConstraints = std::make_unique<TSizeConstraints>(const_cast<TControl*>(this));
  return FConstraints.get();
}

TControl::~TControl() {
  if (FFont) FFont->OnChange = nullptr;
  if (FParent) {
    TWinControl* p = FParent;
    FParent = nullptr;
    EraseLast(p->FControls, this);
    EraseLast(p->FTabList, static_cast<TControl*>(this));
    if (!p->Destroying() && FAlign != alNone) p->AlignControls();
    if (!p->Destroying()) p->ChildLayoutChanged();
  }
  WidgetMap().erase(FWidget);
  QWidget* w = std::exchange(FWidget, nullptr);
  if (InsideEventHandler()) {
    // The toolkit may be inside a signal of this widget (a click handler freeing its
    // own button): detach everything now, delete once control is back in the loop.
    w->disconnect();
    w->hide();
    w->deleteLater();
    if (d) {
      d->Control = nullptr;
      d.release()->deleteLater();
    }
  } else {
    d.reset();
    delete w;
  }
}

void TControl::LeaveHolders() {
  if (FParent) {
    EraseLast(FParent->FControls, this);
    EraseLast(FParent->FTabList, static_cast<TControl*>(this));
    FParent = nullptr;
    // The parent's widget must not take this one down with it.
    if (FWidget) {
      FWidget->hide();
      FWidget->setParent(nullptr);
    }
  }
  TComponent::LeaveHolders();
}

TComponent* TControl::ParentHolder() const {
  return FParent;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (parent) {
    if (parent == this) throw EComponentError("A control cannot be its own parent");
    if (auto* self = AsWinControl(this);
        self && !self->FControls.empty() && self->ContainsControl(parent))
      throw EComponentError("A control cannot be placed inside one of its own children");
    if (parent->Destroying()) throw EComponentError("The new parent is being destroyed");
  }
  TWinControl* old = FParent;
  if (old) {
    EraseLast(old->FControls, this);
    EraseLast(old->FTabList, static_cast<TControl*>(this));
  }
  FParent = parent;
  // A widget made inside its parent from the start (TNewControlParent) stays as it is.
  if (QWidget* pw = parent ? parent->FWidget : nullptr; FWidget->parentWidget() != pw || !pw)
    FWidget->setParent(pw);
  if (parent) {
    parent->FControls.push_back(this);
    if (auto* wc = AsWinControl(this)) {
      // A newcomer goes last in the tab chain: one link, not a rebuild.
      if (!parent->FTabList.empty())
        QWidget::setTabOrder(parent->FTabList.back()->FWidget, FWidget);
      parent->FTabList.push_back(wc);
    }
    // Two fonts never made are both the default: nothing to copy.
    if (FParentFont && (FFont || parent->FFont)) {
      FApplyingParentFont = true;
      Font()->Assign(*parent->Font());
      FApplyingParentFont = false;
    }
    if (FParentColor) {
      FColor = parent->FColor;
      ColorChanged();
    }
    if (FParentBiDiMode && FBiDiMode != parent->FBiDiMode) InheritBiDiMode(parent->FBiDiMode);
  }
  ApplyBounds();
  RememberAnchorDistances();
  UpdateToolTip();
  UpdateWidgetVisibility();
  if (old && FAlign != alNone) old->AlignControls();
  if (parent && FAlign != alNone) parent->AlignControls();
  if (old) old->ChildLayoutChanged();
  if (parent) parent->ChildLayoutChanged();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left = ClampCoord(left);
  top = ClampCoord(top);
  width = ClampSize(width);
  height = ClampSize(height);
  if (FConstraints) {
    if (FConstraints->MinWidth()) width = std::max(width, FConstraints->MinWidth());
    if (FConstraints->MaxWidth()) width = std::min(width, FConstraints->MaxWidth());
    if (FConstraints->MinHeight()) height = std::max(height, FConstraints->MinHeight());
    if (FConstraints->MaxHeight()) height = std::min(height, FConstraints->MaxHeight());
  }
  const bool sized = width != FWidth || height != FHeight;
  const bool moved = left != FLeft || top != FTop;
  if (!sized && !moved) return;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  ApplyBounds();
  if (!FAnchoring) RememberAnchorDistances();
  if (FParent && FAlign != alNone && !FParent->FAligning) FParent->AlignControls();
  if (FParent) FParent->ChildLayoutChanged();
  if (sized) Resized();
}

void TControl::ApplyBounds() {
  // A child's widget without a parent is a hidden window: placing it would give it
  // window data it never uses. SetParent places it.
  if (!FWidget || (!FParent && !OwnWindow())) return;
  int dx = 0, dy = 0;
  if (FParent) FParent->ChildOffset(this, dx, dy);
  FInSetBounds = true;
  FWidget->setGeometry(FLeft + dx, FTop + dy, FWidth, FHeight);
  FInSetBounds = false;
}

void TControl::RememberAnchorDistances() {
  if (!FParent) return;
  FAnchorRight = FParent->ClientWidth() - (FLeft + FWidth);
  FAnchorBottom = FParent->ClientHeight() - (FTop + FHeight);
}

int TControl::ClientWidth() const {
  return FWidth;
}
int TControl::ClientHeight() const {
  return FHeight;
}
void TControl::SetClientWidth(int v) {
  SetWidth(ClampSize(v) + (FWidth - ClientWidth()));
}
void TControl::SetClientHeight(int v) {
  SetHeight(ClampSize(v) + (FHeight - ClientHeight()));
}

void TControl::Resized() {}

void TControl::NameChanged(const std::string& oldName) {
  if (FCaptionFollowsName && Caption() == oldName) SetCaption(Name());
}

void TControl::SetAlign(TAlign v) {
  if (v == FAlign) return;
  const TAlign old = FAlign;
  FAlign = v;
  if (FParent && (old != alNone || v != alNone)) FParent->AlignControls();
  if (FParent) {
    ApplyBounds();  // aligned children do not scroll
    FParent->ChildLayoutChanged();
  }
}

void TControl::SetAnchors(TAnchors v) {
  FAnchors = v & 0x0F;
  RememberAnchorDistances();
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  UpdateWidgetVisibility();
  if (FParent && FAlign != alNone) FParent->AlignControls();
  if (FParent) FParent->ChildLayoutChanged();
}

void TControl::UpdateWidgetVisibility() {
  if (!FParent) {
    FWidget->hide();
    return;
  }
  // A child never hidden on purpose shows together with its parent, as Qt's own
  // children do; showing it now, while the parent is hidden, would only style
  // (polish) it ahead of time.
  if (FVisible && !FWidget->isHidden() && !FParent->FWidget->isVisible()) return;
  FWidget->setVisible(FVisible);
}

void TControl::SetEnabled(bool v) {
  FEnabled = v;
  FWidget->setEnabled(v);
}

std::string TControl::Caption() const {
  return S(FWidget->windowTitle());
}
void TControl::SetCaption(const std::string& text) {
  FWidget->setWindowTitle(Q(text));
}

void TControl::SetParentFont(bool v) {
  FParentFont = v;
  if (v && FParent && (FFont || FParent->FFont)) {
    FApplyingParentFont = true;
    Font()->Assign(*FParent->Font());
    FApplyingParentFont = false;
  }
}

void TControl::SetBiDiMode(TBiDiMode v) {
  FParentBiDiMode = false;
  InheritBiDiMode(v);
}

void TControl::SetParentBiDiMode(bool v) {
  FParentBiDiMode = v;
  if (v && FParent) InheritBiDiMode(FParent->FBiDiMode);
}

// Sets the mode and passes it on to the children that follow their parent.
void TControl::InheritBiDiMode(TBiDiMode v) {
  FBiDiMode = v;
  BiDiModeChanged();
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* c : w->FControls)
      if (c->FParentBiDiMode) c->InheritBiDiMode(v);
}

bool TControl::UseRightToLeftLayout() const {
  return FBiDiMode == bdRightToLeft || FBiDiMode == bdRightToLeftNoAlign;
}

void TControl::BiDiModeChanged() {
  FWidget->setLayoutDirection(UseRightToLeftLayout() ? Qt::RightToLeft : Qt::LeftToRight);
}

void TControl::FontChanged() {
  FWidget->setFont(ToQFont(*Font()));
  QPalette pal = FWidget->palette();
  const QColor fg = ToQColor(Font()->Color());
  pal.setColor(QPalette::WindowText, fg);
  pal.setColor(QPalette::Text, fg);
  pal.setColor(QPalette::ButtonText, fg);
  FWidget->setPalette(pal);
}

void TControl::SetColor(TColor v) {
  FParentColor = false;
  if (v == FColor) return;
  FColor = v;
  ColorChanged();
}

void TControl::SetParentColor(bool v) {
  FParentColor = v;
  if (v && FParent && FParent->FColor != FColor) {
    FColor = FParent->FColor;
    ColorChanged();
  }
}

void TControl::ColorChanged() {
  const QColor color = ToQColor(FColor);
  QPalette pal = FWidget->palette();
  // A widget that still has the toolkit's palette and already shows the colour keeps
  // that palette: one set on it would make each child widget, as it comes, resolve
  // its own palette against it in full.
  const bool shown = pal.color(QPalette::Active, QPalette::Window) == color &&
                     pal.color(QPalette::Inactive, QPalette::Window) == color &&
                     pal.color(QPalette::Disabled, QPalette::Window) == color;
  if (!shown || FWidget->testAttribute(Qt::WA_SetPalette)) {
    pal.setColor(QPalette::Window, color);
    FWidget->setPalette(pal);
  }
  FWidget->setAutoFillBackground(true);
}

void TControl::SetHint(const std::string& v) {
  FHint = v;
  UpdateToolTip();
}

void TControl::SetShowHint(bool v) {
  FShowHint = v;
  FParentShowHint = false;
  UpdateToolTip();
}

void TControl::SetParentShowHint(bool v) {
  FParentShowHint = v;
  UpdateToolTip();
}

bool TControl::EffectiveShowHint() const {
  const TControl* c = this;
  while (c->FParentShowHint && c->FParent) c = c->FParent;
  return c->FShowHint;
}

void TControl::UpdateToolTip() {
  // Setting even an empty tip gives the widget extra data of its own; skip no-ops.
  const QString tip = EffectiveShowHint() ? Q(FHint) : QString();
  if (tip != FWidget->toolTip()) FWidget->setToolTip(tip);
  if (auto* wc = AsWinControl(this))
    for (TControl* child : wc->FControls)
      if (child->FParentShowHint) child->UpdateToolTip();
}

void TControl::SetCursor(TCursor v) {
  FCursor = v;
  if (v == crDefault)
    FWidget->unsetCursor();
  else
    FWidget->setCursor(QCursor(CursorShape(v)));
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TWinControl, TControl, ORVEL_COMPONENT_FACTORY(TWinControl))

TWinControl::TWinControl(TComponent* AOwner)
    : TWinControl(AOwner, new QWidget(NewWidgetParent())) {}

TWinControl::TWinControl(TComponent* AOwner, QWidget* widget) : TControl(AOwner, widget) {
  EnableControlEvents(this, ceFocus);
}

TWinControl::~TWinControl() {
  // Child controls go before this widget, so Qt never deletes their widgets. First
  // to last, as Qt finds a child in its parent's list from the front; the lists are
  // taken over first so that no child searches them on its way out.
  FTabList.clear();
  // A widget destroyed with an event still posted to it has Qt search the whole
  // queue; thousands of children made since the loop last turned would each search
  // for their request to be styled (which the control filter drops anyway). The
  // requests are delivered first, once, as the loop's next turn would.
  if (FControls.size() >= kManyChildren)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
  while (!FControls.empty()) {
    // Weak: freeing one child may take another that it owns.
    std::vector<TWeakRef<TControl>> children(FControls.begin(), FControls.end());
    FControls.clear();
    for (const auto& c : children)
      if (c) FreeTree(c.get());
  }
}

TComponent* TWinControl::LastDependent() const {
  if (!FControls.empty()) return FControls.back();
  return TControl::LastDependent();
}

void TWinControl::TakeWaitingDependents(std::vector<TWeakRef<TObject>>& out) {
  if (Destroying()) return;
  auto waits = [](const TControl* c) { return c->FreePending() && !c->Destroying(); };
  const size_t before = FControls.size();
  bool aligned = false;
  auto keep = FControls.begin();
  for (TControl* c : FControls) {
    if (waits(c)) {
      c->FParent = nullptr;
      aligned = aligned || c->FAlign != alNone;
      out.emplace_back(c);
    } else {
      *keep++ = c;
    }
  }
  FControls.erase(keep, FControls.end());
  FTabList.erase(std::remove_if(FTabList.begin(), FTabList.end(), waits), FTabList.end());
  TControl::TakeWaitingDependents(out);
  if (FControls.size() == before) return;
  if (aligned) AlignControls();
  ChildLayoutChanged();
}

bool TWinControl::ContainsControl(const TControl* c) const {
  for (; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

int TWinControl::TabOrder() const {
  if (!FParent) return -1;
  const auto& ts = FParent->FTabList;
  auto it = std::find(ts.begin(), ts.end(), this);
  return it == ts.end() ? -1 : static_cast<int>(it - ts.begin());
}

void TWinControl::SetTabOrder(int v) {
  if (!FParent) return;
  auto& ts = FParent->FTabList;
  auto it = std::find(ts.begin(), ts.end(), this);
  if (it == ts.end()) return;
  ts.erase(it);
  v = std::clamp(v, 0, static_cast<int>(ts.size()));
  ts.insert(ts.begin() + v, this);
  FParent->UpdateTabChain();
}

void TWinControl::UpdateTabChain() {
  for (size_t i = 1; i < FTabList.size(); ++i)
    QWidget::setTabOrder(FTabList[i - 1]->FWidget, FTabList[i]->FWidget);
}

void TWinControl::SetTabStop(bool v) {
  FTabStop = v;
  if (FWidget->focusPolicy() != Qt::NoFocus)
    FWidget->setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TWinControl::Focused() const {
  QWidget* fw = QApplication::focusWidget();
  if (!fw) return false;
  for (QWidget* w = fw; w; w = w->parentWidget()) {
    if (TControl* c = FindControl(w)) return c == this;
  }
  return false;
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (!CanFocus() || !FWidget->isVisible())
    throw EComponentError("Cannot focus a disabled or invisible window");
  FWidget->window()->activateWindow();
  FWidget->setFocus(Qt::OtherFocusReason);
}

void TWinControl::Resized() {
  AlignControls();
  if (FControlEvents & ceForm) FireEvent("OnResize");
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : FControls)
    if (c->FParentFont) {
      c->FApplyingParentFont = true;
      c->Font()->Assign(*Font());
      c->FApplyingParentFont = false;
    }
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* c : FControls)
    if (c->FParentColor && c->FColor != FColor) {
      c->FColor = FColor;
      c->ColorChanged();
    }
}

void TWinControl::ChildOffset(const TControl*, int& dx, int& dy) const {
  dx = 0;
  dy = 0;
}

void TWinControl::ClientAreaChanged() {
  for (TControl* c : FControls) c->ApplyBounds();
  AlignControls();
}

void TWinControl::AlignControls() {
  if (FAligning || Destroying()) return;
  FAligning = true;
  int l = 0, t = 0, r = ClientWidth(), b = ClientHeight();
  auto place = [](TControl* c, int x, int y, int w, int h) {
    c->FAnchoring = true;
    c->SetBounds(x, y, w, h);
    c->FAnchoring = false;
  };
  auto take = [this](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : FControls)
      if (c->FAlign == a && c->FVisible) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop:
          return x->FTop < y->FTop;
        case alBottom:
          return x->FTop + x->FHeight > y->FTop + y->FHeight;
        case alLeft:
          return x->FLeft < y->FLeft;
        case alRight:
          return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
        default:
          return false;
      }
    });
    return list;
  };
  for (TControl* c : take(alTop)) {
    place(c, l, t, std::max(0, r - l), c->FHeight);
    t += c->FHeight;
  }
  for (TControl* c : take(alBottom)) {
    place(c, l, b - c->FHeight, std::max(0, r - l), c->FHeight);
    b -= c->FHeight;
  }
  for (TControl* c : take(alLeft)) {
    place(c, l, t, c->FWidth, std::max(0, b - t));
    l += c->FWidth;
  }
  for (TControl* c : take(alRight)) {
    place(c, r - c->FWidth, t, c->FWidth, std::max(0, b - t));
    r -= c->FWidth;
  }
  for (TControl* c : take(alClient)) place(c, l, t, std::max(0, r - l), std::max(0, b - t));
  // Anchored controls keep their distance to the right and bottom edges.
  const int cw = ClientWidth(), ch = ClientHeight();
  for (TControl* c : FControls) {
    if (c->FAlign != alNone) continue;
    int x = c->FLeft, y = c->FTop, w = c->FWidth, h = c->FHeight;
    const bool L = c->FAnchors & (1 << akLeft), R = c->FAnchors & (1 << akRight);
    const bool T = c->FAnchors & (1 << akTop), B = c->FAnchors & (1 << akBottom);
    if (R && !L) x = cw - c->FAnchorRight - w;
    if (R && L) w = std::max(0, cw - c->FAnchorRight - x);
    if (B && !T) y = ch - c->FAnchorBottom - h;
    if (B && T) h = std::max(0, ch - c->FAnchorBottom - y);
    if (x != c->FLeft || y != c->FTop || w != c->FWidth || h != c->FHeight) place(c, x, y, w, h);
  }
  FAligning = false;
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TGraphicControl, TControl, ORVEL_COMPONENT_FACTORY(TGraphicControl))

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
TGraphicControl::TGraphicControl(TComponent* AOwner, QWidget* widget) : TControl(AOwner, widget) {}

ORVEL_IMPLEMENT_CLASS(TCustomControl, TWinControl, ORVEL_COMPONENT_FACTORY(TCustomControl))

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}
TCustomControl::TCustomControl(TComponent* AOwner, QWidget* widget) : TWinControl(AOwner, widget) {}
