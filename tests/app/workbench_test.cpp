// The workbench window driven like a user drives it: pages, saving, the workspace
// file, the keys that work in every window, and closing during a run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <memory>

#include "Unit1.h"
#include "test_support.h"
#include "u_myedit.h"
#include "workbench_fixture.h"

TEST_F(Workbench, FirstStartWithoutWorkspaceShowsTheDesignedDefaults) {
  EXPECT_EQ(form_->windowTitle().toStdString(), "Orvel configurator 1.0.2");
  EXPECT_EQ(form_->edLanguage->text().toStdString(), "JScript");
  EXPECT_EQ(form_->edMainFile->text().toStdString(), "edMainFile");
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "lbCaretPos");
  EXPECT_EQ(form_->PageCount(), 0);
  EXPECT_TRUE(form_->btRun->isEnabled());
  EXPECT_FALSE(form_->btStop->isEnabled());
  EXPECT_EQ(form_->Button1->text().toStdString().rfind("Описание на ", 0), 0u);
  EXPECT_EQ(form_->Button2->text().toStdString().rfind("Последняя версия ", 0), 0u);
}

// Save writes the workspace even with nothing modified; with no page the active
// index is -1, and the next start opens and focuses nothing.
TEST_F(Workbench, SaveWithoutPagesWritesThreeLines) {
  form_->edMainFile->setText("m.js");
  form_->btSaveClick();
  EXPECT_EQ(ReadBytes(Workspace()), "JScript\r\n-1\r\nm.js\r\n");
  EXPECT_TRUE(messages_.empty());
  Open();
  EXPECT_EQ(form_->PageCount(), 0);
  EXPECT_EQ(form_->edMainFile->text().toStdString(), "m.js");
}

// Line breaks come back as CR LF; no break is added at the end.
TEST_F(Workbench, SavedFilesHaveCrLfAndNoAddedFinalBreak) {
  const std::string path = dir_.Path("lf.js");
  WriteBytes(path, "a\nb\rc");
  ASSERT_EQ(form_->OpenPage(path), 0);
  TMyEdit* ed = Editor(0);
  ed->SetCaretPos({1, 2});
  Type(ed, "X");
  ASSERT_TRUE(ed->Modified());
  form_->btSaveClick();
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\ncX");
  EXPECT_FALSE(ed->Modified());
}

// Two pages on one file show one text: the save writes it once, asking nothing.
TEST_F(Workbench, TwoPagesOnOneFileAreSavedAsOne) {
  const std::string path = dir_.Path("same.js");
  WriteBytes(path, "base");
  form_->OpenPage(path);
  form_->OpenPage(path);
  Editor(0)->SetText("first");
  Editor(0)->SetModified(true);
  EXPECT_TRUE(Editor(1)->Modified());
  form_->btSaveClick();
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(ReadBytes(path), "first");
  EXPECT_FALSE(Editor(1)->Modified());
}

// A failed write leaves the old file whole and its page modified; the other pages and
// the workspace are still written.
TEST_F(Workbench, FailedSaveKeepsOldFilesAndReportsIt) {
  const std::string good = dir_.Path("good.js");
  WriteBytes(good, "old good");
  const std::string bad = dir_.Path("bad.js");
  WriteBytes(bad, "old bad");
  form_->OpenPage(bad);
  form_->OpenPage(good);
  Editor(0)->FilePath = dir_.Path("no/such/folder/bad.js");
  Editor(0)->SetText("new bad");
  Editor(0)->SetModified(true);
  Editor(1)->SetText("new good");
  Editor(1)->SetModified(true);
  form_->btSaveClick();
  // Every page is tried and the failure reported once; the failed page stays unsaved.
  ASSERT_EQ(messages_, std::vector<std::string>{"error of saving"});
  EXPECT_NE(details_[0].find("bad.js"), std::string::npos);
  EXPECT_EQ(ReadBytes(good), "new good");
  EXPECT_EQ(ReadBytes(bad), "old bad");
  EXPECT_TRUE(Editor(0)->Modified());
  EXPECT_FALSE(Editor(1)->Modified());
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Workspace())));
}

