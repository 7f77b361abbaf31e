// The fs tests install their drive table before any test, since the file information builds its
// drive list once per process.
#include <gtest/gtest.h>

#include <random>
#include <system_error>

#include "FsFileInfo.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "test_drives.h"

namespace {

std::filesystem::path gRoot;
bool gInstalled = false;

}  // namespace

bool TestDrives::install() {
  std::random_device seed;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  do {
    gRoot = base / ("fscanner-fs-drives-" + std::to_string(seed()));
  } while (!std::filesystem::create_directory(gRoot));
  std::filesystem::create_directory(fatRoot());
  std::filesystem::create_directory(ntfsRoot());
  const std::string table = "C:=/;F:=" + fatRoot().string() +
                            ",fixed,FAT32;N:=" + ntfsRoot().string() +
                            ",fixed,NTFS;V:=/dev;P:=/proc";
  gInstalled = platform::testing::setDriveTable(table.c_str());
  return gInstalled;
}

void TestDrives::remove() {
  std::error_code ignored;
  std::filesystem::remove_all(gRoot, ignored);
}

bool TestDrives::installed() { return gInstalled; }
std::filesystem::path TestDrives::fatRoot() { return gRoot / "fat"; }
std::filesystem::path TestDrives::ntfsRoot() { return gRoot / "ntfs"; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TestDrives::install();
  // The first file information builds the process's drive list (and traces doing so): from
  // this table, before any test watches the traces.
  { const FsFileInfo first; }
  const int result = RUN_ALL_TESTS();
  TestDrives::remove();
  return result;
}
