#include "md5.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "Project1_TLB.h"

namespace fs = std::filesystem;

namespace {

std::string Hex(const std::string& text) {
  return DigestToHex(DigestString(text));
}

// The test suite of RFC 1321, in the upper-case form the system prints.
TEST(Md5, MatchesTheReferenceTestSuite) {
  EXPECT_EQ(Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                "1234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
  // Bytes are hashed as they are: a NUL inside counts, UTF-8 is not converted.
  EXPECT_NE(Hex(std::string("a\0b", 3)), Hex("ab"));
  EXPECT_EQ(DigestString("\xC3\xA9"), DigestBuffer("\xC3\xA9", 2));
}

// Splitting the input at block and padding boundaries must not change the digest.
TEST(Md5, FeedingInPiecesGivesTheSameDigestAsOnePiece) {
  std::mt19937 random(7);
  std::string data(1000, '\0');
  for (char& c : data) c = static_cast<char>(random());
  for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    const Digest whole = DigestBuffer(data.data(), length);
    for (size_t piece : {1u, 3u, 63u, 64u, 65u}) {
      DigestContext context;
      DigestInit(context);
      for (size_t at = 0; at < length; at += piece)
        DigestUpdate(context, data.data() + at, std::min(piece, length - at));
      EXPECT_EQ(DigestFinal(context), whole) << "length " << length << " piece " << piece;
    }
  }
}

TEST(Md5, TheBitCountCarriesIntoItsHighWordAndTheContextIsWipedAfterwards) {
  DigestContext context;
  DigestInit(context);
  context.Count[0] = 0xFFFFFFF8u;  // one byte short of 2^32 bits
  DigestUpdate(context, "ab", 2);
  EXPECT_EQ(context.Count[1], 1u);
  EXPECT_EQ(context.Count[0], 8u);
  DigestFinal(context);
  const DigestContext zero{};
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
}

class Md5FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvel_md5_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& data) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  static std::string Failure(const std::string& name) {
    try {
      DigestFile(name);
    } catch (const Exception& e) {
      return e.what();
    }
    return "";
  }
  fs::path dir_;
};

// Sizes around the read block and several megabytes: a lost or repeated block shows.
TEST_F(Md5FileTest, FileDigestEqualsTheDigestOfItsWholeContents) {
  std::mt19937 random(11);
  for (size_t size : {0u, 4096u, 4097u, (1u << 20) - 1, 1u << 20, (1u << 20) + 1, 5000000u}) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random());
    const std::string path = Write("f" + std::to_string(size), data);
    EXPECT_EQ(DigestFile(path), DigestString(data)) << size << " bytes";
  }
  EXPECT_EQ(DigestToHex(DigestFile(Write("empty", ""))), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(Md5FileTest, AStreamIsHashedFromItsStartAndKeepsItsPosition) {
  const std::string path = Write("s", "abc");
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ::lseek(fd, 2, SEEK_SET);
  EXPECT_EQ(DigestToHex(DigestStream(fd)), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 2);
  ::close(fd);
}

TEST_F(Md5FileTest, FilesThatCannotBeReadFailWithTheNameAsPassed) {
  EXPECT_EQ(Failure((dir_ / "missing").string()),
            "Cannot open file " + (dir_ / "missing").string());
  EXPECT_EQ(Failure(dir_.string()), "Cannot open file " + dir_.string());
  EXPECT_EQ(Failure(""), "Cannot open file ");
  // Devices and pipes could block or never end.
  EXPECT_EQ(Failure("/dev/zero"), "Cannot open file /dev/zero");
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(Failure((dir_ / "pipe").string()), "Cannot open file " + (dir_ / "pipe").string());

  // Held open for writing (here by this very process): its contents may be changing.
  const std::string path = Write("busy", "data");
  {
    std::ofstream writer(path, std::ios::app);
    ASSERT_TRUE(writer.is_open());
    EXPECT_EQ(Failure(path), "Cannot open file " + path);
  }
  EXPECT_EQ(Failure(path), "");
}

}  // namespace
