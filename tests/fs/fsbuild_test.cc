// The file-system walk over generated trees: what it reports and how, start checks, recursion,
// exclusions and includes, path limits, the time budget, criteria and checksums, and entries that
// must never block or stop it (FIFOs, sockets, unreadable files and directories).
#include "fscommon/fsbuild.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fs/crc32.h"
#include "fs/file_mode.h"
#include "platform/platform.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"
#include "test_drives.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform_fixtures.h"
#endif

namespace {

namespace fs = std::filesystem;

// What the walk reported of one file, copied during addFileInfo.
struct Reported {
  std::u16string directory;
  uint64_t size = 0;
  uint32_t mode = 0;
  uint32_t knownMask = 0;
  uint32_t modificationTime = 0;
};

class CollectingResults : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override {
    Reported& file = files[info->name()];
    file.directory = info->directory();
    file.size = info->size();
    file.mode = info->mode();
    file.knownMask = info->knownMask();
    file.modificationTime = info->modificationTime();
    if (onFile) onFile(info);
  }
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {
    ADD_FAILURE() << "the walk reports through addFileInfo only";
  }

  std::vector<std::u16string> names() const {
    std::vector<std::u16string> out;
    for (const auto& [name, file] : files) out.push_back(name);
    return out;
  }

  std::map<std::u16string, Reported> files;  // by name; names are unique in the test trees
  std::function<void(FsFileInfo*)> onFile;
};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class WalkTest : public ::testing::Test {
 protected:
  // A tree of files and directories (name ends in '/') below the temporary directory.
  void make(std::initializer_list<std::string> entries) {
    for (const std::string& entry : entries) {
      if (entry.back() == '/') {
        fs::create_directories(dir_.host(entry));
      } else {
        fs::create_directories(dir_.host(entry).parent_path());
        std::ofstream(dir_.host(entry), std::ios::binary) << "content of " << entry;
      }
    }
  }

  static std::u16string contentOf(const std::string& entry) { return wide("content of " + entry); }

  ResolvedPath start(const std::u16string& path, bool recursive) const {
    return ResolvedPath{PathEntry(path.c_str(), recursive), DriveEntry(u"C:", DT_FIXED, u"EXT4")};
  }

  int build(const char16_t* criteria, bool recursive = true, const PathList& includes = {},
            const PathList& exclusions = {}, bool caseSensitive = false) {
    FsScanFilter filter(criteria, caseSensitive);
    return fs_build(&results_, &filter, start(dir_.drive(), recursive), includes, exclusions,
                    caseSensitive, kWalkDefaultBudgetMs);
  }

  std::vector<std::u16string> names() const { return results_.names(); }
  std::u16string path(const std::string& relative) const {
    std::u16string out = dir_.drive() + u"\\";
    for (char c : relative) out += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return out;
  }

  TempDir dir_;
  CollectingResults results_;
  TraceCapture traces_;
};

using Names = std::vector<std::u16string>;

TEST_F(WalkTest, ReportsEveryFileOfTheTreeFromItsDirectoryEntry) {
  make({"a.txt", "tool.EXE", "sub/b.txt", "sub/deeper/c.log", "sub/deeper/deepest/", ".hidden"});
  EXPECT_EQ(build(u"[SIZE]>=0"), kWalkFinished);
  EXPECT_EQ(names(), (Names{u".hidden", u"a.txt", u"b.txt", u"c.log", u"tool.EXE"}));

  const Reported& a = results_.files[u"a.txt"];
  EXPECT_EQ(a.directory, dir_.drive() + u"\\");
  EXPECT_EQ(a.size, contentOf("a.txt").size());
  EXPECT_EQ(a.mode, 0x21B6u);
  EXPECT_EQ(a.knownMask, FsFileInfo::kKnownMode | FsFileInfo::kKnownSize |
                             FsFileInfo::kKnownAccessTime | FsFileInfo::kKnownCreationTime |
                             FsFileInfo::kKnownModificationTime);
  EXPECT_EQ(results_.files[u"c.log"].directory, path("sub/deeper/"));
  EXPECT_EQ(results_.files[u"tool.EXE"].mode, 0x23FEu);
#ifndef _WIN32
  EXPECT_EQ(results_.files[u".hidden"].mode & kModeHidden, kModeHidden);  // a leading dot
#endif
  EXPECT_NE(a.modificationTime, 0u);
  EXPECT_TRUE(traces_.messages().empty());
}

