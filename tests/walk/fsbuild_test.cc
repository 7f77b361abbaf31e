#include "walk/fsbuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "fs/crc32.h"
#include "support/drive_table.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform_fixtures.h"
#endif

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;

class CollectingResults : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override {
    files[info->name()] = info->directory();
    if (onFile) onFile(info);
  }
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {
    ADD_FAILURE() << "the walk reports through addFileInfo only";
  }
  Names names() const {
    Names out;
    for (const auto& [name, file] : files) out.push_back(name);
    return out;
  }

  std::map<std::u16string, std::u16string> files;  // directory by name, unique in the test trees
  std::function<void(FsFileInfo*)> onFile;
};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ResolvedPath start(const std::u16string& path, bool recursive = true,
                   const char16_t* fileSystem = u"EXT4") {
  return ResolvedPath{PathEntry(path.c_str(), recursive), DriveEntry(u"C:", DT_FIXED, fileSystem)};
}

class WalkTest : public ::testing::Test {
 protected:
  // Files and directories (name ends in '/') below the temporary directory.
  void make(std::initializer_list<std::string> entries) {
    for (const std::string& entry : entries) {
      fs::create_directories(dir_.host(entry).parent_path());
      if (entry.back() != '/') std::ofstream(dir_.host(entry)) << "content of " << entry;
    }
  }

  // The names the walk of the temporary directory reports; the walk must finish.
  Names walk(const char16_t* criteria, bool recursive = true, const PathList& includes = {},
             const PathList& exclusions = {}, bool caseSensitive = false,
             uint32_t options = FsScanFilter::kDefaultOptions,
             const ChecksumFilter* checksums = nullptr) {
    FsScanFilter filter(criteria, caseSensitive);
    filter.setOptions(options);
    filter.setChecksumFilter(checksums);
    results_.files.clear();
    EXPECT_EQ(fs_build(&results_, &filter, start(dir_.drive(), recursive), includes, exclusions,
                       caseSensitive, kWalkDefaultBudgetMs),
              kWalkFinished);
    return results_.names();
  }

  std::u16string path(const std::string& relative) const {
    std::u16string out = dir_.drive() + u"\\";
    for (char c : relative) out += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return out;
  }

  TempDir dir_;
  CollectingResults results_;
  TraceCapture traces_;
};

TEST_F(WalkTest, RecursionIncludesAndExclusionsChooseTheDirectories) {
  make({"top.txt", "in/i.txt", "in/deeper/d.txt", "skip/s.txt", "skip/under/u.txt"});
  const PathEntry in(path("in").c_str(), false), inAndBelow(path("in").c_str(), true);
  const PathEntry skip(path("skip").c_str(), false), skipAndBelow(path("skip").c_str(), true);
  // What each walk checks, its recursive flag, includes, exclusions, the names expected.
  const std::tuple<const char*, bool, PathList, PathList, Names> cases[] = {
      {"non-recursive start", false, {}, {}, {u"top.txt"}},
      {"recursive exclusion", true, {}, {skipAndBelow}, {u"d.txt", u"i.txt", u"top.txt"}},
      {"own files excluded", true, {}, {skip}, {u"d.txt", u"i.txt", u"top.txt", u"u.txt"}},
      {"include", true, {in}, {}, {u"i.txt"}},
      {"recursive include", true, {inAndBelow}, {}, {u"d.txt", u"i.txt"}},
  };
  for (const auto& [what, recursive, includes, exclusions, expected] : cases) {
    EXPECT_EQ(walk(u"[SIZE]>=0", recursive, includes, exclusions), expected) << what;
  }
  EXPECT_TRUE(traces_.contains("::fs_scan - path '" + narrow(path("skip")) + "' excluded!\n"));
  EXPECT_TRUE(walk(u"[SIZE]>=0", true, {}, {PathEntry(dir_.drive().c_str(), true)}).empty());
  EXPECT_TRUE(traces_.contains("::fs_build - path '" + narrow(dir_.drive()) + "' excluded!\n"));
  for (const CapturedTrace& trace : traces_.records()) EXPECT_EQ(trace.function, "fs_build");
}

