#pragma once
// A control set up as a run sets it up: sys, main and inet added with their members.

#include <gtest/gtest.h>

#include <memory>

#include "fake_hosts.h"

// A failing text and the error record it must leave (Line 1-based, Column 0-based).
struct ErrorCase {
  const char* text;
  int line, column;
  const char* description;
  const char* sourceLine;
};

inline void ExpectError(const TScriptError& err, const ErrorCase& c, const char* source) {
  EXPECT_EQ(err.Line, c.line) << c.text;
  EXPECT_EQ(err.Column, c.column) << c.text;
  EXPECT_EQ(err.Description, c.description) << c.text;
  EXPECT_EQ(err.Text, c.sourceLine) << c.text;
  EXPECT_EQ(err.SourceName, source) << c.text;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = FakesAlive();
    control_ = std::make_unique<TScriptControl>();
    control_->SetLanguage("JScript");
    control_->OnError = [this](TScriptControl* c) {
      ++errors_;
      lastError_ = c->Error();
      errorDepth_ = c->Depth();
    };
    TFakeJObject::Control = control_.get();
    sysObj_ = MakeFake<TFakeSup>();
    mainObj_ = MakeFake<TFakeJObject>();
    inetObj_ = MakeFake<TFakeInet>();
    control_->AddObject("sys", sysObj_, true);
    control_->AddObject("main", mainObj_, true);
    control_->AddObject("inet", inetObj_, true);
  }
  void TearDown() override {
    EndScriptControl(control_);
    TFakeJObject::Control = nullptr;
    TFakeJObject::OnDestroy = nullptr;
    sysObj_.reset();
    mainObj_.reset();
    inetObj_.reset();
    EXPECT_EQ(FakesAlive(), base_) << "objects outlived their control";
  }

  TFakeSup& Sys() { return static_cast<TFakeSup&>(*sysObj_); }
  // Runs text and returns what it wrote with sys.out, one line per call.
  std::vector<std::string> Run(const std::string& text, const std::string& name = "main.js") {
    Sys().Lines.clear();
    control_->ExecuteStatement(text, name);
    return Sys().Lines;
  }
  std::string RunOne(const std::string& text) {
    auto lines = Run(text);
    return lines.size() == 1 ? lines[0] : "<" + std::to_string(lines.size()) + " lines>";
  }
  // Runs text that must fail; returns the error it left.
  TScriptError Fail(const std::string& text, const std::string& name = "main.js") {
    EXPECT_THROW(control_->ExecuteStatement(text, name), Exception) << text;
    return control_->Error();
  }

  int base_ = 0;
  std::unique_ptr<TScriptControl> control_;
  IDispatchPtr sysObj_, mainObj_, inetObj_;
  int errors_ = 0;
  int errorDepth_ = -1;
  TScriptError lastError_;
};