TEST_F(WalkTest, NonRecursiveStartExaminesOnlyItsOwnFiles) {
  make({"top.txt", "sub/below.txt"});
  EXPECT_EQ(build(u"[SIZE]>=0", false), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"top.txt"}));
}

TEST_F(WalkTest, ExcludedSubdirectoriesAreNotEnteredAndAnExcludedStartNotWalked) {
  make({"keep/k.txt", "skip/s.txt", "skip/under/u.txt", "top.txt"});
  const PathList exclusions = {PathEntry(path("skip").c_str(), true)};
  EXPECT_EQ(build(u"[SIZE]>=0", true, {}, exclusions), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"k.txt", u"top.txt"}));
  std::string skipped;
  platform::wideToNarrow(path("skip").c_str(), &skipped);
  EXPECT_TRUE(traces_.contains("::fs_scan - path '" + skipped + "' excluded!\n"));
  for (const CapturedTrace& trace : traces_.records()) EXPECT_EQ(trace.function, "fs_build");

  results_.files.clear();
  traces_.clear();
  EXPECT_EQ(build(u"[SIZE]>=0", true, {}, {PathEntry(dir_.drive().c_str(), true)}), kWalkFinished);
  EXPECT_TRUE(results_.files.empty());
  std::string start;
  platform::wideToNarrow(dir_.drive().c_str(), &start);
  EXPECT_TRUE(traces_.contains("::fs_build - path '" + start + "' excluded!\n"));

  // A non-recursive exclusion of a subdirectory keeps it out of no recursion, but its own files
  // are not examined.
  results_.files.clear();
  EXPECT_EQ(build(u"[SIZE]>=0", true, {}, {PathEntry(path("skip").c_str(), false)}), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"k.txt", u"top.txt", u"u.txt"}));
}

TEST_F(WalkTest, IncludesSelectTheDirectoriesWhoseFilesAreExamined) {
  make({"top.txt", "in/i.txt", "in/deeper/d.txt", "out/o.txt"});
  EXPECT_EQ(build(u"[SIZE]>=0", true, {PathEntry(path("in").c_str(), false)}), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"i.txt"}));
  results_.files.clear();
  EXPECT_EQ(build(u"[SIZE]>=0", true, {PathEntry(path("in").c_str(), true)}), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"d.txt", u"i.txt"}));
}

TEST_F(WalkTest, StartMustBeARealDirectory) {
  make({"file.txt", "dir/x.txt"});
  std::string narrowStart;
  for (const std::u16string& refused : {path("file.txt"), path("absent")}) {
    traces_.clear();
    FsScanFilter filter(u"[SIZE]>=0", false);
    EXPECT_EQ(fs_build(&results_, &filter, start(refused, true), {}, {}, false, 1000),
              kWalkFinished);
    platform::wideToNarrow(refused.c_str(), &narrowStart);
    EXPECT_TRUE(traces_.contains("::fs_build - '" + narrowStart +
                                 "' is a symbolic link or is not a directory!\n"));
  }
  EXPECT_TRUE(traces_.containsText("::isValidPath - invalid file handle. Error 2 opening '"));
#ifndef _WIN32
  fs::create_directory_symlink(dir_.host("dir"), dir_.host("link"));
  FsScanFilter filter(u"[SIZE]>=0", false);
  EXPECT_EQ(fs_build(&results_, &filter, start(path("link"), true), {}, {}, false, 1000),
            kWalkFinished);
  platform::wideToNarrow(path("link").c_str(), &narrowStart);
  EXPECT_TRUE(traces_.contains("::fs_build - '" + narrowStart +
                               "' is a symbolic link or is not a directory!\n"));
#endif
  EXPECT_TRUE(results_.files.empty());

  // A trailing backslash is accepted (and dropped).
  FsScanFilter filter2(u"[SIZE]>=0", false);
  EXPECT_EQ(fs_build(&results_, &filter2, start(path("dir\\"), true), {}, {}, false, 1000),
            kWalkFinished);
  EXPECT_EQ(results_.files[u"x.txt"].directory, path("dir\\"));
}

