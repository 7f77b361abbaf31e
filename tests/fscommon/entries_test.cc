#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "PathEntry.h"
#include "fscommon/drive_entry.h"

namespace {

std::u16string text(const char16_t* s) { return s != nullptr ? s : u"(null)"; }

TEST(PathEntryTest, NullPathsAndDeepCopies) {
  PathEntry none;
  EXPECT_EQ(none.path(), nullptr);
  EXPECT_FALSE(none.recursive());
  EXPECT_EQ(PathEntry(nullptr, true).path(), nullptr);

  char16_t source[] = u"C:\\a";
  PathEntry entry(source, true);
  source[3] = u'b';
  EXPECT_EQ(text(entry.path()), u"C:\\a");

  PathEntry copy(entry);
  EXPECT_NE(copy.path(), entry.path());
  EXPECT_EQ(copy, entry);
  PathEntry nullCopy(PathEntry(nullptr, true));
  EXPECT_EQ(nullCopy.path(), nullptr);
  copy = nullCopy;
  EXPECT_EQ(copy.path(), nullptr);
  EXPECT_TRUE(copy.recursive());
  copy = entry;
  EXPECT_EQ(text(copy.path()), u"C:\\a");
  PathEntry moved(std::move(copy));
  EXPECT_EQ(moved, entry);
}

TEST(PathEntryTest, EqualityIsExactAndIncludesTheFlag) {
  EXPECT_EQ(PathEntry(u"C:\\a", true), PathEntry(u"C:\\a", true));
  EXPECT_NE(PathEntry(u"C:\\a", true), PathEntry(u"C:\\a", false));
  EXPECT_NE(PathEntry(u"C:\\a", true), PathEntry(u"c:\\a", true));
  EXPECT_EQ(PathEntry(), PathEntry(nullptr, false));
  EXPECT_NE(PathEntry(nullptr, true), PathEntry(nullptr, false));
  EXPECT_NE(PathEntry(nullptr, false), PathEntry(u"", false));  // null is not the empty text

  PathList a = {PathEntry(u"C:\\a", true), PathEntry(nullptr, false)};
  PathList b = a;
  EXPECT_EQ(a, b);
  std::swap(b[0], b[1]);
  EXPECT_NE(a, b);
  b = a;
  b.pop_back();
  EXPECT_NE(a, b);

  StringList s = {u"NTFS", u"FAT32"};
  EXPECT_EQ(s, StringList({u"NTFS", u"FAT32"}));
  EXPECT_NE(s, StringList({u"ntfs", u"FAT32"}));
  EXPECT_NE(s, StringList({u"FAT32", u"NTFS"}));
}

TEST(DriveEntryTest, ConstructionAndCopyConstruction) {
  DriveEntry empty;
  EXPECT_EQ(empty.drive(), nullptr);
  EXPECT_EQ(empty.fileSystem(), nullptr);
  EXPECT_EQ(empty.type(), 0u);
  EXPECT_FALSE(empty.excluded());

  DriveEntry c(u"C:", DT_FIXED, u"NTFS");
  EXPECT_EQ(text(c.drive()), u"C:");
  EXPECT_EQ(text(c.fileSystem()), u"NTFS");
  EXPECT_EQ(c.type(), DT_FIXED);
  EXPECT_FALSE(c.excluded());

  c.setExcluded(true);
  DriveEntry copy(c);  // copies all four fields
  EXPECT_TRUE(copy.excluded());
  EXPECT_EQ(text(copy.drive()), u"C:");
  DriveEntry halfNull(u"D:", DT_CDROM, nullptr);
  DriveEntry halfCopy(halfNull);
  EXPECT_EQ(text(halfCopy.drive()), u"D:");
  EXPECT_EQ(halfCopy.fileSystem(), nullptr);
}

TEST(DriveEntryTest, AssignmentCopiesStringsOnlyInPairsAndNeverTheFlag) {
  DriveEntry target(u"C:", DT_FIXED, u"NTFS");
  target.setExcluded(true);
  DriveEntry source(u"R:", DT_REMOTE, u"SMB");
  target = source;
  EXPECT_EQ(text(target.drive()), u"R:");
  EXPECT_EQ(text(target.fileSystem()), u"SMB");
  EXPECT_EQ(target.type(), DT_REMOTE);
  EXPECT_TRUE(target.excluded());

  source.setExcluded(true);
  DriveEntry fresh(u"X:", DT_FIXED, u"EXT4");
  fresh = source;
  EXPECT_FALSE(fresh.excluded());

  target = DriveEntry(u"E:", DT_REMOVABLE, nullptr);
  EXPECT_EQ(target.drive(), nullptr);
  EXPECT_EQ(target.fileSystem(), nullptr);
  EXPECT_EQ(target.type(), DT_REMOVABLE);
  target = source;
  target = DriveEntry(nullptr, DT_RAMDISK, u"TMPFS");
  EXPECT_EQ(target.drive(), nullptr);
  EXPECT_EQ(target.fileSystem(), nullptr);
  EXPECT_EQ(target.type(), DT_RAMDISK);

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
  DriveEntry c(u"C:", DT_FIXED, u"NTFS");
  DriveEntry flagged(c);
  flagged.setExcluded(true);
  EXPECT_EQ(c, flagged);
  EXPECT_NE(c, DriveEntry(u"C:", DT_REMOTE, u"NTFS"));
  EXPECT_NE(c, DriveEntry(u"c:", DT_FIXED, u"NTFS"));
  EXPECT_NE(c, DriveEntry(u"C:", DT_FIXED, u"ntfs"));
  EXPECT_NE(c, DriveEntry(u"C:", DT_FIXED, nullptr));
  EXPECT_NE(DriveEntry(u"C:", DT_FIXED, u""), DriveEntry(u"C:", DT_FIXED, nullptr));
  EXPECT_EQ(DriveEntry(), DriveEntry(nullptr, 0, nullptr));

  EXPECT_EQ(mdOtherDriveGroup, 25u);
  EXPECT_EQ(mdAllDriveGroup, 31u);
}

}  // namespace
