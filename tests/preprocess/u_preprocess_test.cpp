#include "u_preprocess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SysUtils.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

class ExpandIncludesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvel_pp_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "lib");
    SetLibraryFolder((dir_ / "lib").string());
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& text) {
    fs::create_directories((dir_ / name).parent_path());
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string Abs(const std::string& name) const { return (dir_ / name).string(); }
  // The error message, or "" when the expansion succeeded; the lists start empty.
  std::string Expand(const std::string& name) {
    lines_.clear();
    files_.clear();
    try {
      ExpandIncludes(name, lines_, files_);
      return "";
    } catch (const Exception& e) {
      return e.what();
    }
  }
  Strings Texts() const {
    Strings out;
    for (const auto& l : lines_) out.push_back(l.Text);
    return out;
  }

  fs::path dir_, oldCwd_;
  std::vector<TExpandedLine> lines_;
  Strings files_;
};

// The error report decodes these codes: a wrong one names the wrong file or line.
TEST_F(ExpandIncludesTest, NestedIncludesExpandDepthFirstWithTheirOriginCodes) {
  Write("a/b/leaf.js", "leaf\n");
  Write("a/mid.js", "mid1\n#include 'b/leaf.js'\nmid2");
  Write("main.js", "top\n#include \"a/mid.js\" // a comment\nend\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"top", "mid1", "leaf", "mid2", "end"}));
  std::vector<int64_t> codes;
  for (const auto& l : lines_) codes.push_back(l.Origin);
  EXPECT_EQ(codes, (std::vector<int64_t>{0, 65536, 2 * 65536, 65536 + 2, 2}));
  EXPECT_EQ(files_, (Strings{"main.js", Abs("a/mid.js"), Abs("a/b/leaf.js")}));
}

TEST_F(ExpandIncludesTest, LinesSplitAtEveryTerminatorAndKeepTheirBytes) {
  Write("main.js", "a\r\nb\rc\n\n\td  \r\n\xEF\xBB\xBF#include \"x\"\r\nlast");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"a", "b", "c", "", "\td  ", "\xEF\xBB\xBF#include \"x\"", "last"}));
  Write("nul.js", std::string("one\r\ntwo\0three\n", 15));
  ASSERT_EQ(Expand("nul.js"), "");
  EXPECT_EQ(Texts(), (Strings{"one", "two"}));
}

TEST_F(ExpandIncludesTest, OnlyTheExactDirectiveFormsAreExpanded) {
  Write("inc.js", "included\n");
  Write("main.js", " #include \"inc.js\"\n#Include \"inc.js\"\n// #include \"inc.js\"\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(),
            (Strings{" #include \"inc.js\"", "#Include \"inc.js\"", "// #include \"inc.js\""}));

  // Any other tenth character: the whole line is taken as the path.
  Write("blanks.js", "#include  \"inc.js\"\n");
  EXPECT_EQ(Expand("blanks.js"), "File not found: #include  \"inc.js\"");
  Write("bare.js", "#include \n");
  EXPECT_EQ(Expand("bare.js"), "File not found: #include ");

  Write("open.js", "before\n#include <lib.js\n");
  EXPECT_EQ(Expand("open.js"), "Failure directive: #include <lib.js");
  EXPECT_EQ(Texts(), (Strings{"before"}));  // kept, not rolled back
}

TEST_F(ExpandIncludesTest, MissingFilesAreReportedUnderTheNameThatWasToBeOpened) {
  EXPECT_EQ(Expand("nowhere.js"), "File not found: nowhere.js");
  EXPECT_TRUE(files_.empty());
  Write("main.js", "#include \"sub/../gone.js\"\n");
  EXPECT_EQ(Expand("main.js"), "File not found: " + Abs("gone.js"));
  // Empty quotes name the including file's folder, which is not a file.
  Write("d/empty_name.js", "#include \"\"\n");
  EXPECT_EQ(Expand("d/empty_name.js"), "File not found: " + Abs("d") + "/");
}

TEST_F(ExpandIncludesTest, EachNameIsExpandedOnceSoCyclesEnd) {
  Write("shared.js", "shared\n#include \"main.js\"\n");
  Write("other.js", "other\n#include \"shared.js\"\n#include \"other.js\"\n");
  Write("main.js", "#include \"shared.js\"\n#include \"other.js\"\nmain\n");
  ASSERT_EQ(Expand(Abs("main.js")), "");
  EXPECT_EQ(Texts(), (Strings{"shared", "other", "main"}));
  EXPECT_EQ(files_, (Strings{Abs("main.js"), Abs("shared.js"), Abs("other.js")}));

  // The main file typed relative is another name than its absolute form.
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"shared", "other", "main", "main"}));
}