// The path is the last field, so commas in it survive; blanks around the numbers do
// not matter; lines of another shape and files that are gone are skipped.
TEST_F(Workbench, WorkspaceRestoresPagesIncludingPathsWithCommas) {
  const std::string a = dir_.Path("a, b ,c.js");
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i) + "\n";
  WriteBytes(a, text);
  const std::string b = dir_.Path("b.js");
  WriteBytes(b, "bb");
  WriteBytes(Workspace(),
             "ECMAScript\r\n2\r\nmain.js\r\n"
             " 20 , 442 , " +
                 a + "\r\n" + "garbage\r\n" + "0,0," + dir_.Path("gone.js") + "\r\n" + "\r\n" +
                 "0,1," + b + "\r\n");
  Open();
  EXPECT_EQ(form_->edLanguage->text().toStdString(), "ECMAScript");
  EXPECT_EQ(form_->edMainFile->text().toStdString(), "main.js");
  ASSERT_EQ(form_->PageCount(), 2);
  EXPECT_EQ(Editor(0)->FilePath, a);
  EXPECT_EQ(Editor(0)->SelStart(), 442);  // line 51, far below the first view
  EXPECT_EQ(Editor(0)->FirstVisibleLine(), 20);
  EXPECT_EQ(form_->PageControl1->tabText(0).toStdString(), "a, b ,c.js");
  // Saved as the fourth page line, the active page is the one opened from it.
  EXPECT_EQ(form_->PageControl1->currentIndex(), 1);
  EXPECT_EQ(Editor(1)->SelStart(), 1);

  form_->btSaveClick();
  EXPECT_EQ(ReadBytes(Workspace()),
            "ECMAScript\r\n1\r\nmain.js\r\n20,442," + a + "\r\n0,1," + b + "\r\n");
}

TEST_F(Workbench, ClosePageAsksBeforeDroppingTypedText) {
  form_->btClosePageClick();
  EXPECT_EQ(form_->PageCount(), 0);
  const std::string path = dir_.Path("k.js");
  WriteBytes(path, "keep");
  form_->OpenPage(path);
  form_->OpenPage(path);
  Editor(0)->ShareDocument(Editor(1));
  Type(Editor(1), "changed ");
  // Another page shows the same document: nothing would be lost, nothing asked.
  QTest::mouseClick(form_->btClosePage, Qt::LeftButton);
  EXPECT_TRUE(asked_.empty());
  ASSERT_EQ(form_->PageCount(), 1);
  reply_ = TForm1::TAnswer::Cancel;
  QTest::mouseClick(form_->btClosePage, Qt::LeftButton);
  EXPECT_EQ(asked_, std::vector<std::string>{"Save changes to \"" + path + "\"?"});
  EXPECT_EQ(form_->PageCount(), 1);
  reply_ = TForm1::TAnswer::Discard;
  QTest::mouseClick(form_->btClosePage, Qt::LeftButton);
  EXPECT_EQ(form_->PageCount(), 0);
  EXPECT_EQ(ReadBytes(path), "keep");
  form_->OpenPage(path);
  Type(Editor(0), "saved ");
  reply_ = TForm1::TAnswer::Save;
  QTest::mouseClick(form_->btClosePage, Qt::LeftButton);
  EXPECT_EQ(form_->PageCount(), 0);
  EXPECT_EQ(ReadBytes(path), "saved keep");
  EXPECT_TRUE(messages_.empty());
}

