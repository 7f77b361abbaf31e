// A temporary directory for one test, removed with everything in it at the end, reachable both by
// its host path and by its drive-qualified path through the process's drive table.
#ifndef FSCANNER_TESTS_SUPPORT_TEMP_DIR_H
#define FSCANNER_TESTS_SUPPORT_TEMP_DIR_H

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/platform.h"

class TempDir {
 public:
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::random_device seed;
    do {
      host_ = base / ("fscanner-test-" + std::to_string(seed()));
    } while (!std::filesystem::create_directory(host_));
    platform::driveQualifiedPath(host_.string(), &drive_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(host_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(host_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& host() const { return host_; }
  // Host path of a file in the directory.
  std::filesystem::path host(const std::string& name) const { return host_ / name; }
  // Drive-qualified path of the directory (C:\tmp\fscanner-test-123) or of a file in it.
  std::u16string drive() const { return drive_; }
  std::u16string drive(const std::u16string& name) const { return drive_ + u"\\" + name; }

 private:
  std::filesystem::path host_;
  std::u16string drive_;
};

#endif  // FSCANNER_TESTS_SUPPORT_TEMP_DIR_H
