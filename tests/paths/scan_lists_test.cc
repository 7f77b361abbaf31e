#include "paths/scanlists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/paths_test_support.h"

namespace {

const DriveEntry kFixedNtfs(u"C:", DT_FIXED, u"NTFS");
const DriveEntry kFixedFat(u"D:", DT_FIXED, u"FAT32");
const DriveEntry kRemote(u"R:", DT_REMOTE, u"SMB");

ResolvedPath on(const DriveEntry& drive, const std::u16string& path, bool recursive = true,
                bool excluded = false) {
  ResolvedPath entry{PathEntry(path.c_str(), recursive), drive};
  entry.drive.setExcluded(excluded);
  return entry;
}

Strings collapse(const ResolvedPathList& list) {
  ResolvedPathList out;
  collapseScanPaths(list, &out);
  return render(out);
}

// An entry goes when another on a drive of the same kind (type and file system), neither drive
// excluded, begins it as plain text (C:\a covers C:\ab; case counts; of equal texts the later
// stays, whatever the recursive flags); then, of entries with the same drive type and text, the
// last stays. The lists are copy-constructed, which keeps the excluded flags.
TEST(CollapseScanPathsTest, PrefixesOnDrivesOfOneKindCoverTheRest) {
  const auto excluded = [](const std::u16string& path) { return on(kFixedNtfs, path, true, true); };
  const std::pair<ResolvedPathList, Strings> cases[] = {
      {{on(kFixedNtfs, u"C:\\ab"), on(kFixedNtfs, u"C:\\a"), on(kFixedNtfs, u"C:\\a\\b")},
       {"C:\\a/r 2 NTFS"}},
      {{on(kFixedNtfs, u"C:\\a"), on(kFixedNtfs, u"C:\\a", false)}, {"C:\\a 2 NTFS"}},
      {{on(kFixedNtfs, u"C:\\a"), on(kFixedNtfs, u"c:\\a\\b"), on(kFixedFat, u"C:\\a\\b"),
        on(kRemote, u"C:\\a\\b")},
       {"C:\\a/r 2 NTFS", "c:\\a\\b/r 2 NTFS", "C:\\a\\b/r 2 FAT32", "C:\\a\\b/r 4 SMB"}},
      {{excluded(u"C:\\a"), on(kFixedNtfs, u"C:\\a\\b"), on(kFixedNtfs, u"C:\\b"),
        excluded(u"C:\\b\\c")},
       {"C:\\a/r 2 NTFS excluded", "C:\\a\\b/r 2 NTFS", "C:\\b/r 2 NTFS",
        "C:\\b\\c/r 2 NTFS excluded"}},
      // Second pass: one per drive type and exact text, excluded or not.
      {{on(kFixedNtfs, u"C:\\b"), on(kFixedFat, u"C:\\b", false), excluded(u"C:\\c"),
        on(kFixedNtfs, u"C:\\c"), on(kFixedFat, u"c:\\b")},
       {"C:\\b 2 FAT32", "C:\\c/r 2 NTFS", "c:\\b/r 2 FAT32"}},
      {{}, {}},
  };
  for (const auto& [list, expected] : cases) EXPECT_EQ(collapse(list), expected);
}

TEST(PathListBuildersTest, DuplicatesAndSelection) {
  PathList list = pathList({u"A", u"B", u"A"});
  EXPECT_TRUE(removeDuplicatePaths(&list));
  EXPECT_EQ(render(list), (Strings{"B", "A"}));
  EXPECT_FALSE(removeDuplicatePaths(&list));
  PathList flags = {PathEntry(u"A", true), PathEntry(u"A", false), PathEntry()};
  EXPECT_FALSE(removeDuplicatePaths(&flags));
  EXPECT_FALSE(removeDuplicatePaths(nullptr));

  PathList selected;
  const ResolvedPathList resolved = {on(kRemote, u"R:\\x"), on(kFixedNtfs, u"C:\\x"),
                                     on(kFixedFat, u"D:\\x", false)};
  selectPathsByDriveType(resolved, DT_FIXED, &selected);
  selectPathsByDriveType(resolved, DT_REMOTE | DT_CDROM, &selected);
  selectPathsByDriveType(resolved, 0, &selected);
  EXPECT_EQ(render(selected), (Strings{"C:\\x/r", "D:\\x", "R:\\x/r"}));
}

TEST(PathListBuildersTest, PathsOnTheScanPathsDrive) {
  PathList out;
  const PathList paths = pathList({u"D:\\x", u"d:\\y", u"C:\\x", u"D:", u"D", u"DD:\\x"});
  pathsOnSameDrive(on(kFixedFat, u"D:\\work"), paths, &out);
  EXPECT_EQ(render(out), (Strings{"D:\\x", "d:\\y", "D:"}));
  pathsOnSameDrive(on(kFixedFat, u"no drive"), paths, &out);
  pathsOnSameDrive(ResolvedPath{}, paths, &out);
  EXPECT_EQ(out.size(), 3u);

  // Below the scan path on a drive of its type, or drive-wide on its letter (on any drive).
  const ResolvedPathList exclusions = {on(kFixedNtfs, u"C:*.tmp", false),
                                       on(kFixedNtfs, u"C:\\temp"),
                                       on(kFixedNtfs, u"C:\\"),
                                       on(kRemote, u"C:\\remote"),
                                       on(kFixedFat, u"c:*.log", false),
                                       on(kFixedFat, u"D:\\x"),
                                       on(kFixedNtfs, u"C:"),
                                       on(kFixedNtfs, u"C:x*")};
  const auto under = [&](const ResolvedPath& scan) {
    out.clear();
    exclusionsUnder(scan, exclusions, &out);
    return render(out);
  };
  EXPECT_EQ(under(on(kFixedNtfs, u"C:\\")), (Strings{"C:*.tmp", "C:\\temp/r", "c:*.log"}));
  EXPECT_EQ(under(on(kFixedNtfs, u"c:\\TEMP")), (Strings{"C:*.tmp", "c:*.log"}));
  // Too short for a drive-wide match.
  EXPECT_EQ(under(on(kFixedNtfs, u"C")),
            (Strings{"C:*.tmp", "C:\\temp/r", "C:\\/r", "c:*.log", "C:/r", "C:x*/r"}));
  EXPECT_TRUE(under(ResolvedPath{}).empty());
}

}  // namespace
