// The reference for the component-model rows of bench/compare: the same work a script
// asks of `nw("TButton", name, caption)` done on plain Qt widgets, nothing else linked.
//   qt_buttons N create   prints the milliseconds to create N named, captioned,
//                         placed buttons on a form (not shown), then frees them
//   qt_buttons N hold     creates them, prints "ready" and waits for its input to close
//                         (the driver reads the resident memory meanwhile)
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qt_buttons N create|hold\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  const bool hold = std::strcmp(argv[2], "hold") == 0;
  QApplication app(argc, argv);
  auto* form = new QWidget;
  form->setObjectName("f");
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < n; ++i) {
    auto* b = new QPushButton(form);
    b->setObjectName(QString("b%1").arg(i));
    b->setText("b");
    b->setGeometry(i % 50, i % 40, 75, 25);
  }
  const double created = timer.nsecsElapsed() / 1e6;
  if (hold) {
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
  } else {
    std::printf("%.3f\n", created);
  }
  delete form;
  return 0;
}
