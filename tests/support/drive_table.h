// The drive table of a test, in place of the process's table for the life of the object: host
// directories (new temporary ones unless given) with optional drive types and file-system names.
// Drive tables exist on POSIX only: on Windows installed() is false and DriveTableTest skips.
#ifndef FSCANNER_TESTS_SUPPORT_DRIVE_TABLE_H
#define FSCANNER_TESTS_SUPPORT_DRIVE_TABLE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform_testing.h"
#include "support/temp_dir.h"

struct FixtureDrive {
  char letter;
  std::string type;        // removable, fixed, remote, cdrom or ramdisk; empty: from the mount
  std::string fileSystem;  // the name the volume reports; empty: from the mount
  std::string host = {};   // the directory; empty: a new temporary directory
};

// One drive of every type, two fixed drives with different file systems. Listed by letter, as
// the operating system lists them.
inline std::vector<FixtureDrive> everyDriveType() {
  return {{'A', "removable", "FAT"}, {'C', "fixed", "NTFS"},    {'D', "fixed", "FAT32"},
          {'E', "cdrom", "CDFS"},    {'M', "ramdisk", "TMPFS"}, {'R', "remote", "SMB"}};
}

class ScopedDriveTable {
 public:
  // A table in the FSCANNER_DRIVES syntax ("C:=/;D:=/srv/data;R:=/mnt/share,remote,SMB").
  explicit ScopedDriveTable(const std::string& text) { install(text); }
  explicit ScopedDriveTable(const std::vector<FixtureDrive>& drives = everyDriveType()) {
    std::string table;
    for (const FixtureDrive& drive : drives) {
      std::filesystem::path root = drive.host;
      if (root.empty()) {
        if (base_ == nullptr) base_ = std::make_unique<TempDir>();
        root = base_->host() / std::string(1, static_cast<char>(drive.letter | 0x20));
        std::error_code ignored;
        std::filesystem::create_directories(root, ignored);
      }
      roots_[drive.letter] = root;
      table += (table.empty() ? "" : ";") + std::string(1, drive.letter) + ":=" + root.string() +
               "," + drive.type + "," + drive.fileSystem;
    }
    install(table);
  }
  ~ScopedDriveTable() {
    if (previousDirectory_ != nullptr) {
      std::error_code ignored;
      std::filesystem::current_path(*previousDirectory_, ignored);
    }
    if (installed_) platform::testing::resetDriveTable();
  }
  ScopedDriveTable(const ScopedDriveTable&) = delete;
  ScopedDriveTable& operator=(const ScopedDriveTable&) = delete;

  bool installed() const { return installed_; }

  // The host directory that stands for the root of drive letter (a drive given as FixtureDrive).
  std::filesystem::path hostRoot(char letter) const { return roots_.at(letter); }

  // Makes relative ('/' between components) on drive letter the current directory, creating it
  // first; the previous one comes back with the table's end.
  void enter(char letter, const std::string& relative) {
    if (previousDirectory_ == nullptr) {
      previousDirectory_ = std::make_unique<std::filesystem::path>(std::filesystem::current_path());
    }
    std::error_code ignored;
    std::filesystem::create_directories(hostRoot(letter) / relative, ignored);
    std::filesystem::current_path(hostRoot(letter) / relative);
  }

 private:
  void install(const std::string& text) {
    installed_ = platform::testing::setDriveTable(text.c_str());
  }

  std::unique_ptr<TempDir> base_;
  std::map<char, std::filesystem::path> roots_;
  bool installed_ = false;
  std::unique_ptr<std::filesystem::path> previousDirectory_;
};

// Base of tests that need a table's drives; skips where drive tables do not exist.
class DriveTableTest : public ::testing::Test {
 protected:
  explicit DriveTableTest(const std::vector<FixtureDrive>& drives = everyDriveType())
      : drives_(drives) {}
  void SetUp() override {
    if (!drives_.installed()) GTEST_SKIP() << "drive tables exist only on POSIX";
  }

  ScopedDriveTable drives_;
};

// The table of the suites whose main (test_drives_main.cc) installs one for the whole run, before
// the file information builds its process-wide drive list: C: the host's root, F: FAT32 (the stat
// route), N: NTFS (the directory-search route), V: /dev, P: /proc.
const ScopedDriveTable& processDrives();

#define REQUIRE_PROCESS_DRIVES() \
  if (!processDrives().installed()) GTEST_SKIP() << "the platform has no replaceable drive table"

#endif  // FSCANNER_TESTS_SUPPORT_DRIVE_TABLE_H