TEST(IsValidPathTest, DriveRootsAndInPlaceTrimming) {
  TraceCapture traces;
  char16_t absentRoot[] = u"Q:\\";
  EXPECT_TRUE(fs_isValidPath(absentRoot)) << "a drive root is taken without a disk access";
  EXPECT_TRUE(traces.messages().empty());
  char16_t zeroRoot[] = u"0:\\";
  EXPECT_FALSE(fs_isValidPath(zeroRoot));
  EXPECT_EQ(std::u16string(zeroRoot), u"0:");

  TempDir dir;
  std::u16string withSlash = dir.drive() + u"\\";
  EXPECT_TRUE(fs_isValidPath(&withSlash[0]));
  EXPECT_EQ(std::u16string(withSlash.c_str()), dir.drive());

  EXPECT_FALSE(fs_isValidPath(nullptr));
  EXPECT_TRUE(traces.contains("::isValidPath - path name specified is null\n"));
  for (const CapturedTrace& trace : traces.records()) EXPECT_EQ(trace.function, "fs_isValidPath");
}

TEST_F(WalkTest, UsedUpBudgetStopsBeforeTouchingTheDisk) {
  make({"a.txt"});
  for (int64_t budget : {int64_t{0}, int64_t{-5}}) {
    FsScanFilter filter(u"[SIZE]>=0", false);
    EXPECT_EQ(fs_scan(&results_, &filter, start(u"Q:\\absent", true), {}, {}, false, budget),
              kWalkTimedOut);
    EXPECT_EQ(fs_build(&results_, &filter, start(dir_.drive(), true), {}, {}, false, budget),
              kWalkTimedOut);
  }
  EXPECT_TRUE(results_.files.empty());
  EXPECT_TRUE(traces_.messages().empty());
}

TEST_F(WalkTest, NullArgumentsAndBadCriteriaReportNothing) {
  make({"a.txt"});
  FsScanFilter filter(u"[SIZE]>=0", false);
  EXPECT_EQ(fs_scan(nullptr, &filter, start(dir_.drive(), true), {}, {}, false, 1000),
            kWalkFinished);
  EXPECT_EQ(fs_scan(&results_, nullptr, start(dir_.drive(), true), {}, {}, false, 1000),
            kWalkFinished);
  EXPECT_EQ(fs_scan(&results_, &filter, ResolvedPath{}, {}, {}, false, 1000), kWalkFinished);
  EXPECT_EQ(build(nullptr), kWalkFinished);
  EXPECT_EQ(build(u"[SIZE]>>0"), kWalkFinished);
  EXPECT_EQ(build(u"[NOSUCHCOLUMN]==1"), kWalkFinished);
  EXPECT_TRUE(results_.files.empty());
  EXPECT_FALSE(filter.accept(nullptr, ChecksumRequest{}, nullptr));
}

#ifndef _WIN32
TEST_F(WalkTest, DirectoryPathsOfTwoHundredAndFiftyEightCharactersOrMoreAreNotWalked) {
  // A parent whose prefix (path and '\') leaves room for names that make subdirectory paths of
  // 257 to 261 characters and file paths of 259 to 261 characters.
  const std::string parent = "p";
  make({parent + "/"});
  const size_t prefixLength = path(parent).size() + 1;
  auto nameFor = [&](size_t total, char fill) { return std::string(total - prefixLength, fill); };
  std::map<size_t, std::string> directories;
  for (size_t total = 257; total <= 261; ++total) {
    directories[total] = nameFor(total, static_cast<char>('a' + total - 257));
    make({parent + "/" + directories[total] + "/f" + std::to_string(total)});
  }
  for (size_t total = 259; total <= 261; ++total) {
    make({parent + "/" + nameFor(total, static_cast<char>('v' + total - 259))});
  }

  EXPECT_EQ(build(u"[SIZE]>=0"), kWalkFinished);
  Names expected = {u"f257"};
  for (size_t total = 259; total <= 261; ++total) {
    expected.push_back(wide(nameFor(total, static_cast<char>('v' + total - 259))));
  }
  EXPECT_EQ(names(), expected);
  size_t tooLong = 0;
  for (const std::string& message : traces_.messages()) {
    tooLong += message == "::fs_scan - path too long\n";
  }
  EXPECT_EQ(tooLong, 4u) << "258 and 259 when entered, 260 and 261 when listed";
}
#endif

