// Walks stop at the edges of a drive: a mount of proc or sysfs and the root of another drive are
// never entered, FIFOs and devices are reported as files without being opened, and the walk ends
// with result 0. Each walk runs in a child process with a mount namespace of its own, so the
// mounts it makes vanish with it.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/platform_fixtures.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"
#include "walk/fsbuild.h"

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::u16string>;

// Failure bits of a child's walks; kCannotMount asks the test to skip.
constexpr int kWrongResult = 1, kWrongFiles = 2, kDeviceOpened = 4, kEnteredPseudoStart = 8;
constexpr int kCannotMount = 64;

class NameResults : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override { names.insert(info->name()); }
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {}
  Names names;
};

// Walks (fs_build, or fs_scan without the start check) asking for CRC32 checksums; false when
// the result is not 0.
bool walk(const std::u16string& start, Names* names, bool scan = false) {
  FsScanFilter filter(u"[SIZE]>=0", false);
  filter.setOptions(FsScanFilter::kDefaultOptions | FsScanFilter::kOptionCrc32);
  NameResults results;
  const ResolvedPath path{PathEntry(start.c_str(), true), DriveEntry(u"T:", DT_FIXED, u"EXT4")};
  const int result =
      (scan ? fs_scan : fs_build)(&results, &filter, path, {}, {}, false, kWalkDefaultBudgetMs);
  *names = results.names;
  return result == kWalkFinished;
}

// Root mounts proc and sysfs afresh and makes a character device; an ordinary user binds the
// host's /proc and /sys in a user namespace of its own and has no device.
bool mountPseudoFileSystems(const fs::path& dir) {
  const bool root = geteuid() == 0;
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(root ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  if (!root) {
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  fs::create_directory(dir / "proc");
  fs::create_directory(dir / "sys");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  if (root) {
    return mount("proc", (dir / "proc").c_str(), "proc", 0, nullptr) == 0 &&
           mount("sysfs", (dir / "sys").c_str(), "sysfs", 0, nullptr) == 0 &&
           mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  }
  return mount("/proc", (dir / "proc").c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0 &&
         mount("/sys", (dir / "sys").c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

int walkAcrossBoundaries(const fs::path& dir) {
  if (!mountPseudoFileSystems(dir)) return kCannotMount;
  std::ofstream(dir / "a.txt") << "data";
  fs::create_directory(dir / "nested");
  std::ofstream(dir / "nested" / "inner.txt") << "inner";
  if (mkfifo((dir / "fifo").c_str(), 0600) != 0) return kCannotMount;  // no writer: would block
  const std::string host = dir.string();
  if (!platform::testing::setDriveTable(("C:=/;T:=" + host + ";N:=" + host + "/nested").c_str())) {
    return kCannotMount;
  }
  TraceCapture traces;
  int failures = 0;
  Names names, expected{u"a.txt", u"fifo"};
  if (geteuid() == 0) expected.insert(u"device");
  if (!walk(u"T:\\", &names)) failures |= kWrongResult;
  if (names != expected) failures |= kWrongFiles;
  // The nested drive's files belong to it alone.
  if (!walk(u"N:\\", &names) || names != Names{u"inner.txt"}) failures |= kWrongFiles;
  // Starting at a pseudo mount, or inside one, finds nothing and still finishes.
  if (!walk(u"T:\\proc", &names) || !names.empty()) failures |= kEnteredPseudoStart;
  if (!walk(u"T:\\sys\\kernel", &names) || !names.empty()) failures |= kEnteredPseudoStart;
  if (!walk(u"T:\\proc\\self", &names, true) || !names.empty()) failures |= kEnteredPseudoStart;
  for (const std::string& message : traces.messages()) {
    if (message.find("fifo") != std::string::npos || message.find("device") != std::string::npos) {
      failures |= kDeviceOpened;  // a checksum was attempted
    }
  }
  return failures;
}

// Runs the walks in a child; its exit code.
int inChild(const fs::path& dir) {
  const pid_t child = fork();
  if (child == 0) _exit(walkAcrossBoundaries(dir));
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
}

TEST(WalkBoundaries, RootWalkSkipsMountedProcSysfsAndNestedDrivesAndNeverReadsDevices) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting proc and sysfs needs root";
  TempDir dir;
  const int failures = inChild(dir.host());
  if (failures == kCannotMount) GTEST_SKIP() << "this system refuses new mounts";
  EXPECT_EQ(failures, 0) << "failure bits";
}

TEST(WalkBoundaries, OrdinaryUserWalkSkipsBoundMountsAndNestedDrives) {
  TempDir dir;
  fs::permissions(dir.host(), fs::perms::all);  // the ordinary user builds the tree
  const int failures = runAsOrdinaryUser([&] { return inChild(dir.host()); });
  if (failures == kCannotRunAsUser) GTEST_SKIP() << "cannot become an ordinary user";
  if (failures == kCannotMount) GTEST_SKIP() << "no user namespaces here: cannot bind mounts";
  EXPECT_EQ(failures, 0) << "failure bits";
}

}  // namespace
#endif  // _WIN32
