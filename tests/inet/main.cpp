#include <gtest/gtest.h>

#include <cstdlib>

#include "u_inet.h"

int main(int argc, char** argv) {
  // The test servers are on 127.0.0.1; a proxy from the environment must not intercept.
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  InitInetUnit();
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  ShutdownInetTools();
  return rc;
}
