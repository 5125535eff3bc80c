// Pages as a user works with them: one file in two pages, new pages and Save As, the
// marks on modified pages, the recent files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>

#include "Unit1.h"
#include "test_support.h"
#include "u_myedit.h"
#include "workbench_fixture.h"

namespace {

class WorkbenchPages : public Workbench {
 protected:
  void AddHooks() override {
    form_->ChooseSaveFileHook = [this] {
      ++saveDialogs_;
      return saveAs_;
    };
  }
  void AfterShow() override {
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    Settle();
  }
  QString Tab(int i) const { return form_->PageControl1->tabText(i); }
  static void Keys(const char* text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), mods);
    Settle();
  }

  std::string saveAs_;
  int saveDialogs_ = 0;
};

// Saving both pages in page order used to write the second page's stale text over
// the first page's edits.
TEST_F(WorkbenchPages, OneFileInTwoPagesIsOneText) {
  const std::string path = dir_.Path("same.js");
  WriteBytes(path, "base");
  form_->OpenPage(path);
  form_->OpenPage(dir_.Root() + "/./same.js");  // another spelling of the same file
  form_->PageControl1->setCurrentIndex(0);
  Editor(0)->setFocus();
  Editor(0)->SetCaretPos({4, 0});
  Keys(" one");
  form_->PageControl1->setCurrentIndex(1);
  Editor(1)->setFocus();
  Key(Qt::Key_End);
  Keys(" two");
  EXPECT_EQ(Editor(0)->Text(), "base one two");
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadBytes(path), "base one two");
  EXPECT_FALSE(Editor(0)->Modified());

  // Closing one page leaves the text with the other.
  form_->PageControl1->setCurrentIndex(0);
  form_->btClosePageClick();
  Editor(0)->setFocus();
  Keys("!");
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadBytes(path), "base one two!");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(WorkbenchPages, ModifiedPagesAreMarkedOnTheirTabAndTheTitle) {
  const std::string a = dir_.Path("a.js"), b = dir_.Path("b.js");
  WriteBytes(a, "a");
  WriteBytes(b, "b");
  form_->OpenPage(a);
  form_->OpenPage(b);
  const QString title = form_->windowTitle();
  Keys("x");
  EXPECT_EQ(Tab(0), "a.js");
  EXPECT_EQ(Tab(1), "*b.js");
  EXPECT_EQ(form_->windowTitle(), "*" + title);
  Key(Qt::Key_Z, Qt::ControlModifier);  // undone: unmodified again
  EXPECT_EQ(Tab(1), "b.js");
  EXPECT_EQ(form_->windowTitle(), title);
  Keys("y");
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(Tab(1), "b.js");
  EXPECT_EQ(form_->windowTitle(), title);
}

TEST_F(WorkbenchPages, NewPageGetsItsNameAtItsFirstSave) {
  Key(Qt::Key_N, Qt::ControlModifier);
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(QApplication::focusWidget(), Editor(0));
  Keys("sys.out(1);");
  EXPECT_EQ(Tab(0), "*Untitled");

  saveAs_ = "";  // the user cancels the dialog: nothing is lost, nothing written
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(saveDialogs_, 1);
  EXPECT_TRUE(Editor(0)->Modified());

  saveAs_ = dir_.Path("new.js");
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadBytes(saveAs_), "sys.out(1);");
  EXPECT_EQ(Tab(0), "new.js");
  EXPECT_EQ(Editor(0)->FilePath, saveAs_);
  Keys("x");
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(saveDialogs_, 2) << "a named page is saved without asking";
  EXPECT_EQ(ReadBytes(saveAs_), "sys.out(1);x");

  // The next start restores the page under its name.
  Open();
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(Editor(0)->FilePath, dir_.Path("new.js"));
}

