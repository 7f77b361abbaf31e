#include <gtest/gtest.h>

#include "provider_monitor/fake_monitor.h"

int main(int argc, char** argv) {
  if (isMonitorCommandLine(argc, argv)) return runFakeMonitor(argv);
  g_testProgramPath = argv[0];
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
