#include "vantor_utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

TEST(SplitAtSeparator, SplitsAtTheFirstSeparatorAndTrimsBothParts) {
  std::string head, rest;
  SplitAtSeparator("  a , b ,c", ",", head, rest);
  EXPECT_EQ(head + "|" + rest, "a|b ,c");
  SplitAtSeparator("\t key \r", ":", head, rest);
  EXPECT_EQ(head + "|" + rest, "key|");
  SplitAtSeparator(" x,y ", "", head, rest);
  EXPECT_EQ(head + "|" + rest, "x,y|");
  // UTF-8 bytes at the ends are not control characters.
  SplitAtSeparator("\xC3\xA9::\xC3\xA0", "::", head, rest);
  EXPECT_EQ(head + "|" + rest, "\xC3\xA9|\xC3\xA0");
  // The text may be one of the outputs.
  std::string text = "1, 2, 3";
  SplitAtSeparator(text, ",", head, text);
  EXPECT_EQ(head + "|" + text, "1|2, 3");
}

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvel_vu_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }
  static std::string Read(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
  }
  static std::string AppendFailure(const std::string& file) {
    try {
      AppendLogLine(file, "x");
    } catch (const EInOutError& e) {
      return e.what();
    }
    return "";
  }
  fs::path dir_, oldCwd_;
};

TEST_F(FileUtilsTest, AppendLogLineAddsOneDatedLineAndKeepsEarlierContents) {
  AppendLogLine("new/run.log", "started");  // one missing folder level is created
  EXPECT_TRUE(std::regex_match(Read("new/run.log"),
                               std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d started\r\n)")));
  std::ofstream("old.log", std::ios::binary) << "earlier\n";
  AppendLogLine("old.log", "two\nlines");
  const std::string text = Read("old.log");
  EXPECT_EQ(text.substr(0, 8), "earlier\n");
  EXPECT_TRUE(std::regex_match(text.substr(8), std::regex(R"(.{19} two\nlines\r\n)")));
}

TEST_F(FileUtilsTest, AppendLogLineFailuresCarryTheRuntimesMessages) {
  EXPECT_EQ(AppendFailure("a/b/run.log"), "Invalid filename");
  EXPECT_FALSE(fs::exists("a"));
  fs::create_directories("folder.log");
  EXPECT_EQ(AppendFailure("folder.log"), "File access denied");
  EXPECT_EQ(AppendFailure("/dev/full"), "Disk full");
  if (::geteuid() != 0) {
    std::ofstream("ro.log") << "keep\n";
    fs::permissions("ro.log", fs::perms::owner_read);
    EXPECT_EQ(AppendFailure("ro.log"), "File access denied");
  }
}

TEST_F(FileUtilsTest, ForceFileFolderCreatesEveryMissingLevel) {
  ForceFileFolder((dir_ / "x/y/z/file.txt").string());
  EXPECT_TRUE(fs::is_directory("x/y/z"));
  EXPECT_FALSE(fs::exists("x/y/z/file.txt"));
  ForceFileFolder("x/y/z/file.txt");  // existing: nothing to do
  // Short relative names and doubled slashes are created too.
  ForceFileFolder("q//r///file.txt");
  EXPECT_TRUE(fs::is_directory("q/r"));
  EXPECT_THROW(ForceFileFolder("file.txt"), EInOutError);  // no folder to create
}

}  // namespace
