// Installs the drive table of the fs and walk tests (test_drives.h) before any test runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FsFileInfo.h"
#include "platform/platform_testing.h"
#include "support/temp_dir.h"
#include "support/test_drives.h"

namespace {
const TempDir* gRoot = nullptr;
bool gInstalled = false;
}  // namespace

bool TestDrives::installed() { return gInstalled; }
std::filesystem::path TestDrives::fatRoot() { return gRoot->host("fat"); }
std::filesystem::path TestDrives::ntfsRoot() { return gRoot->host("ntfs"); }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const TempDir root;
  gRoot = &root;
  std::filesystem::create_directory(TestDrives::fatRoot());
  std::filesystem::create_directory(TestDrives::ntfsRoot());
  const std::string table = "C:=/;F:=" + TestDrives::fatRoot().string() +
                            ",fixed,FAT32;N:=" + TestDrives::ntfsRoot().string() +
                            ",fixed,NTFS;V:=/dev;P:=/proc";
  gInstalled = platform::testing::setDriveTable(table.c_str());
  { const FsFileInfo first; }  // builds (and traces) the drive list before any test watches
  return RUN_ALL_TESTS();
}
