// The drive table of the fs tests. The file information keeps one drive list per process, built
// at its first use, so the table is installed once, before any test runs, and never changes:
//   C: the host's root (temporary directories appear below it),
//   F: a directory on a drive named FAT32 (file information through stat),
//   N: a directory on a drive named NTFS (file information through a directory search),
//   V: /dev, for devices,
//   P: /proc, for files that fail when read.
// On Windows there is no drive table: the tests that need these drives skip.
#ifndef FSCANNER_TESTS_FS_TEST_DRIVES_H
#define FSCANNER_TESTS_FS_TEST_DRIVES_H

#include <filesystem>
#include <string>

class TestDrives {
 public:
  // Creates the directories and installs the table; false when the platform has no drive table.
  static bool install();
  // Removes the directories.
  static void remove();
  static bool installed();

  // Host directory of drive F: or N:.
  static std::filesystem::path fatRoot();
  static std::filesystem::path ntfsRoot();
};

// Skips the current test when the fs test drives are not installed.
#define REQUIRE_TEST_DRIVES()                                                \
  if (!TestDrives::installed()) {                                            \
    GTEST_SKIP() << "the platform has no replaceable drive table (Windows)"; \
  }

#endif  // FSCANNER_TESTS_FS_TEST_DRIVES_H
