// From an error report in the log to its place: a double-click or Enter on a report's
// line opens the page of its file (opening one for an included file), puts the caret
// on the line and column; the last run's error lines are marked until the next run.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <memory>

#include "Unit1.h"
#include "test_support.h"
#include "u_myedit.h"

namespace {

class ErrorPlaces : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TForm1>();
    form_->SetWorkspaceFileName(dir_.Path("orvel.ini"));
    form_->ShowMessageHook = [](const std::string&, const std::string&) {};
    form_->ConfirmCloseWithObjectsHook = [] { return true; };
    form_->show();
    Settle();
  }
  void TearDown() override {
    form_.reset();
    Settle();
  }

  // The first log line that starts with "err> unit" and contains `text`.
  QTextBlock ReportLine(const std::string& text) const {
    for (QTextBlock b = form_->log->document()->begin(); b.isValid(); b = b.next()) {
      const std::string line = b.text().toStdString();
      if (line.rfind("err> unit", 0) == 0 && line.find(text) != std::string::npos) return b;
    }
    ADD_FAILURE() << "no report line with " << text << " in\n"
                  << form_->log->toPlainText().toStdString();
    return {};
  }
  void DoubleClick(const QTextBlock& line) {
    QPlainTextEdit* log = form_->log;
    log->setTextCursor(QTextCursor(line));  // scrolls the line into view
    const QPoint at = log->cursorRect(QTextCursor(line)).center() + QPoint(20, 0);
    QTest::mouseDClick(log->viewport(), Qt::LeftButton, {}, at);
    Settle();
  }
  void PressEnter(const QTextBlock& line) {
    form_->log->setTextCursor(QTextCursor(line));
    form_->log->setFocus();
    QTest::keyClick(form_->log, Qt::Key_Return);
    Settle();
  }
  TMyEdit* Current() const { return form_->PageEditor(form_->PageControl1->currentIndex()); }

  TTempFolder dir_;
  std::unique_ptr<TForm1> form_;
};

}  // namespace

// One run with an error in an included file (not open), one in the main file reached
// from an event, and one in an event's own text.
TEST_F(ErrorPlaces, ReportsOpenTheirPlacesAndMarkTheirLines) {
  const std::string mainFile = dir_.Path("main.js");
  const std::string lib = dir_.Path("lib.js");
  WriteBytes(lib, "function libFail() {\n  undefinedThing.x = 1;\n}\n");
  WriteBytes(mainFile,
             "#include \"lib.js\"\n"
             "function failInMain() {\n"
             "  return missing.value;\n"
             "}\n"
             "var cb = main.nw('TCheckBox', 'cb', 'check');\n"
             "cb.propSet('OnClick', 'nosuchfunction(\"%1\")');\n"
             "cb.propSet('Checked', true);\n"
             "cb.propSet('OnClick', 'failInMain()');\n"
             "cb.propSet('Checked', false);\n"
             "libFail();\n");
  form_->edMainFile->setText(QString::fromStdString(mainFile));
  form_->OpenPage(mainFile);
  form_->btRunClick();
  Settle();
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(form_->PageEditor(0)->ErrorLines(), std::vector<int>{2});

  // The included file gets a page of its own, with its mark.
  DoubleClick(ReportLine("lib.js"));
  ASSERT_EQ(form_->PageCount(), 2);
  EXPECT_EQ(Current()->FilePath, lib);
  EXPECT_EQ(Current()->CaretPos().Y, 1);
  EXPECT_EQ(Current()->CaretPos().X, 2);
  EXPECT_EQ(Current()->ErrorLines(), std::vector<int>{1});
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "2, 3");

  // The main file's page is found again, not opened twice.
  PressEnter(ReportLine("main.js"));
  ASSERT_EQ(form_->PageCount(), 2);
  EXPECT_EQ(Current()->FilePath, mainFile);
  EXPECT_EQ(Current()->CaretPos().Y, 2);
  EXPECT_EQ(Current()->CaretPos().X, 2);  // "err> unit (3, 3)"

  // An event's own text is in no file: the pages stay as they are.
  form_->PageControl1->setCurrentIndex(1);
  DoubleClick(ReportLine("cb.OnClick"));
  EXPECT_EQ(form_->PageCount(), 2);
  EXPECT_EQ(form_->PageControl1->currentIndex(), 1);
  EXPECT_NE(form_->StatusText1->text().toStdString().find("cb.OnClick"), std::string::npos);

  // The next run takes the marks away; its own errors are the ones marked.
  form_->btStopClick();
  form_->PageEditor(0)->SetText("sys.out('fine');");
  form_->PageEditor(0)->SetModified(true);
  form_->btRunClick();
  Settle();
  EXPECT_TRUE(form_->PageEditor(0)->ErrorLines().empty());
  EXPECT_TRUE(form_->PageEditor(1)->ErrorLines().empty());
  form_->btStopClick();

  // The earlier run's lines keep their places.
  form_->PageControl1->setCurrentIndex(1);
  Current()->SetCaretPos({0, 0});
  form_->PageControl1->setCurrentIndex(0);
  PressEnter(ReportLine("lib.js"));
  EXPECT_EQ(Current()->FilePath, lib);
  EXPECT_EQ(Current()->CaretPos().Y, 1);
}
