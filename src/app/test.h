#pragma once
// The second form: created at start, never shown, nothing refers to it.

#include <QWidget>

class QLabel;
class QListWidget;

class TForm2 final : public QWidget {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(TForm2)

  void ListBox1Click();

  QLabel* Label1 = nullptr;
  QListWidget* ListBox1 = nullptr;
};

extern TForm2* Form2;
