#include "test.h"

#include <QCheckBox>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTableWidget>
#include <QTextEdit>

TForm2* Form2 = nullptr;

namespace {
int ClickCount = 0;
}

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
  setObjectName("Form2");
  setWindowTitle("Form2");
  resize(849, 480);

  Label1 = new QLabel("Label1", this);
  Label1->setObjectName("Label1");
  Label1->move(16, 8);

  auto* values = new QTableWidget(2, 2, this);
  values->setObjectName("ValueListEditor1");
  values->setHorizontalHeaderLabels({"Key", "Value"});
  values->verticalHeader()->hide();
  values->setGeometry(16, 32, 240, 120);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  // Two columns: items flow down and wrap into the next column.
  ListBox1->setFlow(QListView::TopToBottom);
  ListBox1->setWrapping(true);
  ListBox1->setGeometry(272, 32, 180, 120);
  connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("ScrollBox1");
  scroll->setGeometry(468, 32, 180, 120);

  auto* checks = new QListWidget(this);
  checks->setObjectName("CheckListBox1");
  checks->setGeometry(664, 32, 160, 120);

  auto* memo = new QPlainTextEdit("Memo1", this);
  memo->setObjectName("Memo1");
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setGeometry(16, 168, 240, 140);

  auto* rich = new QTextEdit(this);
  rich->setObjectName("RichEdit1");
  rich->setFont(QFont("Courier", 10));
  rich->setPlainText("RichEdit1");
  rich->setGeometry(272, 168, 376, 140);

  auto* labeled = new QLabel("LabeledEdit1", this);
  labeled->setObjectName("LabeledEdit1Label");
  labeled->move(664, 168);
  auto* edit = new QLineEdit(this);
  edit->setObjectName("LabeledEdit1");
  edit->setGeometry(664, 186, 160, 21);
  labeled->setBuddy(edit);
}

void TForm2::ListBox1Click() {
  ++ClickCount;
  Label1->setText(QString::number(ClickCount));
  Label1->adjustSize();
}
