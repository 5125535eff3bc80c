#pragma once

// Qt side of the model, shared by its own files only.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

#include "Controls.h"
#include "Graphics.h"

class QEvent;
class QKeyEvent;
class QWheelEvent;

inline QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
inline std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

QColor ToQColor(TColor c);
QFont ToQFont(const TFont& f);
// The font a new TFont starts with.
QFont DefaultFont();

// Which user actions a control turns into its published events.
enum TControlEvents : unsigned {
  ceClick = 1,       // mouse release inside: OnClick
  ceDblClick = 2,    // OnDblClick
  ceMouseHover = 4,  // OnMouseEnter, OnMouseLeave
  ceForm = 8,        // OnShow, OnHide, OnActivate, OnDeactivate, OnPaint, OnResize
  ceFocus = 16,      // OnEnter, OnExit
};

// Event filter and signal context of one control. Deleting it disconnects every
// connection made with it as context, so nothing reaches a control being destroyed.
struct TControlPrivate : public QObject {
  explicit TControlPrivate(TControl* c) : Control(c) {}
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Watch(QWidget* w);  // also the viewport of a scroll area
  static bool Fire(TControl* c, const char* event) { return c->FireEvent(event); }
  static void FocusChanged(QWidget* old, QWidget* now);

  TControl* Control;
  unsigned Events = 0;
  // Before the window's shortcuts see a key: 1 the control takes it, -1 the shortcuts
  // get it even where the widget would keep it, 0 the widget decides.
  std::function<int(QKeyEvent* e)> ShortcutKey;
  // A key press the control handles itself; true consumes it.
  std::function<bool(QKeyEvent* e)> KeyHook;
  // A wheel turn that reached the control (a form scrolls); true consumes it.
  std::function<bool(QWheelEvent* e)> WheelHook;
  bool Pressed = false;
};

// The parent a control's own widget is made in (see TNewControlParent), or null. Taken
// once: the first widget made asks, any made after it get null.
QWidget* NewWidgetParent();

// Adds the per-class event set (called by constructors).
void EnableControlEvents(TControl* c, unsigned events);
TControlPrivate* ControlPrivate(TControl* c);
