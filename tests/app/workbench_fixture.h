#pragma once

// The workbench window of a test: its own workspace file in a folder of its own, the
// message, file and question dialogs answered by the test, shown.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "test_support.h"
#include "u_myedit.h"

class Workbench : public ::testing::Test {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override {
    form_.reset();
    Settle();
  }

  // A window on this test's workspace file, shown (which restores the workspace).
  void Open() {
    form_.reset();
    form_ = std::make_unique<TForm1>();
    form_->SetWorkspaceFileName(Workspace());
    form_->ShowMessageHook = [this](const std::string& text, const std::string& detail) {
      messages_.push_back(text);
      details_.push_back(detail);
    };
    form_->ChooseFileHook = [this] {
      ++dialogs_;
      return chosen_;
    };
    form_->ConfirmCloseWithObjectsHook = [this] {
      ++questions_;
      return answer_;
    };
    form_->AskHook = [this](const std::string& question) {
      asked_.push_back(question);
      return reply_;
    };
    AddHooks();
    form_->show();
    AfterShow();
  }
  // What a fixture built on this one adds before and after the window is shown.
  virtual void AddHooks() {}
  virtual void AfterShow() { Settle(); }

  std::string Workspace() const { return dir_.Path("orvel.ini"); }
  std::string Log() const { return form_->log->toPlainText().toStdString(); }
  int RunMarks() const {
    int n = 0;
    for (const QString& line : form_->log->toPlainText().split('\n'))
      if (line == "== RUN ==") ++n;
    return n;
  }
  TMyEdit* Editor(int i) const { return form_->PageEditor(i); }
  void Type(QWidget* w, const char* text) { QTest::keyClicks(w, text); }

  TTempFolder dir_;
  std::unique_ptr<TForm1> form_;
  std::vector<std::string> messages_, details_;
  std::string chosen_;
  int dialogs_ = 0;
  int questions_ = 0;
  bool answer_ = true;
  std::vector<std::string> asked_;
  TForm1::TAnswer reply_ = TForm1::TAnswer::Cancel;
};
