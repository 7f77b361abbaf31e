// Drive entries, drive lists (the volumes of the mask, pruning, merging) and the scan-path lists
// built from resolved paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "paths/drivehelper.h"
#include "paths/paths_test_support.h"
#include "paths/scanlists.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

namespace {

const DriveEntry kFloppy(u"A:", DT_REMOVABLE, u"FAT");
const DriveEntry kFixedNtfs(u"C:", DT_FIXED, u"NTFS");
const DriveEntry kFixedFat(u"D:", DT_FIXED, u"FAT32");
const DriveEntry kRemote(u"R:", DT_REMOTE, u"SMB");
const DriveList kFixtureLike = {kFloppy, kFixedNtfs, kFixedFat, kRemote};

// Copy construction copies all four fields; assignment copies the strings only as a pair, and
// never the excluded flag, which belongs to the position in the drive list; equality ignores it.
TEST(DriveEntryTest, AssignmentCopiesStringsInPairsAndEqualityIgnoresTheFlag) {
  DriveEntry target(u"C:", DT_FIXED, u"NTFS");
  target.setExcluded(true);
  EXPECT_TRUE(DriveEntry(target).excluded());
  EXPECT_EQ(kFixedNtfs, target);
  DriveEntry source = kRemote;
  target = source;
  EXPECT_EQ(render(DriveList{target}), Strings{"R: SMB 4 excluded"});
  source.setExcluded(true);
  DriveEntry fresh(u"X:", DT_FIXED, u"EXT4");
  fresh = source;
  EXPECT_FALSE(fresh.excluded());
  for (const DriveEntry& halfNull :
       {DriveEntry(u"E:", DT_REMOVABLE, nullptr), DriveEntry(nullptr, DT_RAMDISK, u"TMPFS")}) {
    target = source;
    target = halfNull;
    EXPECT_EQ(render(DriveList{target})[0],
              "(null) (null) " + std::to_string(halfNull.type()) + " excluded");
  }

  // Null is not the empty text.
  EXPECT_NE(DriveEntry(u"C:", DT_FIXED, u""), DriveEntry(u"C:", DT_FIXED, nullptr));
  EXPECT_NE(PathEntry(nullptr, false), PathEntry(u"", false));
}

class DriveListTest : public DriveTableTest {
 protected:
  // The drives of the mask, appended to drives.
  Strings build(uint32_t mask, DriveList drives = {}) {
    EXPECT_TRUE(DriveHelper().buildDriveList(&drives, mask));
    return render(drives);
  }
};

TEST_F(DriveListTest, ListsDrivesOfTheMaskInTableOrder) {
  TraceCapture traces;
  EXPECT_EQ(build(mdAllDriveGroup), (Strings{"A: FAT 1", "C: NTFS 2", "D: FAT32 2", "E: CDFS 8",
                                             "M: TMPFS 16", "R: SMB 4"}));
  // Six roots of four characters and the closing zero.
  EXPECT_TRUE(traces.contains("DriveHelper::buildDriveList - drivesBufferLen = 25 (characters)\n"));
  EXPECT_TRUE(traces.contains("DriveHelper::buildDriveList - check for drive 'E:\\'...\n"));
  EXPECT_TRUE(traces.contains("DriveHelper::buildDriveList - drive: R:\\ (SMB), 4\n"));
  EXPECT_EQ(build(mdLocalDriveGroup), (Strings{"C: NTFS 2", "D: FAT32 2"}));
  EXPECT_EQ(build(mdOtherDriveGroup), (Strings{"A: FAT 1", "E: CDFS 8", "M: TMPFS 16"}));
  EXPECT_TRUE(build(0).empty());
  EXPECT_EQ(build(mdRemoteDriveGroup, {DriveEntry(u"Z:", DT_FIXED, u"NTFS")}),
            (Strings{"Z: NTFS 2", "R: SMB 4"}));

  // Drives whose root directory is gone are not listed.
  for (const FixtureDrive& drive : everyDriveType()) {
    std::filesystem::remove_all(drives_.hostRoot(drive.letter));
  }
  EXPECT_TRUE(build(mdAllDriveGroup).empty());
  EXPECT_EQ(driveTypeBit(u"C:\\") + driveTypeBit(nullptr), 0u);

  // A file-system name longer than the volume call's 260-character buffer: the drive is kept as
  // unknown, and an included-file-system list that does not name "Unknown" prunes it.
  ScopedDriveTable unreadable({{'E', "cdrom", std::string(300, 'X')}});
  EXPECT_EQ(build(mdAllDriveGroup), (Strings{"E: Unknown 8"}));
  EXPECT_TRUE(traces.contains("DriveHelper::buildDriveList - GetVolumeInformation(...) failed!\n"));
  DriveList drives, usable;
  ASSERT_TRUE(DriveHelper().buildDriveList(&drives, mdAllDriveGroup));
  DriveHelper().fileSystemDriveListPruning(&drives, &usable, {u"CDFS"}, {}, {});
  EXPECT_TRUE(usable.empty());
}

// Only an exclusion of a whole drive, written as a drive-qualified root, prunes the drive and
// marks it excluded. Not: a path below the root, one written before resolution (media prefix,
// token, other case), one with more than one trailing separator, or no drive at all.
TEST(DrivePruningTest, WholeDriveExclusionsAndFileSystemLists) {
  const Strings untouched = render(kFixtureLike);
  const std::vector<const char16_t*> pruning = {u"C:\\*", u"C:\\", u"C:/", u"C:", u"C:/*"};
  const std::vector<const char16_t*> keeping = {
      u"C:\\temp", u"$local::C:\\", u"%CSIDL_WINDOWS%", u"c:\\", u"C:\\\\", u"C:\\*\\", u"C", u""};
  for (bool prunes : {true, false}) {
    for (const char16_t* path : prunes ? pruning : keeping) {
      DriveList all = kFixtureLike, usable;
      TraceCapture traces;
      DriveHelper().fileSystemDriveListPruning(&all, &usable, {}, {}, {PathEntry(path, true)});
      EXPECT_EQ(render(all)[1], prunes ? "C: NTFS 2 excluded" : untouched[1]) << narrow(path);
      EXPECT_EQ(usable.size(), prunes ? 3u : 4u) << narrow(path);
      EXPECT_TRUE(traces.records().empty());
    }
  }

  DriveHelper helper;
  DriveList all = kFixtureLike, usable;
  TraceCapture traces;
  helper.fileSystemDriveListPruning(&all, &usable, {u"ntfs", u"Smb"}, {}, {PathEntry()});
  EXPECT_EQ(render(usable), (Strings{"C: NTFS 2", "R: SMB 4"}));
  EXPECT_TRUE(traces.contains(
      "DriveHelper::fileSystemDriveListPruning - drive 'D:' with 'FAT32' fileSystem excluded!\n"));
  usable.clear();
  helper.fileSystemDriveListPruning(&all, &usable, {}, {u"ntfs", u"fat"}, {});
  EXPECT_EQ(render(usable), (Strings{"D: FAT32 2", "R: SMB 4"}));
  // Both lists apply; the file-system test comes first and leaves the flag alone.
  usable.clear();
  helper.fileSystemDriveListPruning(&all, &usable, {u"NTFS", u"FAT32"}, {u"FAT32"},
                                    {PathEntry(u"D:\\", false), PathEntry(u"C:\\", false)});
  EXPECT_TRUE(usable.empty());
  EXPECT_EQ(render(all), (Strings{"A: FAT 1", "C: NTFS 2 excluded", "D: FAT32 2", "R: SMB 4"}));
}

TEST(DriveListMergeTest, SelectDeduplicateAppendAndFind) {
  DriveHelper helper;
  DriveList all = kFixtureLike, selected;
  all.push_back(kFixedNtfs);
  TraceCapture traces;
  helper.selectDrives(all, DT_FIXED | DT_REMOVABLE, &selected);  // keeps order and duplicates
  EXPECT_EQ(render(selected), (Strings{"A: FAT 1", "C: NTFS 2", "D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(
      traces.contains("DriveHelper::driveEnumerator - check [D:] drive for symbolik link...\n"));
  EXPECT_TRUE(helper.driveEnumerator(all[0], &selected, true));
  EXPECT_EQ(selected.size(), 4u);

  DriveList list = {kFloppy, kFixedNtfs, kFloppy, kFloppy, DriveEntry(u"C:", DT_FIXED, u"FAT32")};
  EXPECT_TRUE(helper.removeDuplicateDrives(&list));  // the last copy stays
  EXPECT_EQ(render(list), (Strings{"C: NTFS 2", "A: FAT 1", "C: FAT32 2"}));
  EXPECT_FALSE(helper.removeDuplicateDrives(&list));
  // Appending removes the destination's duplicates first; unique skips what it holds.
  list = {kFixedNtfs, kFixedFat, kFixedNtfs};
  helper.appendDriveList(list, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(traces.contains(
      "DriveHelper::appendDriveList - dstDriveList size is 3, srcDriveList size is 3\n"));
  EXPECT_TRUE(traces.contains("DriveHelper::appendDriveList - dstDriveList new size is 2\n"));
  helper.appendDriveList(list, &list, false);
  EXPECT_EQ(list.size(), 4u);
  helper.appendDriveList({kRemote, kFixedNtfs}, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2", "R: SMB 4"}));

  // findDrive: the whole drive name, without case; no ':' at the end is no drive name.
  EXPECT_EQ(findDrive(all, u"C:"), 1);
  EXPECT_EQ(findDrive(all, u"r:"), 3);
  for (const char16_t* name : {u"Q:", u"C", u"C:\\x", u"C:x:", u":", u""}) {
    EXPECT_EQ(findDrive(all, name), -1) << narrow(name);
  }
  EXPECT_EQ(findDrive({DriveEntry()}, u"C:"), -1);
}

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

TEST(PathListBuildersTest, DuplicatesSelectionAndPathsOnTheScanPathsDrive) {
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
