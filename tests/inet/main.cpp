#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
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
  std::system(("rm -rf " + std::string(ORVEL_BINARY_DIR) + "/tests/inet/tmp_*_" +
               std::to_string(::getpid()))
                  .c_str());
  return rc;
}
