// md5_file throughput against md5sum (and `openssl md5` where installed) on the same
// 256 MB file, all read from the page cache, in rounds with the order rotated; the
// ratio of each round is md5sum's time over md5_file's (above 1: md5_file is faster).
// Run: bench/bench_md5 [rounds]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "md5.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kFileSize = 256u << 20;

// The first 32 characters the command prints: both tools print the digest first.
std::string RunTool(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "";
  char line[256] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  ::pclose(pipe);
  return got ? std::string(line, 32) : "";
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool HaveOpenssl() {
  return std::system("openssl version >/dev/null 2>&1") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::stoi(argv[1])) : 9;
  const fs::path path =
      fs::temp_directory_path() / ("orvel_md5_bench_" + std::to_string(::getpid()));
  {
    std::mt19937_64 random(1);
    std::vector<uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (size_t written = 0; written < kFileSize; written += block.size() * 8) {
      for (uint64_t& v : block) v = random();
      out.write(reinterpret_cast<const char*>(block.data()), block.size() * 8);
    }
  }

  const std::string file = path.string();
  const std::string md5sum = "md5sum '" + file + "'";
  // `openssl md5 -r` prints the digest first, as md5sum does.
  const std::string openssl = "openssl md5 -r '" + file + "'";
  const bool withOpenssl = HaveOpenssl();
  std::string ours, theirs, openssls;
  RunTool(md5sum);  // bring the file into the page cache
  std::vector<std::function<double()>> run = {
      [&] {
        const auto start = Clock::now();
        ours = DigestToHex(DigestFile(file));
        return Ms(Clock::now() - start);
      },
      [&] {
        const auto start = Clock::now();
        theirs = Upper(RunTool(md5sum));
        return Ms(Clock::now() - start);
      },
  };
  if (withOpenssl)
    run.emplace_back([&] {
      const auto start = Clock::now();
      openssls = Upper(RunTool(openssl));
      return Ms(Clock::now() - start);
    });
  const auto times = InRounds(rounds, run);
  fs::remove(path);

  const double mb = static_cast<double>(kFileSize) / (1 << 20);
  std::printf("file: %.0f MB, %d rounds, order rotated; median MB/s\n", mb, rounds);
  std::printf("md5_file:    %8.1f MB/s  %s\n", mb / Median(times[0]) * 1e3, ours.c_str());
  std::printf("md5sum:      %8.1f MB/s  %s\n", mb / Median(times[1]) * 1e3, theirs.c_str());
  if (withOpenssl)
    std::printf("openssl md5: %8.1f MB/s  %s\n", mb / Median(times[2]) * 1e3, openssls.c_str());
  std::printf("%-44s %6s / %6s / %6s\n", "ratio (time of the other ÷ md5_file's)", "min", "median",
              "max");
  PrintSpread("md5sum", RatioSpread(times[1], times[0]));
  if (withOpenssl) PrintSpread("openssl md5", RatioSpread(times[2], times[0]));
  if (withOpenssl && openssls != ours) {
    std::printf("the digests differ\n");
    return 1;
  }
  if (ours != theirs) {
    std::printf("the digests differ\n");
    return 1;
  }
  return 0;
}
