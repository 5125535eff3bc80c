#include "u_SupScript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class SysTest : public ::testing::Test, public IWorkbenchOutput {
 protected:
  static void SetUpTestSuite() { InitSupScriptUnit(); }
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvel_sys_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "work");
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
    MainFilePath = (dir_ / "work/main.js").string();
    SetWorkbenchOutput(this);
  }
  void TearDown() override {
    SetWorkbenchOutput(nullptr);
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }
  void LogLine(const std::string& line) override { lines_.push_back(line); }
  void StatusText(const std::string& text) override { status_ = text; }

  Variant Call(const std::string& name, const std::vector<Variant>& args = {},
               uint16_t flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    return sys_->Call(name, args, flags);
  }
  std::string Failure(const std::string& name, const std::vector<Variant>& args) {
    try {
      sys_->Call(name, args);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  // The file holds exactly the dated lines of `messages`.
  static bool HoldsLines(const std::string& path, const std::string& messages) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    const std::string line = R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )";
    return std::regex_match(s.str(), std::regex(line + messages + "\r\n"));
  }

  fs::path dir_, oldCwd_;
  std::vector<std::string> lines_;
  std::string status_;
  IDispatchPtr sys_ = CoSupScript::Create();
};

TEST_F(SysTest, OutWritesTheLogFileFirstAndOnlyThenTheUndatedMemoLine) {
  Call("out", {"plain"});
  Call("fileLog", {"run.log"}, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(Call("FILELOG").ToString(), "run.log");
  Call("Out", {"started"});
  EXPECT_TRUE(HoldsLines("work/run.log", "started"));
  Call("fileLog", {""}, DISPATCH_PROPERTYPUT);  // switches the file copy off
  Call("out", {"memo only"});
  EXPECT_TRUE(HoldsLines("work/run.log", "started"));

  Call("fileLog", {"a/b/run.log"}, DISPATCH_PROPERTYPUT);  // two missing folder levels
  EXPECT_EQ(Failure("out", {"lost"}), "Invalid filename");
  EXPECT_EQ(lines_, (std::vector<std::string>{"plain", "started", "memo only"}));
  Call("status", {"busy"});
  EXPECT_EQ(status_, "busy");
}

TEST_F(SysTest, LogNamesResolveAgainstTheMainFilesFolderUnlessAbsolute) {
  Call("log", {"sub/x.log", "one"});
  EXPECT_TRUE(HoldsLines("work/sub/x.log", "one"));
  Call("log", {(dir_ / "abs.log").string(), "two"});
  EXPECT_TRUE(HoldsLines("abs.log", "two"));
  // A main file typed without a folder leaves relative names to the current folder.
  MainFilePath = "main.js";
  Call("log", {"here.log", "three"});
  EXPECT_TRUE(HoldsLines("here.log", "three"));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(Failure("log", {"", "x"}), "log: the log file name is empty");
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
  InitSupScriptUnit();  // a second start-up adds nothing twice
  EXPECT_EQ(Call("listClassName").ToString(), names);
}

}  // namespace
