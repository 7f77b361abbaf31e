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
#include "fs/file_mode.h"
#include "support/drive_table.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/platform_fixtures.h"
#endif

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;

// What the walk reported of one file, copied during addFileInfo.
struct Reported {
  std::u16string directory;
  uint64_t size = 0;
  uint32_t mode = 0, knownMask = 0, modificationTime = 0;
};

class CollectingResults : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override {
    files[info->name()] = {info->directory(), info->size(), info->mode(), info->knownMask(),
                           info->modificationTime()};
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

  std::map<std::u16string, Reported> files;  // by name; names are unique in the test trees
  std::function<void(FsFileInfo*)> onFile;
};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ResolvedPath start(const std::u16string& path, bool recursive = true) {
  return ResolvedPath{PathEntry(path.c_str(), recursive), DriveEntry(u"C:", DT_FIXED, u"EXT4")};
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

// Criteria reading only the name decide before the other details are read: same reports.
TEST_F(WalkTest, ReportsEveryFileOfTheTreeFromItsDirectoryEntry) {
  make({"a.txt", "tool.EXE", "sub/b.txt", "sub/deeper/c.log", "sub/deeper/deepest/", ".hidden"});
  for (const char16_t* criteria : {u"[SIZE]>0", u"[FILENAME]==\"*\""}) {
    SCOPED_TRACE(narrow(criteria));
    EXPECT_EQ(walk(criteria), (Names{u".hidden", u"a.txt", u"b.txt", u"c.log", u"tool.EXE"}));

    const Reported& a = results_.files[u"a.txt"];
    EXPECT_EQ(a.directory, dir_.drive() + u"\\");
    EXPECT_EQ(a.size, std::string("content of a.txt").size());
    EXPECT_EQ(a.mode, 0x21B6u);
    EXPECT_EQ(a.knownMask, FsFileInfo::kKnownMode | FsFileInfo::kKnownSize |
                               FsFileInfo::kKnownAccessTime | FsFileInfo::kKnownCreationTime |
                               FsFileInfo::kKnownModificationTime);
    EXPECT_NE(a.modificationTime, 0u);
    EXPECT_EQ(results_.files[u"c.log"].directory, path("sub/deeper/"));
    EXPECT_EQ(results_.files[u"tool.EXE"].mode, 0x23FEu);
#ifndef _WIN32
    EXPECT_EQ(results_.files[u".hidden"].mode & kModeHidden, kModeHidden);  // a leading dot
#endif
  }
  EXPECT_TRUE(traces_.messages().empty());
}

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
  EXPECT_EQ(results_.files[u"x.txt"].directory, path("dir\\"));
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
  for (const char16_t* criteria : {static_cast<const char16_t*>(nullptr), u"[SIZE]>>0",
                                   u"[NOSUCHCOLUMN]==1", u"[FILENAME]#"}) {
    EXPECT_TRUE(walk(criteria).empty());
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
// differential test), and checksum filters; criteria see zero checksums.
TEST_F(WalkTest, CriteriaAndChecksumFiltersChooseTheFiles) {
  make({"prog.exe", "sub/NOTES.TXT", "two.txt", "sub/three.txt"});
  std::ofstream(dir_.host("large.txt")) << std::string(5000, 'L');
  const uint32_t twoCrc = crc32UpdateTables(0, "content of two.txt", 18);
  ChecksumFilter wanted;
  wanted.active = 1;
  wanted.crc32Values = {twoCrc};
  wanted.md5Values = {Md5::of("content of sub/three.txt", 24)};
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
}

TEST_F(WalkTest, TheReusedFileInfoStartsAfreshForEveryFile) {
  REQUIRE_PROCESS_DRIVES();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    std::ofstream(processDrives().hostRoot('F') / name) << name;
  }
  // FAT: the entry's times are not taken; the host fetches them through stat, which leaves every
  // item known until the next file clears them.
  results_.onFile = [](FsFileInfo* info) {
    EXPECT_EQ(info->knownMask(), FsFileInfo::kKnownMode | FsFileInfo::kKnownSize);
    EXPECT_TRUE(info->updateInfo());
  };
  FsScanFilter filter(u"[SIZE]>=0", false);
  ResolvedPath fat{PathEntry(u"F:\\", true), DriveEntry(u"F:", DT_FIXED, u"FAT32")};
  EXPECT_EQ(fs_build(&results_, &filter, fat, {}, {}, false, 100000), kWalkFinished);
  EXPECT_EQ(results_.files.size(), 3u);
  for (const char* name : {"a.txt", "b.txt", "c.txt"})
    fs::remove(processDrives().hostRoot('F') / name);
}

#ifndef _WIN32
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
    CollectingResults every;
    FsScanFilter all(u"[SIZE]>=0", false);
    all.setOptions(FsScanFilter::kOptionCrc32 | FsScanFilter::kOptionQ32 |
                   FsScanFilter::kOptionMd5);
    if (fs_build(&every, &all, start(dir_.drive()), {}, {}, false, 100000) != 0) return 1;
    const Names expected = {u"a.txt", u"fifo", u"fifo-link", u"locked.txt", u"socket", u"z.txt"};
    if (every.names() != expected) return 2;
    if (!traces.containsText("::fs_scan - invalid file handle. Error 5 opening '")) return 3;
    CollectingResults named;  // by name alone: the details of the files kept are read after
    FsScanFilter byName(u"[FILENAME]==\"*\"", false);
    if (fs_build(&named, &byName, start(dir_.drive()), {}, {}, false, 100000) != 0) return 6;
    if (named.names() != expected) return 7;

    // With a checksum filter nothing unreadable can match, whatever it wants.
    ChecksumFilter wanted;
    wanted.active = 1;
    wanted.crc32Values = {0};
    wanted.q32Values = {0};
    wanted.md5Values = {Md5::of(nullptr, 0)};
    CollectingResults matched;
    all.setChecksumFilter(&wanted);
    if (fs_build(&matched, &all, start(dir_.drive()), {}, {}, false, 100000) != 0) return 4;
    return matched.files.empty() ? 0 : 5;
  });
  EXPECT_EQ(failed, 0);
}
#endif

}  // namespace
