#include "vantor_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
  EXPECT_EQ(head, "a");
  EXPECT_EQ(rest, "b ,c");

  SplitAtSeparator("\t key \r", ":", head, rest);
  EXPECT_EQ(head, "key");
  EXPECT_EQ(rest, "");
  SplitAtSeparator("", ",", head, rest);
  EXPECT_EQ(head + rest, "");
  SplitAtSeparator(" x,y ", "", head, rest);
  EXPECT_EQ(head, "x,y");
  EXPECT_EQ(rest, "");

  // Multi-byte separators, and UTF-8 bytes at the ends are not control characters.
  SplitAtSeparator("Content-Type:: text/html", "::", head, rest);
  EXPECT_EQ(rest, "text/html");
  SplitAtSeparator("\xC3\xA9,\xC3\xA0", ",", head, rest);
  EXPECT_EQ(head, "\xC3\xA9");
  EXPECT_EQ(rest, "\xC3\xA0");

  // The text may be one of the outputs.
  std::string text = "1, 2, 3";
  SplitAtSeparator(text, ",", head, text);
  EXPECT_EQ(head, "1");
  EXPECT_EQ(text, "2, 3");
}

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("orvel_vu_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::string AppendFailure(const std::string& file, const std::string& msg) {
    try {
      AppendLogLine(file, msg);
    } catch (const EInOutError& e) {
      return e.what();
    }
    return "";
  }
  fs::path dir_, oldCwd_;
};

TEST_F(FileUtilsTest, AppendLogLineAddsOneDatedLineAndKeepsEarlierContents) {
  AppendLogLine(P("run.log"), "started");
  const std::regex dated(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d started\r\n)");
  EXPECT_TRUE(std::regex_match(Read(P("run.log")), dated)) << Read(P("run.log"));

  std::ofstream(P("old.log"), std::ios::binary) << "earlier\n";
  AppendLogLine(P("old.log"), "two\nlines");
  const std::string text = Read(P("old.log"));
  EXPECT_EQ(text.substr(0, 8), "earlier\n");
  EXPECT_TRUE(std::regex_match(text.substr(8), std::regex(R"(.{19} two\nlines\r\n)")));

  // A bare name lands in the current folder.
  AppendLogLine("bare.log", "x");
  EXPECT_TRUE(fs::exists(P("bare.log")));
}

TEST_F(FileUtilsTest, AppendLogLineCreatesOneMissingFolderLevelOnly) {
  AppendLogLine(P("new/run.log"), "one level");
  EXPECT_TRUE(fs::is_regular_file(P("new/run.log")));

  EXPECT_EQ(AppendFailure(P("a/b/run.log"), "two levels"), "Invalid filename");
  EXPECT_FALSE(fs::exists(P("a")));
}

TEST_F(FileUtilsTest, AppendLogLineReportsFilesItMayNotWrite) {
  fs::create_directories(P("folder.log"));
  EXPECT_EQ(AppendFailure(P("folder.log"), "x"), "File access denied");
  EXPECT_EQ(AppendFailure("", "x"), "Invalid filename");
  if (::geteuid() != 0) {
    std::ofstream(P("ro.log")) << "keep\n";
    ::chmod(P("ro.log").c_str(), 0444);
    EXPECT_EQ(AppendFailure(P("ro.log"), "x"), "File access denied");
    EXPECT_EQ(Read(P("ro.log")), "keep\n");
  }
  EXPECT_EQ(AppendFailure("/dev/full", "x"), "Disk full");
}

TEST_F(FileUtilsTest, ForceFileFolderCreatesEveryMissingLevel) {
  ForceFileFolder(P("x/y/z/file.txt"));
  EXPECT_TRUE(fs::is_directory(P("x/y/z")));
  EXPECT_FALSE(fs::exists(P("x/y/z/file.txt")));
  ForceFileFolder(P("x/y/z/file.txt"));  // existing: nothing to do

  // Relative and short folder names are created too.
  ForceFileFolder("ab/c/file.txt");
  EXPECT_TRUE(fs::is_directory(P("ab/c")));
  ForceFileFolder("q//r///file.txt");
  EXPECT_TRUE(fs::is_directory(P("q/r")));

  try {
    ForceFileFolder("file.txt");
    ADD_FAILURE() << "a bare name has no folder to create";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
}

}  // namespace
