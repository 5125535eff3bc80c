#include "md5.h"

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

std::string RandomBytes(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

TEST(Md5, MatchesTheReferenceTestSuiteInUpperCase) {
  EXPECT_EQ(Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(Hex("12345678901234567890123456789012345678901234567890"
                "123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
  EXPECT_NE(Hex(std::string("a\0b", 3)), Hex("ab"));  // every byte counts, NUL too
}

// Splitting the input at block and padding boundaries must not change the digest.
TEST(Md5, FeedingInPiecesGivesTheSameDigestAsOnePiece) {
  const std::string data = RandomBytes(1000);
  for (size_t length : {55u, 56u, 63u, 64u, 65u, 120u, 1000u}) {
    for (size_t piece : {1u, 63u, 64u, 65u}) {
      DigestContext context;
      DigestInit(context);
      for (size_t at = 0; at < length; at += piece)
        DigestUpdate(context, data.data() + at, std::min(piece, length - at));
      EXPECT_EQ(DigestFinal(context), DigestBuffer(data.data(), length)) << length << "/" << piece;
    }
  }
}

// Files of 512 MiB and more pass 2^32 message bits.
TEST(Md5, TheBitCountCarriesIntoItsHighWordAndTheContextIsWipedAfterwards) {
  DigestContext context;
  DigestInit(context);
  context.Count[0] = 0xFFFFFFF8u;
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
    std::ofstream(dir_ / name, std::ios::binary) << data;
    return (dir_ / name).string();
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

// Sizes around the read blocks and several megabytes: a lost or repeated block shows.
TEST_F(Md5FileTest, FileDigestEqualsTheDigestOfItsWholeContents) {
  for (size_t size : {0u, 4096u, 4097u, (1u << 20) + 1, 5000000u}) {
    const std::string data = RandomBytes(size);
    EXPECT_EQ(DigestFile(Write("f", data)), DigestString(data)) << size << " bytes";
  }
}

TEST_F(Md5FileTest, FilesThatCannotBeReadWholeFailWithTheNameAsPassed) {
  const std::string missing = (dir_ / "missing").string();
  EXPECT_EQ(Failure(missing), "Cannot open file " + missing);
  EXPECT_EQ(Failure(dir_.string()), "Cannot open file " + dir_.string());
  // Devices and pipes could block or never end.
  EXPECT_EQ(Failure("/dev/zero"), "Cannot open file /dev/zero");
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(Failure((dir_ / "pipe").string()), "Cannot open file " + (dir_ / "pipe").string());

  // Held open for writing (here by this very process): its contents may be changing.
  const std::string path = Write("busy", "data");
  {
    std::ofstream writer(path, std::ios::app);
    EXPECT_EQ(Failure(path), "Cannot open file " + path);
  }
  EXPECT_EQ(Failure(path), "");
}

}  // namespace
