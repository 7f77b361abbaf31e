// PathHelper::pathResolver over the fixture's drives: A: removable FAT, C: fixed NTFS, D: fixed
// FAT32, E: CD-ROM CDFS, M: RAM disk TMPFS, R: remote SMB; the current directory is C:\work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fscommon/drivehelper.h"
#include "fscommon/pathhelper.h"
#include "fscommon/scanlists.h"
#include "paths/paths_test_support.h"
#include "support/drive_fixture.h"
#include "support/trace_capture.h"

namespace {

using Strings = std::vector<std::string>;

struct Resolution {
  Strings parents;
  Strings resolved;
  Strings excluded;
  Strings unresolved;
};

class PathResolverTest : public DriveTableTest {
 protected:
  explicit PathResolverTest(const std::vector<FixtureDrive>& drives = everyDriveType())
      : DriveTableTest(drives) {}

  void SetUp() override {
    DriveTableTest::SetUp();
    if (IsSkipped()) return;
    drives_.enter('C', "work");
    DriveHelper helper;
    ASSERT_TRUE(helper.buildDriveList(&all_, mdAllDriveGroup));
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

  Resolution resolve(const PathList& paths) { return resolveOn(usable_, paths); }

  Resolution resolveOn(const DriveList& drives, const PathList& paths) {
    ResolvedPathList parents = {ResolvedPath{PathEntry(u"stale", true), DriveEntry()}};
    ResolvedPathList resolved = parents, excluded = parents, unresolved = parents;
    EXPECT_TRUE(PathHelper().pathResolver(paths, drives, usablePaths_, prunedPaths_, &parents,
                                          &resolved, &excluded, &unresolved));
    return {render(parents), render(resolved), render(excluded), render(unresolved)};
  }

  Resolution resolve(const std::u16string& path, bool recursive = false) {
    return resolve(PathList{PathEntry(path.c_str(), recursive)});
  }

  DriveList all_;
  DriveList usable_;
  PathList usablePaths_;
  PathList prunedPaths_;
};

TEST_F(PathResolverTest, PatternOnAnExplicitDrive) {
  TraceCapture traces;
  const Resolution r = resolve(u"C:\\Windows\\*.exe");
  EXPECT_EQ(r.parents, (Strings{"C:\\Windows\\/r 2 NTFS"}));
  EXPECT_EQ(r.resolved, (Strings{"C:\\Windows\\*.exe 2 NTFS"}));
  EXPECT_TRUE(r.excluded.empty());
  EXPECT_TRUE(r.unresolved.empty());
  EXPECT_EQ(traces.messages(),
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
  const std::vector<CapturedTrace> records = traces.records();
  EXPECT_EQ(records.front().level, ZrLogWrapper::kEntry);
  EXPECT_EQ(records.back().level, ZrLogWrapper::kExit);

  // Without wildcards the parent is the path itself with the entry's own flag.
  EXPECT_EQ(resolve(u"c:\\Data", false).parents, (Strings{"c:\\Data 2 NTFS"}));
  EXPECT_EQ(resolve(u"D:\\Data", true).parents, (Strings{"D:\\Data/r 2 FAT32"}));
}

TEST_F(PathResolverTest, RemoteMediaTriesEveryRemoteDrive) {
  TraceCapture traces;
  const Resolution r = resolve(u"$remote::*.doc");
  EXPECT_EQ(r.parents, (Strings{"R:\\/r 4 SMB"}));
  EXPECT_EQ(r.resolved, (Strings{"R:*.doc 4 SMB"}));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - searchPath is '?:*.doc'\n"));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - driveList[5] is 'R:'\n"));

