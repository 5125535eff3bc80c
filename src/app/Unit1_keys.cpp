// Keys seen in every window of the program.

#include <sys/stat.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "Classes.h"
#include "Unit1.h"
#include "Unit1_runcycle_places.h"
#include "Unit1_testhook.h"
#include "u_jobject.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"
#include "vantor_utils.h"

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    if (watched == edMainFile) edMainFileKeyDown(static_cast<QKeyEvent*>(event)->key());
    if (IsNewKeyEvent(watched, event)) ApplicationEvents1Message(static_cast<QKeyEvent*>(event));
  }
  return false;  // the key goes on to its window as well
}

// One key press passes this filter once for each object it is delivered to: the
// window it arrived at, then its focus widget, then each parent that the widget let
// it travel up to. The same event object may be reused for the next key (it lives on
// the stack of the delivery), so the address alone does not tell a new key.
bool TForm1::IsNewKeyEvent(QObject* receiver, QEvent* event) {
  if (!receiver->isWidgetType()) {
    // A key from the window system reaches its top-level window first.
    keyEvent_ = event;
    keyFromWindow_ = true;
    keyReceiver_ = nullptr;
    return true;
  }
  auto* widget = static_cast<QWidget*>(receiver);
  bool travelling = false;
  if (event == keyEvent_) {
    if (keyFromWindow_) {
      travelling = true;
    } else if (QWidget* previous = keyReceiver_.data()) {
      // A key sent straight to a widget travels to the direct parent, never past a window.
      travelling = !previous->isWindow() && previous->parentWidget() == widget;
    }
  }
  if (!travelling) {
    keyEvent_ = event;
    keyFromWindow_ = false;
  }
  keyReceiver_ = widget;
  return !travelling;
}

void TForm1::ApplicationEvents1Message(QKeyEvent* key) {
  const Qt::KeyboardModifiers mods = key->modifiers();
  if (mods & Qt::AltModifier) return;  // system keys are not seen
  const bool ctrl = mods & Qt::ControlModifier;
  // The commands run once the key has been delivered: Run and Stop may tear down the
  // window that holds the key's widget, and Save may ask a question.
  if (key->key() == Qt::Key_F9) {
    QTimer::singleShot(0, this, [this] { btRunClick(); });
  } else if (key->key() == Qt::Key_S && ctrl && !(mods & Qt::ShiftModifier)) {
    QTimer::singleShot(0, this, [this] { btSaveClick(); });
  } else if (key->key() == Qt::Key_F2 && ctrl) {
    QTimer::singleShot(0, this, [this] { btStopClick(); });
  }
}
