// Creating, naming, captioning, placing and destroying 10,000 buttons on a hidden form:
// through the class registry and generic property access, against the same with plain
// Qt calls, in rounds with the order rotated (min / median / max of the ratio). Nothing
// is shown or painted: painting is the same on both sides and would hide the
// difference. What a script pays for the same buttons is bench/compare's create row.
// Run: bench/bench_components [rounds]

#include <QApplication>
#include <QPushButton>
#include <QWidget>
#include <cstdio>
#include <string>

#include "Classes.h"
#include "Forms.h"
#include "TypInfo.h"
#include "bench_support.h"

namespace {

constexpr int kButtons = 10000;

struct TTimes {
  double Create = 0, Free = 0;
};

TTimes ThroughModel() {
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
  const auto made = Clock::now();
  form->Free();
  return {Ms(made - start), Ms(Clock::now() - made)};
}

TTimes ThroughQt() {
  const auto start = Clock::now();
  auto* form = new QWidget;
  form->setGeometry(0, 0, 1000, 800);
  for (int i = 0; i < kButtons; ++i) {
    auto* b = new QPushButton(form);
    b->setObjectName(QString("Button%1").arg(i + 1));
    b->setText(QString("OK %1").arg(i));
    b->setGeometry((i % 10) * 100, (i / 10) % 32 * 25, 95, 24);
  }
  const auto made = Clock::now();
  // Each new widget has a style request posted; deleting a widget with posted events
  // searches the whole queue, once per child. A program that frees thousands of new
  // widgets drops those requests first, in one pass.
  QCoreApplication::removePostedEvents(nullptr, QEvent::PolishRequest);
  delete form;
  return {Ms(made - start), Ms(Clock::now() - made)};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::stoi(argv[1])) : 15;
  RegisterCreatableClasses();
  ThroughQt();  // warm-up: fonts, styles, first allocations
  ThroughModel();
  std::vector<TTimes> qt, model;
  const auto run = InRounds(rounds, {[&] {
                                       qt.push_back(ThroughQt());
                                       return 0.0;
                                     },
                                     [&] {
                                       model.push_back(ThroughModel());
                                       return 0.0;
                                     }});
  auto part = [](const std::vector<TTimes>& v, double TTimes::*field) {
    std::vector<double> out;
    for (const TTimes& t : v) out.push_back(t.*field);
    return out;
  };
  const auto qtCreate = part(qt, &TTimes::Create), qtFree = part(qt, &TTimes::Free);
  const auto modelCreate = part(model, &TTimes::Create), modelFree = part(model, &TTimes::Free);
  std::printf(
      "%d buttons, %d rounds, order rotated; medians: create plain Qt %.1f ms, "
      "component model %.1f ms; free plain Qt %.1f ms, component model %.1f ms\n",
      kButtons, rounds, Median(qtCreate), Median(modelCreate), Median(qtFree), Median(modelFree));
  std::printf("%-44s %6s / %6s / %6s\n", "component model ÷ plain Qt", "min", "median", "max");
  PrintSpread("create", RatioSpread(modelCreate, qtCreate));
  PrintSpread("free", RatioSpread(modelFree, qtFree));
  return 0;
}
