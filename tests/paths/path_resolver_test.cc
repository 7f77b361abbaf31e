// PathHelper::pathResolver over the fixture's drives: A: removable FAT, C: fixed NTFS, D: fixed
// FAT32, E: CD-ROM CDFS, M: RAM disk TMPFS, R: remote SMB; the current directory is C:\work.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "paths/drivehelper.h"
#include "paths/pathhelper.h"
#include "paths/paths_test_support.h"
#include "paths/scanlists.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

namespace {

class PathResolverTest : public DriveTableTest {
 protected:
  explicit PathResolverTest(const std::vector<FixtureDrive>& drives = everyDriveType())
      : DriveTableTest(drives) {}

  void SetUp() override {
    DriveTableTest::SetUp();
    if (IsSkipped()) return;
    drives_.enter('C', "work");
    ASSERT_TRUE(DriveHelper().buildDriveList(&all_, mdAllDriveGroup));
    prune({});
  }

  // Prunes the drive list with the given exclusions, as a query's list preparation does.
  void prune(const PathList& excludedPaths) {
    usable_.clear();
    usablePaths_.clear();
    prunedPaths_.clear();
    DriveHelper().fileSystemDriveListPruning(&all_, &usable_, {}, {}, excludedPaths);
    PathList allPaths;
    drivesToPaths(all_, &allPaths);
    drivesToPaths(usable_, &usablePaths_);
    subtractPaths(allPaths, usablePaths_, &prunedPaths_);
  }

  // The non-empty outputs as "P{parents} R{resolved} U{unresolved}", or "PR{...} U{...}" when
  // parents and resolved are alike. Checks that stale outputs are cleared, the excluded output
  // stays empty, only unresolved entries carry an empty drive, and the resolution traces each
  // output entry and its exit.
  std::string resolve(const PathList& paths, const DriveList* drives = nullptr) {
    traces_.clear();
    const ResolvedPathList stale = {ResolvedPath{PathEntry(u"stale", true), DriveEntry()}};
    ResolvedPathList parents = stale, resolved = stale, excluded = stale, unresolved = stale;
    EXPECT_TRUE(PathHelper().pathResolver(paths, drives != nullptr ? *drives : usable_,
                                          usablePaths_, prunedPaths_, &parents, &resolved,
                                          &excluded, &unresolved));
    EXPECT_TRUE(excluded.empty());
    EXPECT_TRUE(traces_.contains("PathHelper::pathResolver - exit.\n"));
    const bool alike = render(parents) == render(resolved);
    std::string out;
    for (const auto& [tag, name, list] :
         {std::tuple{alike ? "PR" : "P", "parent resolved", &parents},
          std::tuple{"R", "resolved", &resolved}, std::tuple{"U", "unresolved", &unresolved}}) {
      std::string entries;
      for (const ResolvedPath& entry : *list) {
        EXPECT_TRUE(traces_.contains("PathHelper::pathResolver - " + std::string(name) + " path [" +
                                     narrow(entry.path.path()) + "] [" +
                                     std::to_string(entry.drive.type()) + "] [" +
                                     narrow(entry.drive.fileSystem()) + "]\n"));
        EXPECT_EQ(list == &unresolved, entry.drive == DriveEntry());
        entries += (entries.empty() ? "" : ", ") +
                   (list == &unresolved ? render(entry.path) : render(ResolvedPathList{entry})[0]);
      }
      if (entries.empty() || (alike && list == &resolved)) continue;
      out += (out.empty() ? "" : " ") + std::string(tag) + "{" + entries + "}";
    }
    return out;
  }
  std::string resolve(const std::u16string& path, bool recursive = false) {
    return resolve(PathList{PathEntry(path.c_str(), recursive)});
  }

