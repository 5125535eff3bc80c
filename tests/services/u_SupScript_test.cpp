#include "u_SupScript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct TCapture final : IWorkbenchOutput {
  std::vector<std::string> lines;
  std::string status;
  void LogLine(const std::string& line) override { lines.push_back(line); }
  void StatusText(const std::string& text) override { status = text; }
};

class SysTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitSupScriptUnit(); }
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("orvel_sys_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "work");
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
    MainFilePath = (dir_ / "work/main.js").string();
    SetWorkbenchOutput(&capture_);
    sys_ = CoSupScript::Create();
  }
  void TearDown() override {
    sys_.reset();
    SetWorkbenchOutput(nullptr);
    MainFilePath.clear();
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }

  Variant Call(const std::string& name, const std::vector<Variant>& args = {}) {
    return sys_->Call(name, args);
  }
  std::string Failure(const std::string& name, const std::vector<Variant>& args) {
    try {
      sys_->Call(name, args);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  void SetFileLog(const std::string& value) {
    sys_->Call("fileLog", {value}, DISPATCH_PROPERTYPUT);
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool IsDated(const std::string& text, const std::string& msg) {
    return std::regex_match(text,
                            std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )" + msg + "\r\n"));
  }

  fs::path dir_, oldCwd_;
  TCapture capture_;
  IDispatchPtr sys_;
};

TEST_F(SysTest, OutWritesTheLogFileFirstThenTheUndatedMemoLine) {
  Call("out", {"plain"});
  SetFileLog("run.log");
  EXPECT_EQ(Call("FILELOG").ToString(), "run.log");
  Call("Out", {"started"});
  EXPECT_TRUE(IsDated(Read(P("work/run.log")), "started")) << Read(P("work/run.log"));
  EXPECT_EQ(capture_.lines, (std::vector<std::string>{"plain", "started"}));

  SetFileLog("");  // switches the file copy off
  Call("out", {"memo only"});
  EXPECT_TRUE(IsDated(Read(P("work/run.log")), "started"));
  EXPECT_EQ(capture_.lines.back(), "memo only");
}

TEST_F(SysTest, AFailedLogFileWriteKeepsTheLineOutOfTheMemo) {
  SetFileLog("a/b/run.log");  // two missing folder levels
  EXPECT_EQ(Failure("out", {"lost"}), "Invalid filename");
  EXPECT_TRUE(capture_.lines.empty());
  EXPECT_EQ(Call("fileLog").ToString(), "a/b/run.log");
}

TEST_F(SysTest, LogNamesResolveAgainstTheMainFilesFolderUnlessAbsolute) {
  Call("log", {"sub/x.log", "one"});
  EXPECT_TRUE(IsDated(Read(P("work/sub/x.log")), "one"));
  Call("log", {P("abs.log"), "two"});
  EXPECT_TRUE(IsDated(Read(P("abs.log")), "two"));
  EXPECT_TRUE(capture_.lines.empty());

  // A main file typed without a folder leaves relative names to the current folder.
  MainFilePath = "main.js";
  Call("log", {"here.log", "three"});
  EXPECT_TRUE(IsDated(Read(P("here.log")), "three"));

  EXPECT_EQ(Failure("log", {"", "x"}), "log: the log file name is empty");
}

TEST_F(SysTest, SleepRefusesANegativeTimeAndNeedsItsArgument) {
  Call("sleep", {0});
  EXPECT_EQ(Failure("sleep", {-5}), "sleep: the time must not be negative (-5 ms)");
  DISPID id = -1;
  ASSERT_EQ(sys_->GetIDsOfNames("sleep", id), S_OK);
  EXPECT_EQ(sys_->Invoke(id, DISPATCH_METHOD, {}).Status, DISP_E_BADPARAMCOUNT);
}

TEST_F(SysTest, QueriesReturnTheRunsStateAndDigests) {
  EXPECT_EQ(Call("path").ToString(), MainFilePath);
  const uint32_t self = Call("self").ToUInt32();
  EXPECT_EQ(self, sys_->Serial());
  EXPECT_EQ(Call("SELF").ToUInt32(), self);

  EXPECT_EQ(Call("md5", {"abc"}).ToString(), "900150983CD24FB0D6963F7D28E17F72");
  std::ofstream(P("data.bin"), std::ios::binary) << "abc";
  // md5_file takes the name as given: relative to the current folder, not the main file.
  EXPECT_EQ(Call("md5_file", {"data.bin"}).ToString(), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Failure("md5_file", {"work/none.bin"}), "Cannot open file work/none.bin");

  Call("status", {"busy"});
  EXPECT_EQ(capture_.status, "busy");
  EXPECT_EQ(Failure("getObj", {"NoSuchThing"}), "Object not found: NoSuchThing");
}

TEST_F(SysTest, ListClassNameGivesPlainClassesThenControlsInRegistrationOrder) {
  const std::string names = Call("listClassName").ToString();
  EXPECT_EQ(names,
            "TComponent,TPersistent,TFont,TGraphicsObject,TMenuItem,TForm,TCustomForm,"
            "TScrollingWinControl,TWinControl,TControl,TButton,TButtonControl,TLabel,"
            "TCustomLabel,TGraphicControl,TEdit,TCustomEdit,TValueListEditor,"
            "TCustomDrawGrid,TCustomGrid,TCustomControl,TListBox,TCustomListBox,"
            "TCustomMultiSelectListControl,TCustomListControl,TMemo,TCustomMemo,"
            "TCheckBox,TCustomCheckBox");
  // A second start-up registration must not add anything twice.
  InitSupScriptUnit();
  EXPECT_EQ(Call("listClassName").ToString(), names);
}

}  // namespace