// An unreadable file leaves no page behind and says why; a missing main file changes
// nothing; Enter in the main-file box only offers the file dialog.
TEST_F(Workbench, OpenFailuresAreReportedAndChangeNothing) {
  EXPECT_EQ(form_->OpenPage(dir_.Root()), -1);
  EXPECT_EQ(form_->PageCount(), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Cannot open file " + dir_.Root());

  const std::string path = dir_.Path("p.js");
  WriteBytes(path, "p");
  form_->OpenPage(path);
  form_->edMainFile->setText(QString::fromStdString(dir_.Path("missing.js")));
  form_->LoadMainFile();
  EXPECT_EQ(messages_.back(), "File not found: " + dir_.Path("missing.js"));
  EXPECT_EQ(form_->PageCount(), 1);

  QTest::keyClick(form_->edMainFile, Qt::Key_Return);
  EXPECT_EQ(dialogs_, 1);
  EXPECT_EQ(form_->PageCount(), 1);
  chosen_ = path;
  QTest::keyClick(form_->edMainFile, Qt::Key_Return);
  EXPECT_EQ(form_->PageCount(), 2);
}

// Choosing a main file closes every page without saving and opens that file alone.
TEST_F(Workbench, SelectingAMainFileReplacesThePages) {
  const std::string a = dir_.Path("a.js"), m = dir_.Path("m.js");
  WriteBytes(a, "a");
  WriteBytes(m, "m");
  form_->OpenPage(a);
  form_->OpenPage(a);
  Type(Editor(1), "zz");
  chosen_ = m;
  reply_ = TForm1::TAnswer::Cancel;
  QTest::mouseClick(form_->btSelectMainFile, Qt::LeftButton);
  EXPECT_EQ(form_->PageCount(), 2);
  EXPECT_NE(form_->edMainFile->text().toStdString(), m);
  reply_ = TForm1::TAnswer::Discard;
  QTest::mouseClick(form_->btSelectMainFile, Qt::LeftButton);
  EXPECT_EQ(asked_.size(), 2u);
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(Editor(0)->FilePath, m);
  EXPECT_EQ(form_->edMainFile->text().toStdString(), m);
  EXPECT_EQ(ReadBytes(a), "a");
}

TEST_F(Workbench, CaretLabelFollowsKeysClicksAndPageChanges) {
  const std::string path = dir_.Path("c.js");
  WriteBytes(path, "abc\r\ndefgh");
  form_->OpenPage(path);
  TMyEdit* ed = Editor(0);
  QTest::keyClick(ed, Qt::Key_Right);
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "1, 2");
  QTest::keyClick(ed, Qt::Key_Down);
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "2, 2");
  QTest::keyClick(ed, Qt::Key_End);
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "2, 6");
  const QRect first = ed->cursorRect(QTextCursor(ed->document()->firstBlock()));
  QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "1, 1");

  WriteBytes(dir_.Path("d.js"), "x\r\ny\r\nz");
  form_->OpenPage(dir_.Path("d.js"));
  Editor(1)->SetCaretPos({0, 2});
  form_->PageControl1->setCurrentIndex(0);
  form_->PageControl1->setCurrentIndex(1);
  EXPECT_EQ(form_->lbCaretPos->text().toStdString(), "3, 1");
}

// F9 with or without Shift or Ctrl starts a run; during a run it does nothing, not
// even save; Ctrl+F2 stops from any widget.
TEST_F(Workbench, RunAndStopKeysWorkFromAnyWidget) {
  const std::string path = dir_.Path("r.js");
  WriteBytes(path, "sys.out('ran');");
  form_->edMainFile->setText(QString::fromStdString(path));

  QTest::keyClick(form_->log, Qt::Key_F9, Qt::ShiftModifier);
  Settle();
  EXPECT_EQ(RunMarks(), 1);
  EXPECT_FALSE(form_->btRun->isEnabled());
  EXPECT_TRUE(form_->btStop->isEnabled());
  EXPECT_NE(Log().find("ran"), std::string::npos);

  WriteBytes(Workspace(), "untouched");
  QTest::keyClick(form_->edLanguage, Qt::Key_F9);
  Settle();
  EXPECT_EQ(RunMarks(), 1);
  EXPECT_EQ(ReadBytes(Workspace()), "untouched");

  QTest::keyClick(form_->edMainFile, Qt::Key_F2, Qt::ControlModifier);
  Settle();
  EXPECT_TRUE(form_->btRun->isEnabled());
  EXPECT_FALSE(form_->btStop->isEnabled());
  EXPECT_EQ(ScriptCtrl, nullptr);

  QTest::keyClick(form_->edLanguage, Qt::Key_F9, Qt::ControlModifier);
  Settle();
  EXPECT_EQ(RunMarks(), 2);
  // Alt combinations are system keys: not seen.
  form_->btStopClick();
  QTest::keyClick(form_->edLanguage, Qt::Key_F9, Qt::AltModifier);
  Settle();
  EXPECT_EQ(RunMarks(), 2);
}

// A missing main file: "== RUN ==" and nothing else in the log; Run stays enabled.
TEST_F(Workbench, RunWithMissingMainFileStaysIdle) {
  form_->edMainFile->setText(QString::fromStdString(dir_.Path("none.js")));
  QTest::mouseClick(form_->btRun, Qt::LeftButton);
  EXPECT_EQ(Log(), "== RUN ==");
  EXPECT_TRUE(form_->btRun->isEnabled());
  EXPECT_FALSE(form_->btStop->isEnabled());
}