  // A fixed drive is not in the remote group.
  const Resolution fixed = resolve(u"$REMOTE::C:\\data");
  EXPECT_TRUE(fixed.resolved.empty());
  EXPECT_EQ(fixed.unresolved, (Strings{"C:\\data 0 (null)"}));
}

class NoRemoteDriveTest : public PathResolverTest {
 protected:
  NoRemoteDriveTest() : PathResolverTest({{'C', "fixed", "NTFS"}, {'E', "cdrom", "CDFS"}}) {}
};

TEST_F(NoRemoteDriveTest, RemoteMediaResolvesNothing) {
  TraceCapture traces;
  const Resolution r = resolve(u"$remote::*.doc");
  EXPECT_TRUE(r.parents.empty());
  EXPECT_TRUE(r.resolved.empty());
  // Unresolved, but as *.doc it lies on no drive, so no output group takes it.
  EXPECT_TRUE(r.unresolved.empty());
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - driveList[1] is 'E:'\n"));
}

TEST_F(PathResolverTest, PathsWithoutDriveUseTheCurrentDriveOrEveryDrive) {
  EXPECT_EQ(resolve(u"C:relative").resolved, (Strings{"C:\\work\\relative 2 NTFS"}));
  EXPECT_EQ(resolve(u"temp\\logs").resolved, (Strings{"C:\\work\\temp\\logs 2 NTFS"}));
  EXPECT_EQ(resolve(u"\\logs").resolved, (Strings{"C:\\logs 2 NTFS"}));
  EXPECT_EQ(resolve(u"..\\up").resolved, (Strings{"C:\\up 2 NTFS"}));

  const Resolution everywhere = resolve(u"*.log", true);
  EXPECT_EQ(everywhere.resolved, (Strings{"C:*.log/r 2 NTFS", "D:*.log/r 2 FAT32"}));
  EXPECT_EQ(everywhere.parents, (Strings{"C:\\/r 2 NTFS", "D:\\/r 2 FAT32"}));

  EXPECT_EQ(resolve(u"$all::?:\\x\\*").resolved,
            (Strings{"A:\\x\\* 1 FAT", "C:\\x\\* 2 NTFS", "D:\\x\\* 2 FAT32", "R:\\x\\* 4 SMB",
                     "E:\\x\\* 8 CDFS", "M:\\x\\* 16 TMPFS"}));
  EXPECT_EQ(resolve(u"$other::*:\\x").parents,
            (Strings{"A:\\x 1 FAT", "E:\\x 8 CDFS", "M:\\x 16 TMPFS"}));
}

TEST_F(PathResolverTest, MediaDrivesJoinWithOneBackslash) {
  TraceCapture traces;
  const Resolution r = resolve(u"$all::$OTHER:*.tmp");
  EXPECT_EQ(r.resolved, (Strings{"A:\\*.tmp 1 FAT", "E:\\*.tmp 8 CDFS", "M:\\*.tmp 16 TMPFS"}));
  EXPECT_EQ(r.parents, (Strings{"A:\\/r 1 FAT", "E:\\/r 8 CDFS", "M:\\/r 16 TMPFS"}));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - '$OTHER:' received on path: *.tmp\n"));

  EXPECT_EQ(resolve(u"$remote:\\share\\*").resolved, Strings{});  // $local media, remote drive
  EXPECT_EQ(resolve(u"$remote::$all:\\share\\*").resolved, (Strings{"R:\\share\\* 4 SMB"}));
  EXPECT_EQ(resolve(u"$local:\\x").parents, (Strings{"C:\\x 2 NTFS", "D:\\x 2 FAT32"}));

  traces.clear();
  const Resolution bogus = resolve(u"$all::$bogus:\\x");
  EXPECT_TRUE(bogus.resolved.empty());
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - drive type [$bogus:] not supported!\n"));
  EXPECT_TRUE(resolve(u"$all::$all:\\a|b").resolved.empty());
}

TEST_F(PathResolverTest, UnsupportedMediaIsUnresolved) {
  TraceCapture traces;
  const Resolution r =
      resolve(PathList{PathEntry(u"$floppy::C:\\x", true), PathEntry(u"$floppy::C:\\x", true)});
  EXPECT_TRUE(r.resolved.empty());
  EXPECT_EQ(r.unresolved, (Strings{"C:\\x/r 0 (null)", "C:\\x/r 0 (null)"}));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - media type [$floppy] not supported!\n"));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - unresolved path [C:\\x] [0] [(null)]\n"));

  // "::" with no media word before it.
  traces.clear();
  EXPECT_EQ(resolve(u"::C:\\x").unresolved, (Strings{"C:\\x 0 (null)"}));
  EXPECT_TRUE(traces.contains("PathHelper::pathResolver - media type [] not supported!\n"));
  EXPECT_EQ(resolve(u"::").unresolved, Strings{});
}

TEST_F(PathResolverTest, ShellFolderTokens) {
  if (!ScopedShellFolders::supported()) GTEST_SKIP() << "the real shell names the folders";
  ScopedShellFolders folders("36=C:\\Windows;37=C:\\Windows\\system32");
  EXPECT_EQ(resolve(u"%CSIDL_SYSTEM%\\drivers").resolved,
            (Strings{"C:\\Windows\\system32\\drivers 2 NTFS"}));
  EXPECT_EQ(resolve(u"%CSIDL_SYS%\\drivers\\*.sys").parents,
            (Strings{"C:\\Windows\\system32\\drivers\\/r 2 NTFS"}));
  EXPECT_EQ(resolve(u"$local::%%\\*.exe").resolved, (Strings{"C:\\Windows\\*.exe 2 NTFS"}));
  EXPECT_EQ(resolve(u"C:\\%UNKNOWN%\\x").resolved, (Strings{"C:\\%UNKNOWN%\\x 2 NTFS"}));

  // A folder that cannot be looked up drops the entry before anything is traced for it.
  TraceCapture traces;
  const Resolution dropped = resolve(u"%CSIDL_PROGRAM_FILES%\\x");
  EXPECT_TRUE(dropped.resolved.empty() && dropped.unresolved.empty());
  EXPECT_FALSE(traces.containsText("media:"));
}

