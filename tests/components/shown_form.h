#pragma once
// A shown, active form to put controls on, for the tests that drive real widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Forms.h"

struct ShownForm {
  TForm form{nullptr};
  ShownForm() {
    form.SetBounds(100, 100, 400, 300);
    form.Show();
    QApplication::setActiveWindow(form.Widget());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.Widget()));
  }
  template <class T>
  T* Add(int left, int top) {
    auto* c = new T(&form);
    c->SetParent(&form);
    c->SetLeft(left);
    c->SetTop(top);
    return c;
  }
};
