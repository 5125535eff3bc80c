#include "u_preprocess.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "Project1_TLB.h"

namespace fs = std::filesystem;

namespace {

class ExpandIncludesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("orvel_pp_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "lib");
    SetLibraryFolder((dir_ / "lib").string());
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::string Abs(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the expansion and returns the error message, or "" when it succeeded.
  std::string Expand(const std::string& name) {
    try {
      ExpandIncludes(name, lines_, files_);
      return "";
    } catch (const Exception& e) {
      return e.what();
    }
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& l : lines_) out.push_back(l.Text);
    return out;
  }
  std::vector<int64_t> Origins() const {
    std::vector<int64_t> out;
    for (const auto& l : lines_) out.push_back(l.Origin);
    return out;
  }

  fs::path dir_, oldCwd_;
  std::vector<TExpandedLine> lines_;
  std::vector<std::string> files_;
};

using Strings = std::vector<std::string>;
using Codes = std::vector<int64_t>;

// The error report depends on these codes: a wrong code names the wrong file or line.
TEST_F(ExpandIncludesTest, OriginCodesNameFileAndLineOfEveryExpandedLine) {
  Write("inc/two.js", "i1\ni2\n");
  Write("main.js", "m1\n#include \"inc/two.js\"\nm3\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"m1", "i1", "i2", "m3"}));
  EXPECT_EQ(Origins(), (Codes{0, 65536, 65537, 2}));
  EXPECT_EQ(files_, (Strings{"main.js", Abs("inc/two.js")}));
}

TEST_F(ExpandIncludesTest, NestedIncludesResolveAgainstTheIncludingFileAndExpandDepthFirst) {
  Write("a/b/leaf.js", "leaf\n");
  Write("a/mid.js", "mid1\n#include 'b/leaf.js'\nmid2");
  Write("main.js", "top\n#include \"a/mid.js\"\nend\n");
  ASSERT_EQ(Expand(Abs("main.js")), "");
  EXPECT_EQ(Texts(), (Strings{"top", "mid1", "leaf", "mid2", "end"}));
  EXPECT_EQ(Origins(), (Codes{0, 65536, 2 * 65536, 65536 + 2, 2}));
  EXPECT_EQ(files_, (Strings{Abs("main.js"), Abs("a/mid.js"), Abs("a/b/leaf.js")}));
}

TEST_F(ExpandIncludesTest, LinesSplitAtEveryTerminatorAndKeepTheirBytes) {
  Write("main.js", std::string("a\r\nb\rc\n\n\td  \r\n\xEF\xBB\xBF#include \"x\"\r\nlast"));
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"a", "b", "c", "", "\td  ", "\xEF\xBB\xBF#include \"x\"", "last"}));

  lines_.clear();
  files_.clear();
  Write("nul.js", std::string("one\ntwo\0three\n", 14));
  Write("empty.js", "");
  Write("end.js", "x\r\n");
  ASSERT_EQ(Expand("nul.js"), "");
  ASSERT_EQ(Expand("empty.js"), "");
  ASSERT_EQ(Expand("end.js"), "");
  EXPECT_EQ(Texts(), (Strings{"one", "two", "x"}));
  EXPECT_EQ(files_.size(), 3u);  // the empty file is entered all the same
}

TEST_F(ExpandIncludesTest, OnlyTheExactDirectiveIsExpanded) {
  Write("inc.js", "included\n");
  Write("main.js",
        " #include \"inc.js\"\n"
        "\t#include \"inc.js\"\n"
        "#Include \"inc.js\"\n"
        "// #include \"inc.js\"\n"
        "#include \"inc.js\" // the rest of the line is ignored\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{" #include \"inc.js\"", "\t#include \"inc.js\"",
                              "#Include \"inc.js\"", "// #include \"inc.js\"", "included"}));
}

TEST_F(ExpandIncludesTest, AnUnknownFormIsTakenWholeAsAPath) {
  Write("blanks.js", "#include  \"inc.js\"\n");
  EXPECT_EQ(Expand("blanks.js"), "File not found: #include  \"inc.js\"");
  Write("bare.js", "#include \n");
  EXPECT_EQ(Expand("bare.js"), "File not found: #include ");
}

TEST_F(ExpandIncludesTest, AnUnclosedNameFailsWithTheWholeLineAndKeepsWhatCameBefore) {
  Write("main.js", "before\n#include \"inc.js\n");
  EXPECT_EQ(Expand("main.js"), "Failure directive: #include \"inc.js");
  Write("angle.js", "#include <lib.js\n");
  EXPECT_EQ(Expand("angle.js"), "Failure directive: #include <lib.js");
  EXPECT_EQ(Texts(), (Strings{"before"}));
  EXPECT_EQ(files_, (Strings{"main.js", "angle.js"}));
}

