#include <gtest/gtest.h>

#include <cstring>

#include "ipc/child_roles.h"
#include "ipc/ipc_support.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) ipc_test::runChildRole(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  ipc_test::removeLeftoverSegments();
  return result;
}
