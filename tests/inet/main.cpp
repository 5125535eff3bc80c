#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "u_inet.h"

int main(int argc, char** argv) {
  // The test servers are on 127.0.0.1; a proxy from the environment must not intercept.
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  InitInetUnit();
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  ShutdownInetTools();
  // The folders the file tests made for this process.
  const std::string suffix = "_" + std::to_string(::getpid());
  std::error_code ignored;  // nothing to clean is no failure
  for (const auto& entry : std::filesystem::directory_iterator(
           std::string(ORVEL_BINARY_DIR) + "/tests/inet", ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("tmp_", 0) == 0 && name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      std::filesystem::remove_all(entry.path(), ignored);
  }
  return rc;
}