TEST_F(WalkTest, StartChecksUsedUpBudgetsNullArgumentsAndBadCriteria) {
  make({"file.txt", "dir/x.txt"});
  std::vector<std::u16string> refused = {path("file.txt"), path("absent")};
#ifndef _WIN32
  fs::create_directory_symlink(dir_.host("dir"), dir_.host("link"));
  refused.push_back(path("link"));
#endif
  FsScanFilter filter(u"[SIZE]>=0", false);
  for (const std::u16string& from : refused) {
    EXPECT_EQ(fs_build(&results_, &filter, start(from), {}, {}, false, 1000), kWalkFinished);
    EXPECT_TRUE(traces_.contains("::fs_build - '" + narrow(from) +
                                 "' is a symbolic link or is not a directory!\n"));
  }
  EXPECT_TRUE(traces_.containsText("::isValidPath - invalid file handle. Error 2 opening '"));
  EXPECT_TRUE(results_.files.empty());

  // A trailing backslash is accepted (and dropped); a drive root is taken without a disk access.
  EXPECT_EQ(fs_build(&results_, &filter, start(path("dir\\")), {}, {}, false, 1000), kWalkFinished);
  EXPECT_EQ(results_.files[u"x.txt"], path("dir\\"));
  traces_.clear();
  char16_t absentRoot[] = u"Q:\\";
  EXPECT_TRUE(fs_isValidPath(absentRoot));
  EXPECT_TRUE(traces_.messages().empty());
  char16_t zeroRoot[] = u"0:\\";
  EXPECT_FALSE(fs_isValidPath(zeroRoot));
  EXPECT_EQ(std::u16string(zeroRoot), u"0:");
  EXPECT_FALSE(fs_isValidPath(nullptr));
  EXPECT_TRUE(traces_.contains("::isValidPath - path name specified is null\n"));
  for (const CapturedTrace& trace : traces_.records()) EXPECT_EQ(trace.function, "fs_isValidPath");
  traces_.clear();
  results_.files.clear();
  for (int64_t budget : {int64_t{0}, int64_t{-5}}) {  // stops before touching the disk
    EXPECT_EQ(fs_scan(&results_, &filter, start(u"Q:\\absent"), {}, {}, false, budget),
              kWalkTimedOut);
    EXPECT_EQ(fs_build(&results_, &filter, start(dir_.drive()), {}, {}, false, budget),
              kWalkTimedOut);
  }
  EXPECT_TRUE(traces_.messages().empty());
  EXPECT_EQ(fs_scan(nullptr, &filter, start(dir_.drive()), {}, {}, false, 1000), kWalkFinished);
  EXPECT_EQ(fs_scan(&results_, nullptr, start(dir_.drive()), {}, {}, false, 1000), kWalkFinished);
  EXPECT_EQ(fs_scan(&results_, &filter, ResolvedPath{}, {}, {}, false, 1000), kWalkFinished);
  EXPECT_TRUE(results_.files.empty());
  for (const char16_t* criteria : {static_cast<const char16_t*>(nullptr), u"[NOSUCHCOLUMN]==1"}) {
    EXPECT_TRUE(walk(criteria).empty());  // hostile criteria texts are the criteria fuzzer's
  }
  EXPECT_FALSE(filter.accept(nullptr, ChecksumRequest{}, nullptr));
}

#ifndef _WIN32
TEST_F(WalkTest, DirectoryPathsOfTwoHundredAndFiftyEightCharactersOrMoreAreNotWalked) {
  // Subdirectory paths of 257 to 261 characters, each holding a file, and file paths of 259 to
  // 261 characters, all in one parent.
  make({"p/"});
  const size_t prefixLength = path("p").size() + 1;
  auto nameFor = [&](size_t total, char fill) { return std::string(total - prefixLength, fill); };
  Names expected = {u"f257"};
  for (size_t total = 257; total <= 261; ++total) {
    make({"p/" + nameFor(total, static_cast<char>('a' + total - 257)) + "/f" +
          std::to_string(total)});
  }
  for (size_t total = 259; total <= 261; ++total) {
    const std::string name = nameFor(total, static_cast<char>('v' + total - 259));
    make({"p/" + name});
    expected.push_back(wide(name));
  }

  EXPECT_EQ(walk(u"[SIZE]>=0"), expected);
  const std::vector<std::string> messages = traces_.messages();
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "::fs_scan - path too long\n"), 4)
      << "258 and 259 when entered, 260 and 261 when listed";
}
#endif