  ScopedShellFolders folders_{"36=C:\\Windows;37=C:\\Windows\\system32"};
  TraceCapture traces_;
  DriveList all_, usable_;
  PathList usablePaths_, prunedPaths_;
};

TEST_F(PathResolverTest, PatternOnAnExplicitDriveTracesEveryStep) {
  EXPECT_EQ(resolve(u"C:\\Windows\\*.exe"),
            "P{C:\\Windows\\/r 2 NTFS} R{C:\\Windows\\*.exe 2 NTFS}");
  EXPECT_EQ(traces_.messages(),
            (Strings{
                "PathHelper::pathResolver - entering... [pathList size is 1]\n",
                "PathHelper::pathResolver - media: $local, pathName: C:\\Windows\\*.exe, "
                "recursive: false\n",
                "PathHelper::pathResolver - real pathName is: \\Windows\\*.exe\n",
                "PathHelper::pathResolver - pathName without driver: \\Windows\\*.exe\n",
                "PathHelper::pathResolver - drive is 'C:'\n",
                "PathHelper::pathResolver - list info...\n",
                "PathHelper::pathResolver - resolved path [C:\\Windows\\*.exe] [2] [NTFS]\n",
                "PathHelper::pathResolver - parent resolved path [C:\\Windows\\] [2] [NTFS]\n",
                "PathHelper::pathResolver - list info end\n",
                "PathHelper::pathResolver - exit.\n",
            }));
  EXPECT_EQ(traces_.records().front().level, ZrLogWrapper::kEntry);
  EXPECT_EQ(traces_.records().back().level, ZrLogWrapper::kExit);
}

TEST_F(PathResolverTest, EachPathEndsInItsList) {
  const std::string a256(platform::kMaxPath - 4, 'a');
  const std::u16string w256(a256.begin(), a256.end());
  // Each case: the path, its recursive flag, its outputs, and a trace that tells why or "".
  const std::tuple<std::u16string, bool, std::string, std::string> cases[] = {
      // Explicit drives; without wildcards the parent is the path with the entry's own flag.
      {u"c:\\Data", false, "PR{c:\\Data 2 NTFS}", ""},
      {u"C:\\%UNKNOWN%\\x", true, "PR{C:\\%UNKNOWN%\\x/r 2 NTFS}", ""},
      // Media words and drives; a wildcard drive tries every drive of the media group.
      {u"$remote::*.doc", false, "P{R:\\/r 4 SMB} R{R:*.doc 4 SMB}", "searchPath is '?:*.doc'"},
      {u"$REMOTE::C:\\data", false, "U{C:\\data}", ""},
      {u"$other::*:\\x", false, "PR{A:\\x 1 FAT, E:\\x 8 CDFS, M:\\x 16 TMPFS}", ""},
      {u"$all::$OTHER:*.tmp", false,
       "P{A:\\/r 1 FAT, E:\\/r 8 CDFS, M:\\/r 16 TMPFS} R{A:\\*.tmp 1 FAT, E:\\*.tmp 8 CDFS, "
       "M:\\*.tmp 16 TMPFS}",
       "'$OTHER:' received on path: *.tmp"},
      {u"$remote:\\share\\*", false, "", ""},
      {u"$remote::$all:\\share\\*", false, "P{R:\\share\\/r 4 SMB} R{R:\\share\\* 4 SMB}", ""},
      {u"$local:\\x", false, "PR{C:\\x 2 NTFS, D:\\x 2 FAT32}", ""},
      {u"$all::$bogus:\\x", false, "", "drive type [$bogus:] not supported!"},
      {u"$all::$all:\\a|b", false, "", ""},
      {u"$floppy::C:\\x", true, "U{C:\\x/r}", "media type [$floppy] not supported!"},
      {u"::C:\\x", false, "U{C:\\x}", "media type [] not supported!"},
      {u"::", false, "", "media type [] not supported!"},
      // Shell-folder tokens, full and abbreviated; an unknown one stays as written (above).
      {u"%CSIDL_SYSTEM%\\drivers", false, "PR{C:\\Windows\\system32\\drivers 2 NTFS}", ""},
      {u"%CSIDL_SYS%\\drivers\\*.sys", false,
       "P{C:\\Windows\\system32\\drivers\\/r 2 NTFS} R{C:\\Windows\\system32\\drivers\\*.sys 2 "
       "NTFS}",
       ""},
      // Without a drive: the current directory's, or every drive for a pattern.
      {u"C:relative", false, "PR{C:\\work\\relative 2 NTFS}", ""},
      {u"temp\\logs", false, "PR{C:\\work\\temp\\logs 2 NTFS}", ""},
      {u"\\logs", false, "PR{C:\\logs 2 NTFS}", ""},
      {u"D:\\a\\..\\..\\b", false, "PR{D:\\b 2 FAT32}", ""},
      {u"*.log", true, "P{C:\\/r 2 NTFS, D:\\/r 2 FAT32} R{C:*.log/r 2 NTFS, D:*.log/r 2 FAT32}",
       ""},
      {u"C", false, "PR{C:\\work\\C 2 NTFS}", ""},
      // 259 characters fit; too long once a drive is put in front or once absolute: refused.
      {u"C:\\" + w256, false, "PR{C:\\" + a256 + " 2 NTFS}", ""},
      {u"?:*" + w256, false,
       "P{C:\\/r 2 NTFS, D:\\/r 2 FAT32} R{C:*" + a256 + " 2 NTFS, D:*" + a256 + " 2 FAT32}", ""},
      {u"*a" + w256, false, "", "path too long: ?:*a" + a256},
      {u"\\aa" + w256, false, "", "path too long: C:\\aa" + a256},
      {u"aaa" + w256, false, "", ""},
  };
  for (const auto& [path, recursive, outputs, trace] : cases) {
    SCOPED_TRACE(narrow(path));
    EXPECT_EQ(resolve(path, recursive), outputs);
    if (!trace.empty()) {
      EXPECT_TRUE(traces_.contains("PathHelper::pathResolver - " + trace + "\n"));
    }
  }
  // Malformed: unresolved, and reported when they lie on a drive.
  for (const char16_t* path :
       {u"C:\\\"quoted\"", u"C:\\a|b", u"C:\\a<b", u"C:\\a>b", u"C:\\x:y", u"C:", u"C:\\50%off:"}) {
    EXPECT_EQ(resolve(path), "U{" + narrow(path) + "}");
  }
  for (const char16_t* path : {u"Q:\\x", u"", u":", u"\"", u"x:", u":\\x", u"relative\\*.txt"}) {
    EXPECT_EQ(resolve(path), "") << narrow(path);
  }
  EXPECT_EQ(resolve(PathList{PathEntry()}), "");
  // Entries whose text cannot be expanded (a folder that cannot be looked up, 260 and 261
  // characters) are dropped before anything is traced for them.
  for (const std::u16string& path :
       {std::u16string(u"%CSIDL_PROGRAM_FILES%\\x"), u"C:\\a" + w256, u"C:\\aa" + w256}) {
    EXPECT_EQ(resolve(path), "");
    EXPECT_FALSE(traces_.containsText("media:"));
  }
}

// Outputs are grouped by drive type; duplicates are added once, unresolved ones each time; pruned
// drives give no parents.
TEST_F(PathResolverTest, GroupedDeduplicatedAndPruned) {
  const std::vector<std::u16string> paths = {u"R:\\r", u"D:\\d", u"M:\\m", u"C:\\c",
                                             u"A:\\a", u"E:\\e", u"C:\\c2"};
  PathList everyMedia;
  for (const std::u16string& path : paths)
    everyMedia.emplace_back((u"$all::" + path).c_str(), true);
  const std::string grouped =
      "A:\\a/r 1 FAT, D:\\d/r 2 FAT32, C:\\c/r 2 NTFS, C:\\c2/r 2 NTFS, R:\\r/r 4 SMB, "
      "E:\\e/r 8 CDFS, M:\\m/r 16 TMPFS";
  EXPECT_EQ(resolve(everyMedia), "PR{" + grouped + "}");
  // Without a media word only fixed drives resolve; the rest is unresolved, grouped alike.
  EXPECT_EQ(
      resolve(pathList(paths, true)),
      "PR{D:\\d/r 2 FAT32, C:\\c/r 2 NTFS, C:\\c2/r 2 NTFS} U{A:\\a/r, R:\\r/r, E:\\e/r, M:\\m/r}");
  EXPECT_EQ(resolve(PathList{
                PathEntry(u"C:\\Windows\\*.exe", false), PathEntry(u"C:\\Windows\\*.dll", false),
                PathEntry(u"C:\\Windows\\*.exe", true), PathEntry(u"C:\\Windows\\", false),
                PathEntry(u"$floppy::C:\\x", true), PathEntry(u"$floppy::C:\\x", true)}),
            "P{C:\\Windows\\/r 2 NTFS} R{C:\\Windows\\*.exe 2 NTFS, C:\\Windows\\*.dll 2 NTFS, "
            "C:\\Windows\\ 2 NTFS} U{C:\\x/r, C:\\x/r}");
  prune(PathList{PathEntry(u"D:\\", false)});
  // With the usable drives D: is unknown; with all drives the pattern resolves but its parent
  // is rejected by the drive-level exclusion.
  EXPECT_EQ(resolve(u"D:\\x\\*.txt"), "");
  EXPECT_EQ(resolve(PathList{PathEntry(u"D:\\x\\*.txt", false)}, &all_),
            "R{D:\\x\\*.txt 2 FAT32 excluded}");
  EXPECT_EQ(resolve(u"*.log"), "P{C:\\/r 2 NTFS} R{C:*.log 2 NTFS}");
}

}  // namespace
