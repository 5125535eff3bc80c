// Creating, laying out and destroying 10,000 buttons on a form: through the class
// registry and generic property access, against the same with plain Qt calls. As a
// script does, the buttons are placed while the form is hidden, then it is shown.

#include <QApplication>
#include <QPushButton>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <string>

#include "Classes.h"
#include "Forms.h"
#include "TypInfo.h"

namespace {

constexpr int kButtons = 10000;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double ThroughModel() {
  const auto start = Clock::now();
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 1000, 800);
  TClass cls = FindClass("tbutton");
  const TPropInfo* left = GetPropInfo(cls, "Left");
  const TPropInfo* top = GetPropInfo(cls, "Top");
  const TPropInfo* width = GetPropInfo(cls, "Width");
  const TPropInfo* height = GetPropInfo(cls, "Height");
  const TPropInfo* caption = GetPropInfo(cls, "Caption");
  const TPropInfo* name = GetPropInfo(cls, "Name");
  for (int i = 0; i < kButtons; ++i) {
    auto* b = static_cast<TControl*>(cls->Create(form));
    b->SetParent(form);
    SetStrProp(b, name, "Button" + std::to_string(i + 1));
    SetStrProp(b, caption, "OK " + std::to_string(i));
    SetOrdProp(b, left, (i % 10) * 100);
    SetOrdProp(b, top, (i / 10) % 32 * 25);
    SetOrdProp(b, width, 95);
    SetOrdProp(b, height, 24);
  }
  form->Show();
  QApplication::processEvents();
  form->Free();
  return Seconds(start);
}

double ThroughQt() {
  const auto start = Clock::now();
  auto* form = new QWidget;
  form->setGeometry(0, 0, 1000, 800);
  for (int i = 0; i < kButtons; ++i) {
    auto* b = new QPushButton(form);
    b->setObjectName(QString("Button%1").arg(i + 1));
    b->setText(QString("OK %1").arg(i));
    b->setGeometry((i % 10) * 100, (i / 10) % 32 * 25, 95, 24);
    b->show();
  }
  form->show();
  QApplication::processEvents();
  delete form;
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  RegisterCreatableClasses();
  ThroughQt();  // warm-up: fonts, styles, first allocations
  const double qt = ThroughQt();
  const double model = ThroughModel();
  std::printf("%d buttons: plain Qt %.3f s, component model %.3f s, ratio %.2f\n", kButtons, qt,
              model, model / qt);
  return 0;
}
