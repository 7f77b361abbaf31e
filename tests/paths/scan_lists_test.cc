#include "paths/scanlists.h"

#include <gtest/gtest.h>

#include <random>
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

// Collapsing by its definition: an entry stays when no other entry of the same kind of drive (type
// and file system), neither on an excluded drive, is a prefix of it as plain text (C:\a covers
// C:\ab; of equal texts the last one stays; case counts; recursive flags play no part); then, of
// the entries left with the same drive type and text, the last one. Excluded flags stay.
TEST(CollapseScanPathsTest, AgreesWithThePrefixDefinition) {
  std::mt19937 rng(7);
  const std::u16string pieces[] = {u"C:\\a", u"C:\\ab",  u"C:\\a\\b",
                                   u"C:\\b", u"C:\\a\\", u"c:\\a\\b"};
  const DriveEntry drives[] = {kFixedNtfs, kFixedFat, kRemote};
  for (int trial = 0; trial < 3000; ++trial) {
    ResolvedPathList list;  // built by copy construction, which keeps the excluded flags
    for (size_t n = rng() % 7; n > 0; --n) {
      list.push_back(on(drives[rng() % 3], pieces[rng() % 6], rng() % 2 == 0, rng() % 5 == 0));
    }
    ResolvedPathList survivors;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::u16string text = list[i].path.path();
      bool covered = false;
      for (size_t j = 0; j < list.size() && !covered; ++j) {
        if (j == i || list[j].drive != list[i].drive || list[j].drive.excluded() ||
            list[i].drive.excluded()) {
          continue;
        }
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
  EXPECT_EQ(collapse({}), Strings{});
}

TEST(PathListBuildersTest, DuplicatesSubtractionAndSelection) {
  PathList list = pathList({u"A", u"B", u"A"});
  EXPECT_TRUE(removeDuplicatePaths(&list));
  EXPECT_EQ(render(list), (Strings{"B", "A"}));
  EXPECT_FALSE(removeDuplicatePaths(&list));
  PathList flags = {PathEntry(u"A", true), PathEntry(u"A", false), PathEntry()};
  EXPECT_FALSE(removeDuplicatePaths(&flags));
  EXPECT_FALSE(removeDuplicatePaths(nullptr));

  PathList paths = {PathEntry(u"keep", false)};
  drivesToPaths({kFixedNtfs, kRemote}, &paths);
  EXPECT_EQ(render(paths), (Strings{"keep", "C:/r", "R:/r"}));
  subtractPaths({PathEntry(u"C:", true), PathEntry(u"D:", true), PathEntry(u"R:", false)},
                {PathEntry(u"C:", true), PathEntry(u"R:", true)}, &paths);
  EXPECT_EQ(render(paths), (Strings{"keep", "C:/r", "R:/r", "D:/r", "R:"}));

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