// Criteria over attributes and names (sizes and names are compared with find by the fsquery
// differential test), and checksum filters; criteria see zero checksums. A kept file is described
// afresh.
TEST_F(WalkTest, CriteriaAndChecksumFiltersChooseTheFilesThenDescribeThem) {
  make({"prog.exe", "sub/NOTES.TXT", "two.txt", "sub/three.txt"});
  std::ofstream(dir_.host("large.txt")) << std::string(5000, 'L');
  const uint32_t twoCrc = crc32UpdateTables(0, "content of two.txt", 18);
  const ChecksumFilter wanted{{twoCrc}, {}, {Md5::of("content of sub/three.txt", 24)}, 1};
  ChecksumFilter withQ32 = wanted;  // two.txt is shorter than 1,024 bytes: its Q32 is its CRC-32
  withQ32.q32Values = {twoCrc};
  constexpr uint32_t kCrc = FsScanFilter::kOptionCrc32, kQ32 = FsScanFilter::kOptionQ32;
  constexpr uint32_t kMd5 = FsScanFilter::kOptionMd5, kNone = FsScanFilter::kDefaultOptions;
  const std::u16string real = u"[CRC32]==" + wide(std::to_string(twoCrc));
  const char16_t* zeros = u"[CRC32]==0 && [Q32]==0 && [MD5]==\"0\"";
  const char16_t* precedence =
      u"[FILENAME]==\"two.txt\" || [SIZE]==4999+1 && [SHORTFILENAME]==\"\"";
  const Names every = {u"NOTES.TXT", u"large.txt", u"prog.exe", u"three.txt", u"two.txt"};
  // Criteria, case sensitivity, options, checksum filter, the names expected.
  const std::tuple<const char16_t*, bool, uint32_t, const ChecksumFilter*, Names> cases[] = {
      {u"([ATTR] & 584) == 584", false, kNone, nullptr, {u"prog.exe"}},  // executable by all
      {u"[FILENAME]==\"*.txt\"", true, kNone, nullptr, {u"large.txt", u"three.txt", u"two.txt"}},
      {precedence, false, kNone, nullptr, {u"large.txt", u"two.txt"}},
      {u"[SIZE]>0", false, kCrc, &wanted, {u"two.txt"}},
      {u"[SIZE]>0", false, kQ32, &wanted, {}},
      {u"[FILENAME]==\"*\"", false, kQ32, &withQ32, {u"two.txt"}},
      {u"[SIZE]>0", false, kMd5, &wanted, {u"three.txt"}},
      {u"[SIZE]>0", false, kMd5 | kCrc | 0x1F, &wanted, {u"three.txt", u"two.txt"}},
      {u"[FILENAME]==\"*\"", false, kNone, &withQ32, {}},
      {zeros, false, kCrc | kQ32 | kMd5, nullptr, every},
      {real.c_str(), false, kCrc | kQ32 | kMd5, nullptr, {}},
  };
  for (const auto& [criteria, caseSensitive, options, checksums, expected] : cases) {
    EXPECT_EQ(walk(criteria, true, {}, {}, caseSensitive, options, checksums), expected)
        << narrow(criteria) << " options " << options;
  }
  // Judged by name first, a kept file is then described in full.
  results_.onFile = [](FsFileInfo* info) {
    EXPECT_EQ(info->getSize(), 5000u);
    EXPECT_EQ(info->mode(), 0x21B6u);
    EXPECT_EQ(info->knownMask(), FsFileInfo::kKnownMode | FsFileInfo::kKnownSize |
                                     FsFileInfo::kKnownAccessTime | FsFileInfo::kKnownCreationTime |
                                     FsFileInfo::kKnownModificationTime);
  };
  EXPECT_EQ(walk(u"[FILENAME]==\"large.txt\""), Names{u"large.txt"});
  // On a FAT drive the entry's times are not taken; the host fetches them, which leaves every
  // item known until the next file clears them.
  results_.onFile = [](FsFileInfo* info) {
    EXPECT_EQ(info->knownMask(), FsFileInfo::kKnownMode | FsFileInfo::kKnownSize);
    EXPECT_TRUE(info->updateInfo());
  };
  FsScanFilter all(u"[SIZE]>=0", false);
  results_.files.clear();
  EXPECT_EQ(fs_build(&results_, &all, start(dir_.drive(), true, u"FAT32"), {}, {}, false,
                     kWalkDefaultBudgetMs),
            kWalkFinished);
  EXPECT_EQ(results_.names(), every);
}