TEST_F(PathResolverTest, PrunedDrivesGiveNoParents) {
  prune(PathList{PathEntry(u"D:\\", false)});
  EXPECT_EQ(render(usable_),
            (Strings{"A: FAT 1", "C: NTFS 2", "E: CDFS 8", "M: TMPFS 16", "R: SMB 4"}));
  // With the usable drives D: is unknown; with all drives the pattern resolves but its parent
  // is rejected by the drive-level exclusion.
  EXPECT_TRUE(resolve(u"D:\\x\\*.txt").resolved.empty());
  const Resolution r = resolveOn(all_, PathList{PathEntry(u"D:\\x\\*.txt", false)});
  EXPECT_EQ(r.resolved, (Strings{"D:\\x\\*.txt 2 FAT32"}));
  EXPECT_TRUE(r.parents.empty());
  EXPECT_EQ(resolve(u"*.log").parents, (Strings{"C:\\/r 2 NTFS"}));
}

TEST_F(PathResolverTest, OutputsAreGroupedByDriveType) {
  const std::vector<std::u16string> paths = {u"R:\\r", u"D:\\d", u"M:\\m", u"C:\\c",
                                             u"A:\\a", u"E:\\e", u"C:\\c2"};
  PathList everyMedia;
  for (const std::u16string& path : paths)
    everyMedia.emplace_back((u"$all::" + path).c_str(), true);
  const Resolution r = resolve(everyMedia);
  EXPECT_EQ(r.resolved,
            (Strings{"A:\\a/r 1 FAT", "D:\\d/r 2 FAT32", "C:\\c/r 2 NTFS", "C:\\c2/r 2 NTFS",
                     "R:\\r/r 4 SMB", "E:\\e/r 8 CDFS", "M:\\m/r 16 TMPFS"}));
  EXPECT_EQ(r.parents, r.resolved);
  EXPECT_TRUE(r.excluded.empty());

  // Without a media word only fixed drives resolve; the rest is unresolved, grouped alike
  // (unresolved entries carry an empty drive).
  const Resolution local = resolve(pathList(paths, true));
  EXPECT_EQ(local.resolved, (Strings{"D:\\d/r 2 FAT32", "C:\\c/r 2 NTFS", "C:\\c2/r 2 NTFS"}));
  EXPECT_EQ(local.unresolved, (Strings{"A:\\a/r 0 (null)", "R:\\r/r 0 (null)", "E:\\e/r 0 (null)",
                                       "M:\\m/r 0 (null)"}));
}

TEST_F(PathResolverTest, DuplicatesAreAddedOnce) {
  const Resolution r = resolve(
      PathList{PathEntry(u"C:\\Windows\\*.exe", false), PathEntry(u"C:\\Windows\\*.dll", false),
               PathEntry(u"C:\\Windows\\*.exe", true), PathEntry(u"C:\\Windows\\", false)});
  EXPECT_EQ(r.parents, (Strings{"C:\\Windows\\/r 2 NTFS"}));
  // The directory itself is another path than the patterns below it.
  EXPECT_EQ(r.resolved, (Strings{"C:\\Windows\\*.exe 2 NTFS", "C:\\Windows\\*.dll 2 NTFS",
                                 "C:\\Windows\\ 2 NTFS"}));
}

TEST_F(PathResolverTest, MalformedPathsEndUnresolvedOrDropped) {
  // Unresolved and on a drive: reported in the unresolved output.
  for (const std::u16string& path :
       std::vector<std::u16string>{u"C:\\\"quoted\"", u"C:\\a|b", u"C:\\a<b", u"C:\\a>b",
                                   u"C:\\x:y", u"C:", u"Q:\\x", u"C:\\50%off:"}) {
    SCOPED_TRACE(narrow(path));
    const Resolution r = resolve(path);
    EXPECT_TRUE(r.resolved.empty());
    EXPECT_EQ(r.unresolved.size(), path[0] == u'Q' ? 0u : 1u);
  }
  // Lying on no drive: in no output at all.
  for (const std::u16string& path :
       std::vector<std::u16string>{u"", u":", u"::", u"\"", u"x:", u":\\x", u"relative\\*.txt"}) {
    SCOPED_TRACE(narrow(path));
    TraceCapture traces;
    const Resolution r = resolve(path);
    EXPECT_TRUE(r.parents.empty() && r.resolved.empty() && r.unresolved.empty());
    EXPECT_TRUE(traces.contains("PathHelper::pathResolver - exit.\n"));
  }
  // Names that merely look odd are relative paths like any other.
  EXPECT_EQ(resolve(u"C:\\50%off").resolved, (Strings{"C:\\50%off 2 NTFS"}));
  EXPECT_EQ(resolve(u"%").resolved, (Strings{"C:\\work\\% 2 NTFS"}));
  EXPECT_EQ(resolve(u"C").resolved, (Strings{"C:\\work\\C 2 NTFS"}));
  EXPECT_TRUE(resolve(PathList{PathEntry()}).resolved.empty());
}

