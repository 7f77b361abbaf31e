#include "paths/drivehelper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "paths/paths_test_support.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

namespace {

// Copy construction copies all four fields; assignment copies the strings only as a pair, and
// never the excluded flag, which belongs to the position in the drive list; equality ignores it.
TEST(DriveEntryTest, AssignmentCopiesStringsInPairsAndEqualityIgnoresTheFlag) {
  DriveEntry target(u"C:", DT_FIXED, u"NTFS");
  target.setExcluded(true);
  EXPECT_TRUE(DriveEntry(target).excluded());
  EXPECT_EQ(DriveEntry(u"C:", DT_FIXED, u"NTFS"), target);
  DriveEntry source(u"R:", DT_REMOTE, u"SMB");
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
    EXPECT_EQ(target.drive(), nullptr);
    EXPECT_EQ(target.fileSystem(), nullptr);
    EXPECT_EQ(target.type(), halfNull.type());
  }

  // Null is not the empty text.
  EXPECT_NE(DriveEntry(u"C:", DT_FIXED, u""), DriveEntry(u"C:", DT_FIXED, nullptr));
  EXPECT_NE(PathEntry(nullptr, false), PathEntry(u"", false));
}

class DriveListTest : public DriveTableTest {
 protected:
  Strings build(uint32_t mask) {
    DriveList drives;
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
  DriveList appended = {DriveEntry(u"Z:", DT_FIXED, u"NTFS")};
  EXPECT_TRUE(DriveHelper().buildDriveList(&appended, mdRemoteDriveGroup));
  EXPECT_EQ(render(appended), (Strings{"Z: NTFS 2", "R: SMB 4"}));

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

DriveList fixtureLikeDrives() {
  return {DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"NTFS"),
          DriveEntry(u"D:", DT_FIXED, u"FAT32"), DriveEntry(u"R:", DT_REMOTE, u"SMB")};
}

// Only an exclusion of a whole drive, written as a drive-qualified root, prunes the drive and
// marks it excluded. Not: a path below the root, one written before resolution (media prefix,
// token, other case), one with more than one trailing separator, or no drive at all.
TEST(DrivePruningTest, WholeDriveExclusionsAndFileSystemLists) {
  const Strings untouched = render(fixtureLikeDrives());
  const std::vector<const char16_t*> pruning = {u"C:\\*", u"C:\\", u"C:/", u"C:", u"C:/*"};
  const std::vector<const char16_t*> keeping = {
      u"C:\\temp", u"$local::C:\\", u"%CSIDL_WINDOWS%", u"c:\\", u"C:\\\\", u"C:\\*\\", u"C", u""};
  for (bool prunes : {true, false}) {
    for (const char16_t* path : prunes ? pruning : keeping) {
      DriveList all = fixtureLikeDrives(), usable;
      TraceCapture traces;
      DriveHelper().fileSystemDriveListPruning(&all, &usable, {}, {}, {PathEntry(path, true)});
      EXPECT_EQ(render(all)[1], prunes ? "C: NTFS 2 excluded" : untouched[1]) << narrow(path);
      EXPECT_EQ(usable.size(), prunes ? 3u : 4u) << narrow(path);
      EXPECT_TRUE(traces.records().empty());
    }
  }

  DriveHelper helper;
  DriveList all = fixtureLikeDrives(), usable;
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
  DriveList all = fixtureLikeDrives(), selected;
  all.push_back(DriveEntry(u"C:", DT_FIXED, u"NTFS"));
  TraceCapture traces;
  helper.selectDrives(all, DT_FIXED | DT_REMOVABLE, &selected);  // keeps order and duplicates
  EXPECT_EQ(render(selected), (Strings{"A: FAT 1", "C: NTFS 2", "D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(
      traces.contains("DriveHelper::driveEnumerator - check [D:] drive for symbolik link...\n"));
  EXPECT_TRUE(helper.driveEnumerator(all[0], &selected, true));
  EXPECT_EQ(selected.size(), 4u);

  DriveList list = {DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"NTFS"),
                    DriveEntry(u"A:", DT_REMOVABLE, u"FAT"),
                    DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"FAT32")};
  EXPECT_TRUE(helper.removeDuplicateDrives(&list));  // the last copy stays
  EXPECT_EQ(render(list), (Strings{"C: NTFS 2", "A: FAT 1", "C: FAT32 2"}));
  EXPECT_FALSE(helper.removeDuplicateDrives(&list));
  // Appending removes the destination's duplicates first; unique skips what it holds.
  list = {DriveEntry(u"C:", DT_FIXED, u"NTFS"), DriveEntry(u"D:", DT_FIXED, u"FAT32"),
          DriveEntry(u"C:", DT_FIXED, u"NTFS")};
  helper.appendDriveList(list, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(traces.contains(
      "DriveHelper::appendDriveList - dstDriveList size is 3, srcDriveList size is 3\n"));
  EXPECT_TRUE(traces.contains("DriveHelper::appendDriveList - dstDriveList new size is 2\n"));
  helper.appendDriveList(list, &list, false);
  EXPECT_EQ(list.size(), 4u);
  helper.appendDriveList(
      {DriveEntry(u"R:", DT_REMOTE, u"SMB"), DriveEntry(u"C:", DT_FIXED, u"NTFS")}, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2", "R: SMB 4"}));

  // findDrive: the whole drive name, without case; no ':' at the end is no drive name.
  EXPECT_EQ(findDrive(all, u"C:"), 1);
  EXPECT_EQ(findDrive(all, u"r:"), 3);
  for (const char16_t* name : {u"Q:", u"C", u"C:\\x", u"C:x:", u":", u""}) {
    EXPECT_EQ(findDrive(all, name), -1) << narrow(name);
  }
  EXPECT_EQ(findDrive({DriveEntry()}, u"C:"), -1);
}

}  // namespace