// The key hook sees keys of windows the script built, and Ctrl+S there saves the
// workbench's pages; Ctrl+F2 there stops the run that owns the window.
TEST_F(Workbench, KeysInAScriptWindowReachTheWorkbench) {
  const std::string page = dir_.Path("page.js");
  WriteBytes(page, "old");
  const std::string script = dir_.Path("s.js");
  WriteBytes(script,
             "var e = main.nw('TEdit', 'e1', '');\n"
             "main.propSet('Visible', true);\n");
  form_->OpenPage(page);
  form_->edMainFile->setText(QString::fromStdString(script));
  form_->btRunClick();
  ASSERT_TRUE(form_->btStop->isEnabled()) << Log();

  QLineEdit* edit = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* e = qobject_cast<QLineEdit*>(w);
        e && e->window() != form_.get() && e->window()->isVisible())
      edit = e;
  ASSERT_NE(edit, nullptr) << Log();

  Editor(0)->SetText("new");
  Editor(0)->SetModified(true);
  QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
  Settle();
  EXPECT_EQ(ReadBytes(page), "new");

  QPointer<QWidget> scriptWindow = edit->window();
  QTest::keyClick(edit, Qt::Key_F2, Qt::ControlModifier);
  Settle();
  EXPECT_TRUE(scriptWindow.isNull());
  EXPECT_TRUE(form_->btRun->isEnabled());
}

// An error inside an event's own text names the binding and its own line.
TEST_F(Workbench, EventStatementErrorsNameTheBinding) {
  const std::string script = dir_.Path("ev.js");
  WriteBytes(script,
             "var b = main.nw('TButton', 'b1', 'Press');\n"
             "b.propSet('OnClick', 'noSuchFunction(\"%1\")');\n"
             "main.propSet('Visible', true);\n");
  form_->edMainFile->setText(QString::fromStdString(script));
  form_->btRunClick();
  QPushButton* button = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* b = qobject_cast<QPushButton*>(w); b && b->text() == "Press") button = b;
  ASSERT_NE(button, nullptr) << Log();
  QTest::mouseClick(button, Qt::LeftButton);
  Settle();
  const std::string log = Log();
  EXPECT_NE(log.find("err> unit (1, 1) b1.OnClick\n"), std::string::npos) << log;
  EXPECT_NE(log.find("err> noSuchFunction(\"b1\")\n"), std::string::npos) << log;
}

// Closing during a run saves pages and the workspace, then ends the run.
TEST_F(Workbench, CloseDuringARunSavesAndStops) {
  const std::string page = dir_.Path("page.js");
  WriteBytes(page, "old");
  const std::string script = dir_.Path("s.js");
  WriteBytes(script, "sys.out('x');");
  form_->OpenPage(page);
  Editor(0)->SetText("new");
  Editor(0)->SetModified(true);
  form_->edMainFile->setText(QString::fromStdString(script));
  form_->btRunClick();
  Editor(0)->SetText("newer");
  Editor(0)->SetModified(true);
  ASSERT_NE(ScriptCtrl, nullptr);
  EXPECT_TRUE(form_->close());
  EXPECT_EQ(ScriptCtrl, nullptr);
  EXPECT_EQ(ReadBytes(page), "newer");
  EXPECT_NE(ReadBytes(Workspace()).find("0,0," + page), std::string::npos);
  EXPECT_EQ(questions_, 0);
}

// Objects that outlive the run (an outside client's) make closing ask first; No keeps
// the program running.
TEST_F(Workbench, CloseWithLiveObjectsAsksFirst) {
  IDispatchPtr held = CoSupScript::Create();
  answer_ = false;
  EXPECT_FALSE(form_->close());
  EXPECT_EQ(questions_, 1);
  EXPECT_TRUE(form_->isVisible());
  answer_ = true;
  EXPECT_TRUE(form_->close());
  EXPECT_EQ(questions_, 2);
  held.reset();
  EXPECT_TRUE(form_->isHidden());
}

TEST_F(Workbench, HelpButtonsOpenTheReadmeAndTheDownloadPage) {
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
  QTest::mouseClick(form_->Button1, Qt::LeftButton);
  QTest::mouseClick(form_->Button2, Qt::LeftButton);
  SetUrlOpener(nullptr);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].rfind("file:///", 0), 0u);
  EXPECT_NE(opened[0].find("/README.md"), std::string::npos);
  EXPECT_EQ(opened[1].rfind("http", 0), 0u);
}