#ifndef _WIN32
// The names a walk from that path reports (fs_build, or fs_scan without the start check), or
// "<unfinished>" when its result is not 0.
Names walked(const std::u16string& from, FsScanFilter& filter, bool scan = false) {
  CollectingResults results;
  const int result = (scan ? fs_scan : fs_build)(&results, &filter, start(from), {}, {}, false,
                                                 kWalkDefaultBudgetMs);
  return result == kWalkFinished ? results.names() : Names{u"<unfinished>"};
}

TEST_F(WalkTest, SpecialFilesNeverBlockOrStopTheWalk) {
  make({"a.txt", "z/z.txt", "closed/hidden.txt", "locked.txt"});
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0644), 0);  // no writer: reading would block
  ASSERT_EQ(mknod(dir_.host("socket").c_str(), S_IFSOCK | 0644, 0), 0);
  fs::create_symlink(dir_.host("fifo"), dir_.host("fifo-link"));
  fs::create_symlink(dir_.host("z"), dir_.host("z-link"));
  fs::permissions(dir_.host("locked.txt"), fs::perms::none);
  fs::permissions(dir_.host("closed"), fs::perms::none);

  // As an ordinary user, for whom the locked file and directory really are unreadable.
  const int failed = runAsOrdinaryUser([&] {
    TraceCapture traces;
    FsScanFilter all(u"[SIZE]>=0", false);
    all.setOptions(FsScanFilter::kOptionCrc32 | FsScanFilter::kOptionQ32 |
                   FsScanFilter::kOptionMd5);
    const Names expected = {u"a.txt", u"fifo", u"fifo-link", u"locked.txt", u"socket", u"z.txt"};
    if (walked(dir_.drive(), all) != expected) return 1;
    if (!traces.containsText("::fs_scan - invalid file handle. Error 5 opening '")) return 2;
    // By name alone: the details of the files kept are read after.
    FsScanFilter byName(u"[FILENAME]==\"*\"", false);
    if (walked(dir_.drive(), byName) != expected) return 3;
    // With a checksum filter nothing unreadable can match, whatever it wants.
    const ChecksumFilter wanted{{0}, {0}, {Md5::of(nullptr, 0)}, 1};
    all.setChecksumFilter(&wanted);
    return walked(dir_.drive(), all).empty() ? 0 : 4;
  });
  EXPECT_EQ(failed, 0);
}

// Failure bits of a child's walks (walkAcrossBoundaries); kCannotMount asks the test to skip.
constexpr int kWrongFiles = 1, kDeviceOpened = 2, kEnteredPseudoStart = 4;
constexpr int kCannotMount = 64;

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
  FsScanFilter filter(u"[SIZE]>=0", false);  // a checksum is asked for, never tried on a device
  filter.setOptions(FsScanFilter::kDefaultOptions | FsScanFilter::kOptionCrc32);
  const Names expected =
      geteuid() == 0 ? Names{u"a.txt", u"device", u"fifo"} : Names{u"a.txt", u"fifo"};
  if (walked(u"T:\\", filter) != expected) failures |= kWrongFiles;
  // The nested drive's files belong to it alone.
  if (walked(u"N:\\", filter) != Names{u"inner.txt"}) failures |= kWrongFiles;
  // Starting at a pseudo mount, or inside one, finds nothing and still finishes.
  if (!walked(u"T:\\proc", filter).empty() || !walked(u"T:\\sys\\kernel", filter).empty() ||
      !walked(u"T:\\proc\\self", filter, true).empty()) {
    failures |= kEnteredPseudoStart;
  }
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

// Walks stop at the edges of a drive: a mount of proc or sysfs and the root of another drive are
// never entered, FIFOs and devices are reported as files without being opened, and the walk ends
// with result 0. Each walk runs in a child with a mount namespace of its own.
TEST(WalkBoundaries, WalksSkipPseudoMountsAndNestedDrivesAndNeverReadDevices) {
  int ran = 0;
  for (const bool asRoot : {true, false}) {
    if (asRoot && geteuid() != 0) continue;
    TempDir dir;
    fs::permissions(dir.host(), fs::perms::all);  // the ordinary user builds the tree
    const int failures =
        asRoot ? inChild(dir.host()) : runAsOrdinaryUser([&] { return inChild(dir.host()); });
    if (failures == kCannotMount || failures == kCannotRunAsUser) continue;
    EXPECT_EQ(failures, 0) << (asRoot ? "root" : "ordinary user") << ": failure bits";
    ++ran;
  }
  if (ran == 0) GTEST_SKIP() << "this system allows no new mounts, neither bound nor fresh";
}
#endif

}  // namespace