TEST_F(ExpandIncludesTest, MissingFilesAreReportedUnderTheNameThatWasToBeOpened) {
  EXPECT_EQ(Expand("nowhere.js"), "File not found: nowhere.js");
  EXPECT_TRUE(files_.empty());

  Write("main.js", "kept\n#include \"sub/../gone.js\"\n");
  EXPECT_EQ(Expand("main.js"), "File not found: " + Abs("gone.js"));
  EXPECT_EQ(Texts(), (Strings{"kept"}));

  // Empty quotes name the including file's folder, which is not a file.
  Write("d/empty_name.js", "#include \"\"\n");
  EXPECT_EQ(Expand("d/empty_name.js"), "File not found: " + Abs("d") + "/");
}

TEST_F(ExpandIncludesTest, EachFileIsExpandedOnceAndCyclesEnd) {
  Write("shared.js", "shared\n#include \"main.js\"\n");
  Write("other.js", "other\n#include \"shared.js\"\n#include \"other.js\"\n");
  Write("main.js", "#include \"shared.js\"\n#include \"other.js\"\n#include \"shared.js\"\nmain\n");
  ASSERT_EQ(Expand(Abs("main.js")), "");
  EXPECT_EQ(Texts(), (Strings{"shared", "other", "main"}));
  EXPECT_EQ(files_, (Strings{Abs("main.js"), Abs("shared.js"), Abs("other.js")}));
}

TEST_F(ExpandIncludesTest, TheMainFileUnderAnotherNameIsADifferentFile) {
  Write("main.js", "m\n#include \"main.js\"\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(Texts(), (Strings{"m", "m"}));
  EXPECT_EQ(files_, (Strings{"main.js", Abs("main.js")}));
}

TEST_F(ExpandIncludesTest, AngleBracketsReadTheLibraryFolderAndCompareAsStrings) {
  Write("lib/util.js", "util\n");
  Write("main.js", "#include <util.js>\n#include \"lib/util.js\"\n#include <util.js>\n#include '" +
                       Abs("lib/util.js") + "'\n");
  ASSERT_EQ(Expand("main.js"), "");
  // The library path is built as folder + name; the quoted name ends the same.
  EXPECT_EQ(Texts(), (Strings{"util"}));
  EXPECT_EQ(files_, (Strings{"main.js", LibraryFolder() + "util.js"}));
  EXPECT_EQ(LibraryFolder(), Abs("lib") + "/");
}

TEST_F(ExpandIncludesTest, AnAbsoluteQuotedNameIsUsedAsGiven) {
  Write("x/abs.js", "abs\n");
  Write("main.js", "#include \"" + Abs("x/abs.js") + "\"\n");
  ASSERT_EQ(Expand("main.js"), "");
  EXPECT_EQ(files_.at(1), Abs("x/abs.js"));
}

TEST_F(ExpandIncludesTest, AFileTooLongForItsOriginCodesIsRefused) {
  std::string text;
  for (int i = 0; i < 65536; ++i) text += "x\n";
  Write("full.js", text);
  ASSERT_EQ(Expand("full.js"), "");
  EXPECT_EQ(lines_.back().Origin, 65535);

  lines_.clear();
  files_.clear();
  Write("over.js", text + "y\n");
  Write("main.js", "first\n#include \"over.js\"\n");
  EXPECT_EQ(Expand("main.js"), "File has more than 65536 lines: " + Abs("over.js"));
  // Nothing of the long file reaches the output.
  EXPECT_EQ(Texts(), (Strings{"first"}));
}

TEST_F(ExpandIncludesTest, AFileThatExistsButDoesNotOpenIsEnteredAndReportedWithItsFullPath) {
  // A socket passes the existence test yet refuses open(), for root as well.
  const std::string path = Abs("sock.js");
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  Write("main.js", "#include \"sock.js\"\n");
  EXPECT_EQ(Expand("main.js"), "Cannot open file \"" + path + "\". No such device or address");
  EXPECT_EQ(files_, (Strings{"main.js", path}));
  ::close(s);

  // A named pipe without a writer must not hang the run.
  ASSERT_EQ(::mkfifo(Abs("pipe.js").c_str(), 0600), 0);
  EXPECT_EQ(Expand("pipe.js"), "Cannot open file \"" + Abs("pipe.js") + "\". Not a regular file");
}

}  // namespace
