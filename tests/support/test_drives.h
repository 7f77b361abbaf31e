// The drive table of the fs and walk tests, installed by test_drives_main.cc before any test (the
// file information builds its drive list at first use): C: the host's root, F: a FAT32 directory
// (stat route), N: an NTFS directory (directory-search route), V: /dev, P: /proc. Windows has none.
#ifndef FSCANNER_TESTS_SUPPORT_TEST_DRIVES_H
#define FSCANNER_TESTS_SUPPORT_TEST_DRIVES_H

#include <filesystem>

namespace TestDrives {
bool installed();
std::filesystem::path fatRoot();
std::filesystem::path ntfsRoot();
}  // namespace TestDrives

#define REQUIRE_TEST_DRIVES() \
  if (!TestDrives::installed()) GTEST_SKIP() << "the platform has no replaceable drive table"

#endif  // FSCANNER_TESTS_SUPPORT_TEST_DRIVES_H
