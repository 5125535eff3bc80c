// Loading and saving through the code editor: line breaks, byte-exact round trips,
// and failures that must leave files and the editor as they were.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <string>

#include "u_myedit.h"

namespace {

class EditorFiles : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
  static void Write(const std::string& path, const std::string& bytes) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), static_cast<qint64>(bytes.size())),
              static_cast<qint64>(bytes.size()));
  }
  static std::string Read(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<unreadable>";
  }
  // Saves what the file holds and returns what the file holds afterwards.
  std::string RoundTrip(const char* name, const std::string& bytes) {
    Write(Path(name), bytes);
    ed.LoadFromFile(Path(name));
    ed.SaveToFile(Path(name));
    return Read(Path(name));
  }

  QTemporaryDir dir;
  TMyEdit ed;
};

TEST_F(EditorFiles, EveryLineBreakBecomesCrLfAndNoFinalBreakIsAdded) {
  EXPECT_EQ(RoundTrip("lf.js", "a\nb\rc\r\nd\n\ne"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
  EXPECT_EQ(ed.LineCount(), 6);
  EXPECT_FALSE(ed.Modified());
  EXPECT_EQ(RoundTrip("end.js", "x\n"), "x\r\n");
  EXPECT_EQ(RoundTrip("empty.js", ""), "");
}

// Nothing may change on the way through the editor: not UTF-8 text, not no-break
// spaces, not a byte-order mark, not 8-bit bytes that are not UTF-8 at all.
TEST_F(EditorFiles, LargeAndUnusualFilesRoundTripByteExact) {
  std::string big;
  for (int i = 0; i < 50000; ++i)
    big += (i ? "\r\n" : "") + ("\tvar x" + std::to_string(i)) + " = \"При\xC2\xA0вет\"; // € 𝄞";
  EXPECT_EQ(RoundTrip("big.js", big), big);
  EXPECT_EQ(ed.LineCount(), 50000);
  EXPECT_EQ(RoundTrip("bom.js", "\xEF\xBB\xBFsys.out(1);\r\n"), "\xEF\xBB\xBFsys.out(1);\r\n");
  const std::string legacy = "caf\xE9 \xFF\xC0\r\n\x80\x01z";
  EXPECT_EQ(RoundTrip("legacy.js", legacy), legacy);

  // A character that the 8-bit file cannot hold is an error, not a silent change.
  ed.insertPlainText(QStringLiteral("€"));
  EXPECT_THROW(ed.SaveToFile(Path("legacy.js")), EEditorFileError);
  EXPECT_EQ(Read(Path("legacy.js")), legacy);
}

// Unicode's own separators are characters of the line, not breaks: they must neither
// come back as CR LF nor split a line (that would shift every line number after them).
TEST_F(EditorFiles, UnicodeSeparatorsStayInsideTheirLine) {
  const std::string seps = "a\u2028b\u2029c\uFDD0\uFDD1d\uF8FF\uE000\r\nsecond";
  EXPECT_EQ(RoundTrip("seps.js", seps), seps);
  EXPECT_EQ(ed.LineCount(), 2);
  EXPECT_EQ(ed.Line(0), "a\u2028b\u2029c\uFDD0\uFDD1d\uF8FF\uE000");
  EXPECT_EQ(ed.Text(), seps);
  ed.SetCaretPos({0, 1});
  EXPECT_EQ(ed.SelStart(), 12);  // ten characters, then CR LF
  ed.SetText("x\u2029y");
  EXPECT_EQ(ed.LineCount(), 1);
  EXPECT_EQ(ed.Text(), "x\u2029y");
}

// Linux file names are bytes; one that is not UTF-8 is still a file to open and save.
TEST_F(EditorFiles, FileNameThatIsNotUtf8LoadsAndSaves) {
  const std::string name = Path("caf") + "\xE9.js";
  {
    FILE* f = std::fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old\r\n", f);
    std::fclose(f);
  }
  ed.LoadFromFile(name);
  EXPECT_EQ(ed.Text(), "old\r\n");
  ed.SetText("new");
  ed.SaveToFile(name);
  FILE* f = std::fopen(name.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 3u);
  std::fclose(f);
  EXPECT_EQ(std::string(buf), "new");
  int entries = 0;
  if (DIR* d = opendir(dir.path().toLocal8Bit().constData())) {
    while (const dirent* e = readdir(d)) entries += e->d_name[0] != '.';
    closedir(d);
  }
  EXPECT_EQ(entries, 1) << "a temporary file was left behind";
  unlink(name.c_str());  // the folder's own clean-up cannot name it
}

TEST_F(EditorFiles, SaveFollowsSymlinksAndKeepsPermissions) {
  Write(Path("target.js"), "old");
  ASSERT_TRUE(QFile::setPermissions(dir.filePath("target.js"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  const auto before = QFile::permissions(dir.filePath("target.js"));
  ASSERT_TRUE(QFile::link(dir.filePath("target.js"), dir.filePath("link.js")));
  ed.SetText("new");
  ed.SaveToFile(Path("link.js"));
  EXPECT_TRUE(QFileInfo(dir.filePath("link.js")).isSymLink());
  EXPECT_EQ(Read(Path("target.js")), "new");
  EXPECT_EQ(QFile::permissions(dir.filePath("target.js")), before);
}

TEST_F(EditorFiles, FailedSaveLeavesTheOldFileWhole) {
  Write(Path("keep.js"), "precious\r\n");
  ed.SetText(std::string(100000, 'x'));
  EXPECT_THROW(ed.SaveToFile(dir.path().toStdString()), EEditorFileError);  // a folder
  EXPECT_THROW(ed.SaveToFile(Path("no/such/folder/x.js")), EEditorFileError);
  EXPECT_THROW(ed.SaveToFile(""), EEditorFileError);

  // A write that fails part way, as on a full disk: files may not grow past 4 KiB.
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    ed.SaveToFile(Path("keep.js"));
  } catch (const EEditorFileError&) {
    threw = true;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(threw) << "a failed write was reported as success";
  EXPECT_EQ(Read(Path("keep.js")), "precious\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "a temporary file was left behind";
}

TEST_F(EditorFiles, RefusedPermissionLeavesTheOldFileWhole) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions are not enforced for the superuser";
  Write(Path("keep.js"), "precious\r\n");
  ed.SetText("replacement");
  ASSERT_TRUE(QFile::setPermissions(dir.filePath("keep.js"), QFile::ReadOwner));
  EXPECT_THROW(ed.SaveToFile(Path("keep.js")), EEditorFileError);
  EXPECT_EQ(Read(Path("keep.js")), "precious\r\n");

  // A folder that takes no new file: the temporary file cannot be made.
  const QString locked = dir.filePath("locked");
  ASSERT_TRUE(QDir().mkdir(locked));
  const std::string inside = (locked + "/keep.js").toStdString();
  Write(inside, "precious\r\n");
  ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
  EXPECT_THROW(ed.SaveToFile(inside), EEditorFileError);
  EXPECT_EQ(Read(inside), "precious\r\n");
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(EditorFiles, FailedLoadLeavesTheEditorAsItWas) {
  ed.SetText("kept");
  ed.SetModified(true);
  try {
    ed.LoadFromFile(Path("missing.js"));
    ADD_FAILURE() << "no error for a missing file";
  } catch (const EEditorFileError& e) {
    EXPECT_EQ(e.Path, Path("missing.js"));
    EXPECT_FALSE(e.Reason.empty());
  }
  EXPECT_THROW(ed.LoadFromFile(dir.path().toStdString()), EEditorFileError);
  EXPECT_EQ(ed.Text(), "kept");
  EXPECT_TRUE(ed.Modified());
}

}  // namespace
