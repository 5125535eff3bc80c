// Accessibility of the controls' widgets while no assistive technology listens.
//
// Qt 6.4 makes a full accessibility object for every widget whose text is set (a
// button's caption), listening or not: a third of the toolkit's work for a control
// that a script makes. While no assistive technology is active, a control's widget
// gets a placeholder instead, which costs next to nothing; the moment one becomes
// active, every placeholder is dropped and the toolkit makes the real objects as it is
// asked for them.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>
#include <vector>

#include "WidgetSupport.h"

namespace {

bool gListening = false;  // an assistive technology became active

// Describes nothing. The toolkit's cache owns it and deletes it with its widget.
class TQuietAccessible final : public QAccessibleInterface {
 public:
  explicit TQuietAccessible(QObject* object) : FObject(object) {}
  bool isValid() const override { return FObject != nullptr; }
  QObject* object() const override { return FObject; }
  QWindow* window() const override { return nullptr; }
  QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
      QAccessible::Relation) const override {
    return {};
  }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return nullptr; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text) const override { return {}; }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return {}; }
  QAccessible::Role role() const override { return QAccessible::NoRole; }
  QAccessible::State state() const override { return {}; }

 private:
  QObject* FObject;
};

bool Listening() {
  return gListening || QAccessible::isActive();
}

QAccessibleInterface* QuietFactory(const QString&, QObject* object) {
  if (Listening() || !object->isWidgetType()) return nullptr;
  if (!FindControl(static_cast<QWidget*>(object))) return nullptr;
  return new TQuietAccessible(object);
}

struct TActivation final : QAccessible::ActivationObserver {
  void accessibilityActiveChanged(bool active) override {
    gListening = active;
    if (!active) return;
    // Each control's widget: its placeholder leaves the toolkit's cache, which deletes
    // it; a widget that had none gets its real object now.
    for (QWidget* w : ControlWidgets()) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
      if (dynamic_cast<TQuietAccessible*>(iface))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
  }
};

}  // namespace

void QuietAccessibilityWhileUnused() {
  static const bool installed = [] {
    static TActivation activation;
    QAccessible::installActivationObserver(&activation);
    // Asked before the toolkit's own factory, which was installed first.
    QAccessible::installFactory(QuietFactory);
    return true;
  }();
  (void)installed;
}
