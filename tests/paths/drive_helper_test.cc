#include "paths/drivehelper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "paths/paths_test_support.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

namespace {

class DriveListTest : public DriveTableTest {
 protected:
  Strings build(uint32_t mask) {
    DriveList drives;
    EXPECT_TRUE(helper_.buildDriveList(&drives, mask));
    return render(drives);
  }

  DriveHelper helper_;
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
  EXPECT_TRUE(helper_.buildDriveList(&appended, mdRemoteDriveGroup));
  EXPECT_EQ(render(appended), (Strings{"Z: NTFS 2", "R: SMB 4"}));
  EXPECT_TRUE(helper_.buildDriveList(nullptr, mdAllDriveGroup));

  // Skipping the volume query of floppies asks whether the removable drive is one; without an
  // answer its volume is still asked.
  helper_.setSkipFloppyVolumeQuery(true);
  traces.clear();
  EXPECT_EQ(build(DT_REMOVABLE), (Strings{"A: FAT 1"}));
  EXPECT_FALSE(traces.containsText("GetVolumeInformation(...) skipped"));
#ifndef _WIN32
  EXPECT_TRUE(traces.contains("isFloppyDrive: unable to open registry 'SYSTEM\\MountedDevices'"));
#endif
}

TEST_F(DriveListTest, DrivesWithoutRootDirectoryAreNotListed) {
  for (const FixtureDrive& drive : everyDriveType()) {
    std::filesystem::remove_all(drives_.hostRoot(drive.letter));
  }
  EXPECT_TRUE(build(mdAllDriveGroup).empty());
  for (const char16_t* root : {u"C:\\", u"Q:\\", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(driveTypeBit(root), 0u);
  }
}

class UnreadableVolumeTest : public DriveTableTest {
 protected:
  // A file-system name longer than the volume call's 260-character buffer.
  UnreadableVolumeTest() : DriveTableTest({{'E', "cdrom", std::string(300, 'X')}}) {}
};

TEST_F(UnreadableVolumeTest, KeepsTheDriveAsUnknown) {
  DriveHelper helper;
  TraceCapture traces;
  DriveList drives, usable;
  ASSERT_TRUE(helper.buildDriveList(&drives, mdAllDriveGroup));
  EXPECT_EQ(render(drives), (Strings{"E: Unknown 8"}));
  EXPECT_TRUE(traces.contains("DriveHelper::buildDriveList - GetVolumeInformation(...) failed!\n"));
  // An included-file-system list that does not name "Unknown" prunes it.
  helper.fileSystemDriveListPruning(&drives, &usable, {u"CDFS"}, {}, {});
  EXPECT_TRUE(usable.empty());
}

DriveList fixtureLikeDrives() {
  return {DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"NTFS"),
          DriveEntry(u"D:", DT_FIXED, u"FAT32"), DriveEntry(u"R:", DT_REMOTE, u"SMB")};
}

// Only an exclusion of a whole drive, written as a drive-qualified root, prunes the drive and
// marks it excluded. Not: a path below the root, one written before resolution (media prefix,
// token, other case), one with more than one trailing separator, or no drive at all.
TEST(DrivePruningTest, OnlyWholeDriveExclusionsPruneAndMarkTheDrive) {
  const Strings untouched = render(fixtureLikeDrives());
  const Strings marked = {"A: FAT 1", "C: NTFS 2 excluded", "D: FAT32 2", "R: SMB 4"};
  const auto check = [&](const std::u16string& path, bool prunes) {
    SCOPED_TRACE(narrow(path));
    DriveList all = fixtureLikeDrives(), usable;
    TraceCapture traces;
    DriveHelper().fileSystemDriveListPruning(&all, &usable, {}, {},
                                             {PathEntry(path.c_str(), true)});
    EXPECT_EQ(render(all), prunes ? marked : untouched);
    EXPECT_EQ(usable.size(), prunes ? 3u : 4u);
    EXPECT_TRUE(traces.records().empty());
  };
  for (const char16_t* path : {u"C:\\*", u"C:\\", u"C:/", u"C:", u"C:/*"}) check(path, true);
  for (const char16_t* path : {u"C:\\temp", u"$local::C:\\", u"%CSIDL_WINDOWS%", u"c:\\", u"C:\\\\",
                               u"C:\\*\\", u"C", u""}) {
    check(path, false);
  }
  check(std::u16string(300, u'C'), false);
  DriveList all = fixtureLikeDrives(), usable;
  DriveHelper().fileSystemDriveListPruning(&all, &usable, {}, {}, {PathEntry()});
  EXPECT_EQ(render(usable), untouched);
}

TEST(DrivePruningTest, FileSystemListsCompareWithoutCaseAndLeaveTheFlag) {
  DriveHelper helper;
  DriveList all = fixtureLikeDrives(), usable;
  TraceCapture traces;
  helper.fileSystemDriveListPruning(&all, &usable, {u"ntfs", u"Smb"}, {}, {});
  EXPECT_EQ(render(usable), (Strings{"C: NTFS 2", "R: SMB 4"}));
  EXPECT_TRUE(traces.contains(
      "DriveHelper::fileSystemDriveListPruning - drive 'D:' with 'FAT32' fileSystem excluded!\n"));
  EXPECT_EQ(render(all), render(fixtureLikeDrives()));

  usable.clear();
  helper.fileSystemDriveListPruning(&all, &usable, {}, {u"ntfs", u"fat"}, {});
  EXPECT_EQ(render(usable), (Strings{"D: FAT32 2", "R: SMB 4"}));

  // Both lists apply; the file-system test comes first and leaves the flag alone.
  usable.clear();
  helper.fileSystemDriveListPruning(&all, &usable, {u"NTFS", u"FAT32"}, {u"FAT32"},
                                    {PathEntry(u"D:\\", false), PathEntry(u"C:\\", false)});
  EXPECT_TRUE(usable.empty());
  EXPECT_EQ(render(all), (Strings{"A: FAT 1", "C: NTFS 2 excluded", "D: FAT32 2", "R: SMB 4"}));
  helper.fileSystemDriveListPruning(nullptr, &usable, {}, {}, {});
  helper.fileSystemDriveListPruning(&all, nullptr, {}, {}, {});
}

TEST(DriveListMergeTest, SelectDeduplicateAndAppend) {
  DriveHelper helper;
  DriveList all = fixtureLikeDrives(), selected;
  all.push_back(DriveEntry(u"C:", DT_FIXED, u"NTFS"));
  // Selection keeps order and duplicates; enumerating a drive appends it unless unique.
  TraceCapture traces;
  helper.selectDrives(all, DT_FIXED | DT_REMOVABLE, &selected);
  EXPECT_EQ(render(selected), (Strings{"A: FAT 1", "C: NTFS 2", "D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(
      traces.contains("DriveHelper::driveEnumerator - check [D:] drive for symbolik link...\n"));
  helper.selectDrives(all, DT_FIXED, nullptr);
  EXPECT_TRUE(helper.driveEnumerator(all[0], &selected, true));
  EXPECT_EQ(selected.size(), 4u);
  EXPECT_TRUE(helper.driveEnumerator(all[0], &selected, false));
  EXPECT_EQ(selected.size(), 5u);

  // Duplicates keep their last copy.
  DriveList list = {DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"NTFS"),
                    DriveEntry(u"A:", DT_REMOVABLE, u"FAT"),
                    DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"C:", DT_FIXED, u"FAT32")};
  EXPECT_TRUE(helper.removeDuplicateDrives(&list));
  EXPECT_EQ(render(list), (Strings{"C: NTFS 2", "A: FAT 1", "C: FAT32 2"}));
  EXPECT_FALSE(helper.removeDuplicateDrives(&list));
  EXPECT_FALSE(helper.removeDuplicateDrives(nullptr));

  // Unique appending removes the destination's duplicates first; otherwise the source is appended
  // whole, itself included.
  list = {DriveEntry(u"C:", DT_FIXED, u"NTFS"), DriveEntry(u"D:", DT_FIXED, u"FAT32"),
          DriveEntry(u"C:", DT_FIXED, u"NTFS")};
  helper.appendDriveList(list, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2"}));
  EXPECT_TRUE(traces.contains(
      "DriveHelper::appendDriveList - dstDriveList size is 3, srcDriveList size is 3\n"));
  EXPECT_TRUE(traces.contains("DriveHelper::appendDriveList - dstDriveList new size is 2\n"));
  helper.appendDriveList(list, &list, false);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2", "D: FAT32 2", "C: NTFS 2"}));
  helper.appendDriveList(
      {DriveEntry(u"R:", DT_REMOTE, u"SMB"), DriveEntry(u"C:", DT_FIXED, u"NTFS")}, &list, true);
  EXPECT_EQ(render(list), (Strings{"D: FAT32 2", "C: NTFS 2", "R: SMB 4"}));
  helper.appendDriveList(list, nullptr, true);
}

TEST(FindDriveTest, MatchesTheWholeDriveNameWithoutCase) {
  const DriveList drives = fixtureLikeDrives();
  EXPECT_EQ(findDrive(drives, u"C:"), 1);
  EXPECT_EQ(findDrive(drives, u"r:"), 3);
  // A name without ':', a path, or a name longer than every drive name is no drive name.
  for (const char16_t* name :
       {u"Q:", u"C", u"C:\\x", u"C:x:", u":", u"", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(findDrive(drives, name), -1) << narrow(name);
  }
  EXPECT_EQ(findDrive({DriveEntry()}, u"C:"), -1);
}

TEST(FloppyDriveTest, OnlyThreeCharacterRootsAreAsked) {
  TraceCapture traces;
  for (const char16_t* root : {u"A:", u"A:\\x", u"", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(isFloppyDrive(getZrLogFs(), root), 0);
  }
  EXPECT_EQ(traces.records().size(), 4u);
  EXPECT_TRUE(traces.contains("isFloppyDrive: not a drive mount"));
#ifndef _WIN32
  traces.clear();
  EXPECT_EQ(isFloppyDrive(getZrLogFs(), u"A:\\"), 0);
  EXPECT_EQ(traces.messages(),
            (Strings{"isFloppyDrive: unable to open registry 'SYSTEM\\MountedDevices'"}));
#endif
}

}  // namespace
