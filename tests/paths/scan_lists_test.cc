#include "fscommon/scanlists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "paths/paths_test_support.h"

namespace {

using Strings = std::vector<std::string>;

const DriveEntry kFixedNtfs(u"C:", DT_FIXED, u"NTFS");
const DriveEntry kFixedFat(u"D:", DT_FIXED, u"FAT32");
const DriveEntry kRemote(u"R:", DT_REMOTE, u"SMB");

ResolvedPath on(const DriveEntry& drive, const std::u16string& path, bool recursive = true) {
  return ResolvedPath{PathEntry(path.c_str(), recursive), drive};
}

DriveEntry excludedCopy(const DriveEntry& drive) {
  DriveEntry copy(drive);
  copy.setExcluded(true);
  return copy;
}

Strings collapse(const ResolvedPathList& list) {
  ResolvedPathList out;
  collapseScanPaths(list, &out);
  return render(out);
}

TEST(CollapseScanPathsTest, ShorterTextCoversLongerOnTheSameKindOfDrive) {
  // Plain text prefix: no separator test.
  EXPECT_EQ(collapse({on(kFixedNtfs, u"C:\\foobar"), on(kFixedNtfs, u"C:\\foo")}),
            (Strings{"C:\\foo/r 2 NTFS"}));
  EXPECT_EQ(collapse({on(kFixedNtfs, u"C:\\foo"), on(kFixedNtfs, u"C:\\foobar"),
                      on(kFixedNtfs, u"C:\\bar"), on(kFixedNtfs, u"C:\\foo\\x")}),
            (Strings{"C:\\foo/r 2 NTFS", "C:\\bar/r 2 NTFS"}));
  // Recursive flags play no part; of equal texts the last one stays.
  EXPECT_EQ(collapse({on(kFixedNtfs, u"C:\\a", true), on(kFixedNtfs, u"C:\\b"),
                      on(kFixedNtfs, u"C:\\a", false)}),
            (Strings{"C:\\b/r 2 NTFS", "C:\\a 2 NTFS"}));
  // A drive of another type or file system is never covered; case counts.
  EXPECT_EQ(collapse({on(kFixedNtfs, u"C:\\data"), on(kFixedFat, u"C:\\data\\x"),
                      on(kRemote, u"C:\\data\\y"), on(kFixedNtfs, u"c:\\data\\z")}),
            (Strings{"C:\\data/r 2 NTFS", "C:\\data\\x/r 2 FAT32", "C:\\data\\y/r 4 SMB",
                     "c:\\data\\z/r 2 NTFS"}));
  EXPECT_EQ(collapse({}), Strings{});
}

TEST(CollapseScanPathsTest, ExcludedDrivesKeepEveryEntry) {
  for (int which = 0; which < 2; ++which) {
    const ResolvedPathList list = {
        on(which == 0 ? excludedCopy(kFixedNtfs) : kFixedNtfs, u"C:\\data"),
        on(which == 1 ? excludedCopy(kFixedNtfs) : kFixedNtfs, u"C:\\data\\old")};
    ResolvedPathList out;
    collapseScanPaths(list, &out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].drive.excluded(), which == 0);
    EXPECT_EQ(out[1].drive.excluded(), which == 1);
  }
  // The flag stays with its entry when an earlier entry is removed.
  ResolvedPathList out;
  collapseScanPaths({on(kFixedNtfs, u"C:\\a\\b"), on(kFixedNtfs, u"C:\\a"),
                     on(excludedCopy(kFixedNtfs), u"C:\\a\\c")},
                    &out);
  ASSERT_EQ(render(out), (Strings{"C:\\a/r 2 NTFS", "C:\\a\\c/r 2 NTFS"}));
  EXPECT_TRUE(out[1].drive.excluded());
}