TEST_F(WalkTest, CriteriaOverSizeAttributesAndName) {
  make({"small.txt", "large.txt", "prog.exe", "sub/NOTES.TXT"});
  std::ofstream(dir_.host("large.txt"), std::ios::binary) << std::string(5000, 'L');

  EXPECT_EQ(build(u"[SIZE]>1000"), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"large.txt"}));

  results_.files.clear();
  EXPECT_EQ(build(u"([ATTR] & 584) == 584"), kWalkFinished);  // executable by all
  EXPECT_EQ(names(), (Names{u"prog.exe"}));

  results_.files.clear();
  EXPECT_EQ(build(u"[FILENAME]==\"*.txt\""), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"NOTES.TXT", u"large.txt", u"small.txt"}));

  results_.files.clear();
  EXPECT_EQ(build(u"[FILENAME]==\"*.txt\"", true, {}, {}, true), kWalkFinished);
  EXPECT_EQ(names(), (Names{u"large.txt", u"small.txt"}));

  results_.files.clear();
  EXPECT_EQ(build(u"[FILENAME]==\"small.txt\" || [SIZE]==4999+1 && [SHORTFILENAME]==\"\""),
            kWalkFinished);
  EXPECT_EQ(names(), (Names{u"large.txt", u"small.txt"}));
}

TEST_F(WalkTest, ChecksumsAreTestedByTheFilterAndCriteriaSeeZeros) {
  make({"one.txt", "two.txt", "sub/three.txt"});
  const std::u16string two = contentOf("two.txt");
  std::string twoBytes(two.begin(), two.end());
  const uint32_t twoCrc = crc32UpdateTables(0, twoBytes.data(), twoBytes.size());
  const Md5Digest threeMd5 = Md5::of("content of sub/three.txt", 24);

  ChecksumFilter wanted;
  wanted.active = 1;
  wanted.crc32Values = {twoCrc};
  wanted.md5Values = {threeMd5};
  struct Case {
    uint32_t options;
    Names expected;
  };
  for (const Case& c :
       {Case{FsScanFilter::kOptionCrc32, {u"two.txt"}}, Case{FsScanFilter::kOptionQ32, {}},
        Case{FsScanFilter::kOptionMd5, {u"three.txt"}},
        Case{FsScanFilter::kOptionMd5 | FsScanFilter::kOptionCrc32 | 0x1F,
             {u"three.txt", u"two.txt"}},
        Case{FsScanFilter::kDefaultOptions, {}}}) {
    results_.files.clear();
    FsScanFilter filter(u"[SIZE]>0", false);
    filter.setOptions(c.options);
    filter.setChecksumFilter(&wanted);
    EXPECT_EQ(fs_build(&results_, &filter, start(dir_.drive(), true), {}, {}, false, 100000),
              kWalkFinished);
    EXPECT_EQ(names(), c.expected) << c.options;
  }

  wanted.q32Values = {twoCrc};  // two.txt is shorter than 1,024 bytes: its Q32 is its CRC-32
  results_.files.clear();
  FsScanFilter q32(u"[SIZE]>0", false);
  q32.setOptions(FsScanFilter::kOptionQ32);
  q32.setChecksumFilter(&wanted);
  EXPECT_EQ(fs_build(&results_, &q32, start(dir_.drive(), true), {}, {}, false, 100000),
            kWalkFinished);
  EXPECT_EQ(names(), (Names{u"two.txt"}));

  const std::u16string zeros = u"[CRC32]==0 && [Q32]==0 && [MD5]==\"0\"";
  const std::u16string real = u"[CRC32]==" + wide(std::to_string(twoCrc));
  for (const std::u16string& criteria : {zeros, real}) {
    results_.files.clear();
    FsScanFilter filter(criteria.c_str(), false);
    filter.setOptions(FsScanFilter::kOptionCrc32 | FsScanFilter::kOptionQ32 |
                      FsScanFilter::kOptionMd5);
    EXPECT_EQ(fs_build(&results_, &filter, start(dir_.drive(), true), {}, {}, false, 100000),
              kWalkFinished);
    EXPECT_EQ(results_.files.size(), criteria == zeros ? 3u : 0u);
  }
}