TEST_F(WorkbenchPages, SaveAsWritesTheNewFileAndLeavesTheOldOne) {
  const std::string a = dir_.Path("a.js");
  WriteBytes(a, "old");
  form_->OpenPage(a);
  form_->OpenPage(a);  // a second page stays on a.js
  Keys("new ");
  saveAs_ = dir_.Path("b.js");
  Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(ReadBytes(saveAs_), "new old");
  EXPECT_EQ(ReadBytes(a), "old") << "Save As is not also a Save of every page";
  EXPECT_EQ(Tab(1), "b.js");
  EXPECT_EQ(Tab(0), "*a.js");
  Keys("+");
  EXPECT_EQ(Editor(0)->Text(), "new old") << "the pages are two texts now";

  const std::vector<std::string> recent = form_->RecentFiles();
  ASSERT_GE(recent.size(), 2u);
  EXPECT_EQ(recent[0], saveAs_);
  EXPECT_EQ(recent[1], a);
  Open();  // the list is kept across starts, and its menu opens the file
  ASSERT_GE(form_->RecentFiles().size(), 2u);
  EXPECT_EQ(form_->RecentFiles()[0], saveAs_);
  const int pages = form_->PageCount();
  QMenu* menu = form_->btRecent->menu();
  emit menu->aboutToShow();
  ASSERT_FALSE(menu->actions().isEmpty());
  menu->actions().first()->trigger();
  EXPECT_EQ(form_->PageCount(), pages + 1);
  EXPECT_EQ(Editor(pages)->FilePath, saveAs_);
}

// A name that is not UTF-8 must reach the file system as the bytes it is, from the
// command line through the main-file box, the run and the workspace file.
TEST_F(WorkbenchPages, MainFileWhoseNameIsNotUtf8OpensRunsAndIsRestored) {
  const std::string name = dir_.Path("caf") + "\xE9.js";
  WriteBytes(name, "sys.out(\"ran\");");
  form_.reset();
  form_ = std::make_unique<TForm1>(name);
  form_->SetWorkspaceFileName(dir_.Path("orvel.ini"));
  form_->ShowMessageHook = [this](const std::string& text, const std::string&) {
    messages_.push_back(text);
  };
  form_->show();
  Settle();
  EXPECT_TRUE(messages_.empty()) << (messages_.empty() ? "" : messages_[0]);
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(Editor(0)->FilePath, name);
  form_->btRunClick();
  Settle();
  EXPECT_NE(form_->log->toPlainText().indexOf("ran"), -1)
      << form_->log->toPlainText().toStdString();
  form_->btStopClick();
  Settle();
  EXPECT_NE(ReadBytes(dir_.Path("orvel.ini")).find("\r\n" + name + "\r\n"), std::string::npos)
      << "the main file's line";

  Open();
  ASSERT_EQ(form_->PageCount(), 1);
  EXPECT_EQ(Editor(0)->FilePath, name);
  form_.reset();
  std::remove(name.c_str());  // the folder's own clean-up cannot name it
}

// The names come from the run's own registry, while it runs.
TEST_F(WorkbenchPages, GetObjOffersTheRunningScriptsObjects) {
  const std::string m = dir_.Path("m.js");
  WriteBytes(m, "var b = main.nw(\"TButton\", \"okButton\", \"OK\");");
  form_->OpenPage(m);
  form_->edMainFile->setText(QString::fromStdString(m));
  form_->btRunClick();
  Settle();
  form_->activateWindow();
  Editor(0)->setFocus();
  Key(Qt::Key_End);
  Key(Qt::Key_Return);
  Keys("sys.getObj(\"ok");
  auto* list = Editor(0)->findChild<QListWidget*>("CompletionList");
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(list->isVisible());
  EXPECT_EQ(list->item(0)->text(), "okButton");
  Key(Qt::Key_Return);
  EXPECT_EQ(Editor(0)->Line(1), "sys.getObj(\"okButton");

  form_->btStopClick();
  Settle();
  Keys("\"); sys.getObj(\"");
  Key(Qt::Key_Space, Qt::ControlModifier);
  EXPECT_FALSE(list->isVisible()) << "no run, no live objects";
}

}  // namespace
