// A drive table built from temporary directories, so that a test sees drives of every type: one
// directory per drive letter, each with an explicit drive type and file-system name. The table
// replaces the process's table for the life of the fixture; the current directory can be moved
// onto one of the drives and is restored at the end.
//
// Drive tables exist on POSIX only: on Windows installed() is false and DriveTableTest skips.
#ifndef FSCANNER_TESTS_SUPPORT_DRIVE_FIXTURE_H
#define FSCANNER_TESTS_SUPPORT_DRIVE_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform_testing.h"
#include "support/temp_dir.h"

struct FixtureDrive {
  char letter;
  std::string type;        // removable, fixed, remote, cdrom or ramdisk
  std::string fileSystem;  // the name the volume reports
};

// One drive of every type, two fixed drives with different file systems. Listed by letter, as
// the operating system lists them.
inline std::vector<FixtureDrive> everyDriveType() {
  return {{'A', "removable", "FAT"}, {'C', "fixed", "NTFS"},    {'D', "fixed", "FAT32"},
          {'E', "cdrom", "CDFS"},    {'M', "ramdisk", "TMPFS"}, {'R', "remote", "SMB"}};
}

class DriveTableFixture {
 public:
  explicit DriveTableFixture(const std::vector<FixtureDrive>& drives = everyDriveType()) {
    std::string table;
    for (const FixtureDrive& drive : drives) {
      const std::filesystem::path root = hostRoot(drive.letter);
      std::error_code ignored;
      std::filesystem::create_directories(root, ignored);
      if (!table.empty()) table += ";";
      table += std::string(1, drive.letter) + ":=" + root.string() + "," + drive.type + "," +
               drive.fileSystem;
    }
    installed_ = platform::testing::setDriveTable(table.c_str());
  }
  ~DriveTableFixture() {
    if (previousDirectory_ != nullptr) {
      std::error_code ignored;
      std::filesystem::current_path(*previousDirectory_, ignored);
    }
    if (installed_) platform::testing::resetDriveTable();
  }
  DriveTableFixture(const DriveTableFixture&) = delete;
  DriveTableFixture& operator=(const DriveTableFixture&) = delete;

  bool installed() const { return installed_; }

  // The host directory that stands for the root of drive letter.
  std::filesystem::path hostRoot(char letter) const {
    return base_.host() / std::string(1, static_cast<char>(letter | 0x20));
  }

  // Creates directory relative (with '/' between components) on drive letter.
  std::filesystem::path makeDirectory(char letter, const std::string& relative) const {
    const std::filesystem::path directory = hostRoot(letter) / relative;
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    return directory;
  }

  // Makes relative on drive letter the current directory, creating it first.
  void enter(char letter, const std::string& relative) {
    if (previousDirectory_ == nullptr) {
      previousDirectory_ = std::make_unique<std::filesystem::path>(std::filesystem::current_path());
    }
    std::filesystem::current_path(makeDirectory(letter, relative));
  }

 private:
  TempDir base_;
  bool installed_ = false;
  std::unique_ptr<std::filesystem::path> previousDirectory_;
};

// Base of tests that need the fixture's drives; skips where drive tables do not exist.
class DriveTableTest : public ::testing::Test {
 protected:
  explicit DriveTableTest(const std::vector<FixtureDrive>& drives = everyDriveType())
      : drives_(drives) {}
  void SetUp() override {
    if (!drives_.installed()) GTEST_SKIP() << "drive tables exist only on POSIX";
  }

  DriveTableFixture drives_;
};

#endif  // FSCANNER_TESTS_SUPPORT_DRIVE_FIXTURE_H