TEST_F(WalkTest, TheReusedFileInfoStartsAfreshForEveryFile) {
  REQUIRE_TEST_DRIVES();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    std::ofstream(TestDrives::fatRoot() / name) << name;
  }
  int seen = 0;
  results_.onFile = [&](FsFileInfo* info) {
    // FAT: the entry's times are not taken; the host fetches them through stat.
    EXPECT_EQ(info->knownMask(), FsFileInfo::kKnownMode | FsFileInfo::kKnownSize);
    EXPECT_TRUE(info->updateInfo());
    EXPECT_EQ(info->knownMask(), FsFileInfo::kKnownAll);
    EXPECT_NE(info->modificationTime(), 0u);
    ++seen;
  };
  FsScanFilter filter(u"[SIZE]>=0", false);
  ResolvedPath fat{PathEntry(u"F:\\", true), DriveEntry(u"F:", DT_FIXED, u"FAT32")};
  EXPECT_EQ(fs_build(&results_, &filter, fat, {}, {}, false, 100000), kWalkFinished);
  EXPECT_EQ(seen, 3);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) fs::remove(TestDrives::fatRoot() / name);
}

#ifndef _WIN32
TEST_F(WalkTest, SpecialFilesNeverBlockOrStopTheWalk) {
  make({"a.txt", "z/z.txt", "closed/hidden.txt"});
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0644), 0);  // no writer: reading would block
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir_.host("socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_symlink(dir_.host("fifo"), dir_.host("fifo-link"));
  fs::create_symlink(dir_.host("z"), dir_.host("z-link"));
  make({"locked.txt"});
  fs::permissions(dir_.host("locked.txt"), fs::perms::none);
  fs::permissions(dir_.host("closed"), fs::perms::none);

  // Run as an ordinary user, for whom the locked file and directory really are unreadable.
  const int failed = runAsOrdinaryUser([&] {
    TraceCapture traces;
    CollectingResults every;
    FsScanFilter all(u"[SIZE]>=0", false);
    all.setOptions(FsScanFilter::kOptionCrc32 | FsScanFilter::kOptionQ32 |
                   FsScanFilter::kOptionMd5);
    if (fs_build(&every, &all, start(dir_.drive(), true), {}, {}, false, 100000) != 0) return 1;
    const Names expected = {u"a.txt", u"fifo", u"fifo-link", u"locked.txt", u"socket", u"z.txt"};
    if (every.names() != expected) return 2;
    if (!traces.containsText("::fs_scan - invalid file handle. Error 5 opening '")) return 3;

    // With a checksum filter nothing unreadable can match, whatever it wants.
    ChecksumFilter wanted;
    wanted.active = 1;
    wanted.crc32Values = {0};
    wanted.q32Values = {0};
    wanted.md5Values = {Md5::of(nullptr, 0)};
    CollectingResults matched;
    all.setChecksumFilter(&wanted);
    if (fs_build(&matched, &all, start(dir_.drive(), true), {}, {}, false, 100000) != 0) return 4;
    return matched.files.empty() ? 0 : 5;
  });
  close(server);
  EXPECT_EQ(failed, 0);
}
#endif

}  // namespace
