#include <gtest/gtest.h>

#include <string>

#include "PathEntry.h"
#include "paths/drive_entry.h"

namespace {

std::u16string text(const char16_t* s) { return s != nullptr ? s : u"(null)"; }

TEST(PathEntryTest, NullPathsCopiesAndExactEquality) {
  char16_t source[] = u"C:\\a";
  PathEntry entry(source, true);
  source[3] = u'b';
  EXPECT_EQ(text(entry.path()), u"C:\\a");
  entry = PathEntry(nullptr, true);
  EXPECT_EQ(entry.path(), nullptr);

  EXPECT_EQ(PathEntry(u"C:\\a", true), PathEntry(u"C:\\a", true));
  EXPECT_NE(PathEntry(u"C:\\a", true), PathEntry(u"C:\\a", false));
  EXPECT_NE(PathEntry(u"C:\\a", true), PathEntry(u"c:\\a", true));
  EXPECT_EQ(PathEntry(), PathEntry(nullptr, false));
  EXPECT_NE(PathEntry(nullptr, true), PathEntry(nullptr, false));
  EXPECT_NE(PathEntry(nullptr, false), PathEntry(u"", false));  // null is not the empty text
}

// Copy construction copies all four fields; assignment copies the strings only as a pair, and
// never the excluded flag, which belongs to the position in the drive list.
TEST(DriveEntryTest, AssignmentCopiesStringsOnlyInPairsAndNeverTheFlag) {
  DriveEntry target(u"C:", DT_FIXED, u"NTFS");
  target.setExcluded(true);
  EXPECT_TRUE(DriveEntry(target).excluded());
  DriveEntry source(u"R:", DT_REMOTE, u"SMB");
  target = source;
  EXPECT_EQ(text(target.drive()) + text(target.fileSystem()), u"R:SMB");
  EXPECT_EQ(target.type(), DT_REMOTE);
  EXPECT_TRUE(target.excluded());
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
  DriveEntry& self = source;
  source = self;
  EXPECT_EQ(text(source.drive()), u"R:");

  // Vector erase shifts elements by assignment: each position keeps its own flag.
  DriveList list = {DriveEntry(u"A:", DT_REMOVABLE, u"FAT"), DriveEntry(u"B:", DT_FIXED, u"NTFS")};
  list[0].setExcluded(true);
  list.erase(list.begin());
  EXPECT_EQ(text(list[0].drive()), u"B:");
  EXPECT_TRUE(list[0].excluded());
}

TEST(DriveEntryTest, EqualityIgnoresOnlyTheFlag) {
  const DriveEntry c(u"C:", DT_FIXED, u"NTFS");
  DriveEntry flagged(c);
  flagged.setExcluded(true);
  EXPECT_EQ(c, flagged);
  for (const DriveEntry& other :
       {DriveEntry(u"C:", DT_REMOTE, u"NTFS"), DriveEntry(u"c:", DT_FIXED, u"NTFS"),
        DriveEntry(u"C:", DT_FIXED, u"ntfs"), DriveEntry(u"C:", DT_FIXED, nullptr)}) {
    EXPECT_NE(c, other);
  }
  EXPECT_NE(DriveEntry(u"C:", DT_FIXED, u""), DriveEntry(u"C:", DT_FIXED, nullptr));
  EXPECT_EQ(DriveEntry(), DriveEntry(nullptr, 0, nullptr));
}

}  // namespace
