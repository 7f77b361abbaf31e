// What the fuzz targets share: a work directory in memory where possible (on a disk every input
// would wait for its files to be written and cut), and a failure that aborts, so that the fuzzer
// keeps the input that caused it.
#ifndef FSCANNER_TESTS_FUZZ_FUZZ_SUPPORT_H
#define FSCANNER_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

// A temporary directory under /dev/shm where that exists.
class WorkDir : public TempDir {
 public:
  WorkDir() : TempDir(base()) {
    if (drive().empty()) fail("no drive for the work directory");
  }

 private:
  static std::filesystem::path base() {
    std::error_code error;
    return std::filesystem::is_directory("/dev/shm", error)
               ? std::filesystem::path("/dev/shm")
               : std::filesystem::temp_directory_path();
  }
};

#endif  // FSCANNER_TESTS_FUZZ_FUZZ_SUPPORT_H