TEST_F(ExpandIncludesTest, AngleBracketsReadTheLibraryFolderAndCompareAsStrings) {
  Write("lib/util.js", "util\n");
  Write("main.js",
        "#include <util.js>\n#include \"lib/util.js\"\n#include '" + Abs("lib/util.js") + "'\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"util"}));
  EXPECT_EQ(files_, (Strings{"main.js", Abs("lib/util.js")}));
}

// An installed program has no lib/ beside it: a wrong order or a missing second
// folder breaks every <...> include of the installed samples.
TEST_F(ExpandIncludesTest, AngleBracketsFallBackToTheInstalledLibraryFolder) {
  SetInstalledLibraryFolder(Abs("share/lib"));
  Write("share/lib/only.js", "installed only\n");
  Write("share/lib/both.js", "installed both\n");
  Write("lib/both.js", "beside both\n");
  Write("main.js", "#include <only.js>\n#include <both.js>\n");
  const std::string result = Expand("main.js");
  SetInstalledLibraryFolder("");
  ASSERT_EQ(result, "");
  EXPECT_EQ(Texts(), (Strings{"installed only", "beside both"}));
  EXPECT_EQ(files_, (Strings{"main.js", Abs("share/lib/only.js"), Abs("lib/both.js")}));

  // Found in neither: the message names the first place searched.
  Write("none.js", "#include <missing.js>\n");
  EXPECT_EQ(Expand("none.js"), "File not found: " + Abs("lib/missing.js"));
}

TEST_F(ExpandIncludesTest, AFileTooLongForItsOriginCodesIsRefused) {
  std::string text;
  for (int i = 0; i < 65536; ++i) text += "x\n";
  Write("full.js", text);
  ASSERT_EQ(Expand("full.js"), "");
  EXPECT_EQ(lines_.back().Origin, 65535);

  Write("over.js", text + "y\n");
  Write("main.js", "first\n#include \"over.js\"\n");
  EXPECT_EQ(Expand("main.js"), "File has more than 65536 lines: " + Abs("over.js"));
  EXPECT_EQ(Texts(), (Strings{"first"}));

  // Lines are counted as they are split: CR LF is one end, a lone CR one, and the last
  // line needs none.
  std::string mixed;
  for (int i = 0; i < 65535; ++i) mixed += i % 3 == 0 ? "x\r\n" : i % 3 == 1 ? "x\r" : "x\n";
  Write("mixed.js", mixed + "last");
  ASSERT_EQ(Expand("mixed.js"), "");
  EXPECT_EQ(lines_.size(), 65536u);
  EXPECT_EQ(lines_.back().Text, "last");
  Write("mixed_over.js", mixed + "\rlast");
  EXPECT_EQ(Expand("mixed_over.js"), "File has more than 65536 lines: mixed_over.js");
}

// Files of the proc file system announce no size; their text is read all the same.
TEST_F(ExpandIncludesTest, AFileThatAnnouncesNoSizeIsReadToItsEnd) {
  ASSERT_EQ(Expand("/proc/self/status"), "");
  ASSERT_GT(lines_.size(), 5u);
  EXPECT_EQ(lines_[0].Text.compare(0, 5, "Name:"), 0);
}

// A named pipe passes the existence test; reading it must fail, not hang the run.
TEST_F(ExpandIncludesTest, AFileThatExistsButCannotBeReadIsEnteredAndReported) {
  ASSERT_EQ(::mkfifo(Abs("pipe.js").c_str(), 0600), 0);
  Write("main.js", "#include \"pipe.js\"\n");
  EXPECT_EQ(Expand("main.js"), "Cannot open file \"" + Abs("pipe.js") + "\". Not a regular file");
  EXPECT_EQ(files_, (Strings{"main.js", Abs("pipe.js")}));
}

// Each level of nesting must not cost a frame of the call stack: a chain this deep
// overflowed it. The once-only test must not be quadratic in the number of files either.
TEST_F(ExpandIncludesTest, AChainOfFortyThousandNestedFilesExpandsInOrder) {
  constexpr int kDepth = 40000;
  for (int i = 0; i < kDepth; ++i) {
    const std::string next =
        i + 1 < kDepth ? "#include \"n" + std::to_string(i + 1) + ".js\"\n" : std::string();
    Write("n" + std::to_string(i) + ".js", "a" + std::to_string(i) + "\n" + next + "z\n");
  }
  ASSERT_EQ(Expand("n0.js"), "");
  ASSERT_EQ(lines_.size(), size_t(2 * kDepth));
  EXPECT_EQ(lines_[1].Text, "a1");
  EXPECT_EQ(lines_[kDepth - 1].Text, "a" + std::to_string(kDepth - 1));
  EXPECT_EQ(lines_[kDepth].Text, "z");
  EXPECT_EQ(lines_[kDepth].Origin, int64_t(kDepth - 1) * 65536 + 1);
  EXPECT_EQ(lines_.back().Origin, 2);  // the main file's last line, after the directive
  EXPECT_EQ(files_.size(), size_t(kDepth));
}

// "#!" makes a script file a command; the engine must not see that line, and every
// later line keeps its number.
TEST_F(ExpandIncludesTest, AFirstLineStartingWithHashBangIsKeptEmpty) {
  Write("lib.js", "#!/usr/bin/env -S orvel --run\nlib\n");
  Write("main.js", "#!/usr/bin/env -S orvel --run\n#include \"lib.js\"\nx\n#!not first\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"", "", "lib", "x", "#!not first"}));
  EXPECT_EQ(lines_[0].Origin, 0);
  EXPECT_EQ(lines_[2].Origin, 65536 + 1);
  EXPECT_EQ(lines_[3].Origin, 2);
}

}  // namespace