TEST_F(PathResolverTest, LongPathsStayWithinTheBuffer) {
  constexpr size_t kMaxPath = platform::kMaxPath;
  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');  // 259
  EXPECT_EQ(resolve(longest).resolved.size(), 1u);

  // 260 and 261 characters do not fit the expansion buffer: dropped without a trace of their own.
  for (size_t extra : {1, 2}) {
    TraceCapture traces;
    const Resolution r = resolve(longest + std::u16string(extra, u'a'));
    EXPECT_TRUE(r.resolved.empty() && r.unresolved.empty());
    EXPECT_FALSE(traces.containsText("media:"));
  }

  // Fits as written but not once a drive is put in front: refused, traced, unresolved.
  const std::u16string pattern = u"*" + std::u16string(kMaxPath - 2, u'a');  // 259
  TraceCapture traces;
  EXPECT_TRUE(resolve(pattern).resolved.empty());
  EXPECT_TRUE(
      traces.contains("PathHelper::pathResolver - path too long: ?:" + narrow(pattern) + "\n"));
  traces.clear();
  const std::u16string rooted = u"\\" + std::u16string(kMaxPath - 2, u'a');  // 259
  EXPECT_TRUE(resolve(rooted).resolved.empty());
  EXPECT_TRUE(traces.containsText("PathHelper::pathResolver - path too long: C:\\aaa"));
  // Relative, too long once absolute: the real path is not taken and the rest is invalid.
  EXPECT_TRUE(resolve(std::u16string(kMaxPath - 1, u'a')).resolved.empty());
  // The candidate on each drive fits: X: replaces ?:.
  EXPECT_EQ(resolve(u"?:*" + std::u16string(kMaxPath - 4, u'a')).resolved.size(), 2u);
}

// The list preparation of a query: drive paths, resolution of includes and exclusions, the
// scan list and the pattern lists by drive type.
TEST_F(PathResolverTest, QueryListPreparation) {
  prune(PathList{PathEntry(u"E:\\", true), PathEntry(u"C:\\temp", true)});
  ResolvedPathList parents, resolved, excluded, unresolved;
  PathHelper helper;
  helper.pathResolver(
      PathList{PathEntry(u"C:\\data\\*.txt", false), PathEntry(u"C:\\data\\old", true),
               PathEntry(u"$remote::?:\\share", true), PathEntry(u"$all::$other:\\*.iso", false)},
      usable_, usablePaths_, prunedPaths_, &parents, &resolved, &excluded, &unresolved);
  ResolvedPathList exclusionParents, exclusions, exclusionExcluded, exclusionUnresolved;
  helper.pathResolver(PathList{PathEntry(u"C:\\temp", true), PathEntry(u"C:*.tmp", false)}, usable_,
                      usablePaths_, prunedPaths_, &exclusionParents, &exclusions,
                      &exclusionExcluded, &exclusionUnresolved);

  ResolvedPathList scan;
  collapseScanPaths(parents, &scan);
  EXPECT_EQ(render(scan), (Strings{"A:\\/r 1 FAT", "C:\\data\\/r 2 NTFS", "R:\\share/r 4 SMB",
                                   "M:\\/r 16 TMPFS"}));
  PathList localIncludes, localExcludes, remoteIncludes;
  selectPathsByDriveType(resolved, mdLocalDriveGroup, &localIncludes);
  selectPathsByDriveType(exclusions, mdLocalDriveGroup, &localExcludes);
  selectPathsByDriveType(resolved, mdRemoteDriveGroup, &remoteIncludes);
  selectPathsByDriveType(resolved, mdOtherDriveGroup, &remoteIncludes);
  EXPECT_EQ(render(localIncludes), (Strings{"C:\\data\\*.txt", "C:\\data\\old/r"}));
  EXPECT_EQ(render(localExcludes), (Strings{"C:\\temp/r", "C:*.tmp"}));
  EXPECT_EQ(render(remoteIncludes), (Strings{"R:\\share/r", "A:\\*.iso", "M:\\*.iso"}));

  PathList treeExclusions;
  exclusionsUnder(scan[1], exclusions, &treeExclusions);
  EXPECT_EQ(render(treeExclusions), (Strings{"C:*.tmp"}));
}

}  // namespace