// Collapsing by its definition: an entry stays when no other entry of the same kind of drive
// is a prefix of it (of equal texts the last one stays); then, of the entries left with the same
// drive type and text, the last one.
TEST(CollapseScanPathsTest, AgreesWithThePrefixDefinition) {
  std::mt19937 rng(7);
  const std::u16string pieces[] = {u"C:\\a", u"C:\\ab", u"C:\\a\\b", u"C:\\b", u"C:\\a\\"};
  const DriveEntry drives[] = {kFixedNtfs, kFixedFat};
  for (int trial = 0; trial < 2000; ++trial) {
    ResolvedPathList list;
    const int size = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int i = 0; i < size; ++i) {
      list.push_back(on(drives[rng() % 2], pieces[rng() % 5]));
    }
    ResolvedPathList survivors;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::u16string text = list[i].path.path();
      bool covered = false;
      for (size_t j = 0; j < list.size() && !covered; ++j) {
        if (j == i || list[j].drive != list[i].drive) continue;
        const std::u16string other = list[j].path.path();
        covered = other.size() < text.size() ? text.compare(0, other.size(), other) == 0
                                             : other == text && j > i;
      }
      if (!covered) survivors.push_back(list[i]);
    }
    ResolvedPathList expected;
    for (size_t i = 0; i < survivors.size(); ++i) {
      bool later = false;
      for (size_t j = i + 1; j < survivors.size(); ++j) {
        later |= survivors[j].drive.type() == survivors[i].drive.type() &&
                 std::u16string(survivors[j].path.path()) == survivors[i].path.path();
      }
      if (!later) expected.push_back(survivors[i]);
    }
    ASSERT_EQ(collapse(list), render(expected)) << "trial " << trial;
  }
}

TEST(PathListBuildersTest, DuplicatesSubtractionAndSelection) {
  PathList list = pathList({u"A", u"B", u"A"});
  EXPECT_TRUE(removeDuplicatePaths(&list));
  EXPECT_EQ(render(list), (Strings{"B", "A"}));
  EXPECT_FALSE(removeDuplicatePaths(&list));
  PathList flags = {PathEntry(u"A", true), PathEntry(u"A", false), PathEntry()};
  EXPECT_FALSE(removeDuplicatePaths(&flags));
  EXPECT_FALSE(removeDuplicatePaths(nullptr));

  PathList drives;
  drivesToPaths({kFixedNtfs, kRemote}, &drives);
  EXPECT_EQ(render(drives), (Strings{"C:/r", "R:/r"}));

  PathList difference = {PathEntry(u"keep", false)};
  subtractPaths({PathEntry(u"C:", true), PathEntry(u"D:", true), PathEntry(u"R:", false)},
                {PathEntry(u"C:", true), PathEntry(u"R:", true)}, &difference);
  EXPECT_EQ(render(difference), (Strings{"keep", "D:/r", "R:"}));

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

  out.clear();
  pathsOnSameDrive(on(kFixedFat, u"no drive"), paths, &out);
  pathsOnSameDrive(ResolvedPath{}, paths, &out);
  EXPECT_TRUE(out.empty());
}

TEST(PathListBuildersTest, ExclusionsBelowTheScanPath) {
  const ResolvedPathList exclusions = {
      on(kFixedNtfs, u"C:*.tmp", false),
      on(kFixedNtfs, u"C:\\temp"),
      on(kFixedNtfs, u"C:\\"),           // not longer than the scan path
      on(kRemote, u"C:\\remote"),        // another drive type
      on(kFixedFat, u"c:*.log", false),  // drive-wide, on any drive of that letter
      on(kFixedFat, u"D:\\x"),
      on(kFixedNtfs, u"C:"),
      on(kFixedNtfs, u"C:x*")};
  PathList out;
  exclusionsUnder(on(kFixedNtfs, u"C:\\"), exclusions, &out);
  EXPECT_EQ(render(out), (Strings{"C:*.tmp", "C:\\temp/r", "c:*.log"}));

  out.clear();
  exclusionsUnder(on(kFixedNtfs, u"c:\\TEMP"), exclusions, &out);
  EXPECT_EQ(render(out), (Strings{"C:*.tmp", "c:*.log"}));

  out.clear();
  exclusionsUnder(on(kFixedNtfs, u"C"), exclusions, &out);  // too short for a drive-wide match
  EXPECT_EQ(render(out), (Strings{"C:*.tmp", "C:\\temp/r", "C:\\/r", "c:*.log", "C:/r", "C:x*/r"}));
  out.clear();
  exclusionsUnder(ResolvedPath{}, exclusions, &out);
  EXPECT_TRUE(out.empty());
}

}  // namespace
