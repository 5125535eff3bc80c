#pragma once

// Qt side of the model, shared by its own files only.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

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

// Controls' widgets skip the toolkit's accessibility objects until an assistive
// technology is active (Controls_accessible.cpp); the first call sets this up.
void QuietAccessibilityWhileUnused();
// The widgets of all controls alive.
std::vector<QWidget*> ControlWidgets();

// Which user actions a control turns into its published events.
enum TControlEvents : unsigned {
  ceClick = 1,       // mouse release inside: OnClick
  ceDblClick = 2,    // OnDblClick
  ceMouseHover = 4,  // OnMouseEnter, OnMouseLeave
  ceForm = 8,        // OnShow, OnHide, OnActivate, OnDeactivate, OnPaint, OnResize
  ceFocus = 16,      // OnEnter, OnExit
};

// Signal context of one control (TControl::SignalContext). Deleting it disconnects
// every connection made with it as context, so nothing reaches a control being
// destroyed; Control is null once the control is gone while the context waits.
struct TControlPrivate : public QObject {
  explicit TControlPrivate(TControl* c) : Control(c) {}
  TControl* Control;
};

// The one event filter of every control's widget (and of a scroll area's viewport). It
// finds the control by the widget, so a widget whose control is gone is left alone;
// one shared filter costs a widget less than an object of its own.
struct TControlFilter : public QObject {
  static TControlFilter* Instance();
  bool eventFilter(QObject* watched, QEvent* event) override;
  static void Watch(QWidget* w);  // also the viewport of a scroll area
  static bool Fire(TControl* c, const char* event) { return c->FireEvent(event); }
  static void FocusChanged(QWidget* old, QWidget* now);
};

// The parent a control's own widget is made in (see TNewControlParent), or null. Taken
// once: the first widget made asks, any made after it get null.
QWidget* NewWidgetParent();

// Adds the per-class event set (called by constructors).
void EnableControlEvents(TControl* c, unsigned events);
TControlPrivate* ControlPrivate(TControl* c);  // made on first use
