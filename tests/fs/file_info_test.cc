// FsFileInfo: the mode encoding, both routes of updateInfo (stat on FAT drives, a directory
// search elsewhere), what each route fills, and its failures.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "FsFileInfo.h"
#include "fs/file_mode.h"
#include "platform/platform.h"
#include "support/trace_capture.h"
#include "test_drives.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using platform::kAttrDirectory;
using platform::kAttrHidden;
using platform::kAttrNormal;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

TEST(FileModeTest, FromDirectoryEntryAttributes) {
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"setup.exe", u""), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(kAttrReadOnly | kAttrHidden, u"notes.txt", u""), 0xA892u);
  EXPECT_EQ(modeFromAttributes(kAttrDirectory, u"dir", u""), 0x01B7u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"notes.txt", u""), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"RUN.COM", nullptr), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"", u"PROG~1.EXE"), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"a.exe.txt", u"A.EXE"), 0x21B6u)
      << "the short name counts only when the long name is empty";
  EXPECT_EQ(modeFromAttributes(kAttrSystem, u"pagefile.sys", u""), 0x05B6u);
  EXPECT_EQ(modeFromAttributes(kAttrDirectory | kAttrSystem, u"x", u""), 0x05B7u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, nullptr, nullptr), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u".Exe", u""), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"exe", u""), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"a.exex", u""), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(kAttrNormal, u"a_exe", u""), 0x21B6u);
}

TEST(FileModeTest, FromStatMode) {
  using platform::kStatCharDevice;
  using platform::kStatDirectory;
  using platform::kStatExec;
  using platform::kStatRead;
  using platform::kStatRegular;
  using platform::kStatWrite;
  EXPECT_EQ(modeFromStat(kStatRegular | kStatRead | kStatWrite), 0x21B6u);
  EXPECT_EQ(modeFromStat(kStatRegular | kStatRead | kStatExec), 0x209Au);
  EXPECT_EQ(modeFromStat(kStatDirectory | kStatRead | kStatWrite | kStatExec), 0x01BFu);
  EXPECT_EQ(modeFromStat(kStatCharDevice | kStatRead), 0x4092u);
  EXPECT_EQ(modeFromStat(0), 0u);
}

uint32_t unixSeconds(fs::file_time_type time) {
  const auto system = std::chrono::time_point_cast<std::chrono::seconds>(
      time - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
  return static_cast<uint32_t>(system.time_since_epoch().count());
}

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestDrives::installed()) GTEST_SKIP() << "the platform has no replaceable drive table";
  }
  void TearDown() override {
    if (!TestDrives::installed()) return;
    std::error_code ignored;
    for (const fs::path& root : {TestDrives::fatRoot(), TestDrives::ntfsRoot()}) {
      for (const auto& entry : fs::directory_iterator(root)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(entry.path(), ignored);
      }
    }
  }

  static void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  TraceCapture traces_;
};

TEST_F(FileInfoTest, DirectorySearchRouteOnNtfs) {
  write(TestDrives::ntfsRoot() / "tool.exe", std::string(1234, 'x'));
  FsFileInfo info;
  info.setDirectory(u"N:\\");
  info.setName(u"tool.exe");
  EXPECT_EQ(info.knownMask(), 0u);
  EXPECT_EQ(info.getMode(), 0x23FEu);
  EXPECT_EQ(info.knownMask(), FsFileInfo::kKnownAll);
  EXPECT_EQ(info.getSize(), 1234u);
  EXPECT_EQ(info.drive(), static_cast<uint32_t>('N' - 'A'));
  EXPECT_EQ(info.userId(), 0u);
  EXPECT_EQ(info.groupId(), 0u);
  EXPECT_EQ(info.inode(), 0u);
  EXPECT_EQ(info.linkCount(), 0u);
  const uint32_t written = unixSeconds(fs::last_write_time(TestDrives::ntfsRoot() / "tool.exe"));
  EXPECT_NEAR(info.modificationTime(), written, 1);
  EXPECT_NEAR(info.accessTime(), written, 2);
  EXPECT_NEAR(info.creationTime(), written, 2);
  EXPECT_FALSE(info.hasError());
  EXPECT_STREQ(reinterpret_cast<const char*>(info.textValue()), "0");

  fs::create_directory(TestDrives::ntfsRoot() / "sub");
  FsFileInfo directory;
  directory.setDirectory(u"N:");
  directory.setName(u"sub");
  EXPECT_EQ(directory.getMode(), 0x01B7u);
}

#ifndef _WIN32
TEST_F(FileInfoTest, ReadOnlyHiddenFileOnNtfs) {
  write(TestDrives::ntfsRoot() / ".secret", "s");
  fs::permissions(TestDrives::ntfsRoot() / ".secret",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  FsFileInfo info;
  info.setDirectory(u"n:\\");
  info.setName(u".secret");
  EXPECT_TRUE(info.updateInfo());
  EXPECT_EQ(info.mode(), 0xA892u);
}

TEST_F(FileInfoTest, StatRouteOnFat) {
  const fs::path file = TestDrives::fatRoot() / "run.sh";
  write(file, std::string(77, 'y'));
  fs::permissions(file, fs::perms::owner_all);
  struct stat expected {};
  ASSERT_EQ(stat(file.c_str(), &expected), 0);

  FsFileInfo info;
  info.setDirectory(u"F:\\");
  info.setName(u"run.sh");
  EXPECT_TRUE(info.updateInfo());
  EXPECT_EQ(info.mode(), 0x21BEu);  // regular, read, write, execute from the owner's bits
  EXPECT_EQ(info.size(), 77u);
  EXPECT_EQ(info.drive(), static_cast<uint32_t>('F' - 'A'));
  EXPECT_EQ(info.inode(), static_cast<uint32_t>(expected.st_ino));
  EXPECT_EQ(info.linkCount(), static_cast<uint32_t>(expected.st_nlink));
  EXPECT_EQ(info.userId(), static_cast<uint32_t>(expected.st_uid));
  EXPECT_EQ(info.groupId(), static_cast<uint32_t>(expected.st_gid));
  EXPECT_EQ(info.modificationTime(), static_cast<uint32_t>(expected.st_mtime));
  EXPECT_EQ(info.accessTime(), static_cast<uint32_t>(expected.st_atime));
  EXPECT_EQ(info.creationTime(), static_cast<uint32_t>(expected.st_ctime));
  EXPECT_EQ(info.knownMask(), FsFileInfo::kKnownAll);
}

TEST_F(FileInfoTest, FatSizeIsTheSignExtendedThirtyTwoBitSize) {
  const fs::path file = TestDrives::fatRoot() / "big.bin";
  write(file, "");
  fs::resize_file(file, 0xC0000000ull);  // sparse
  FsFileInfo info;
  info.setDirectory(u"F:\\");
  info.setName(u"big.bin");
  EXPECT_EQ(info.getSize(), 0xFFFFFFFFC0000000ull);

  fs::create_directory(TestDrives::ntfsRoot() / "n");
  fs::create_hard_link(file, TestDrives::ntfsRoot() / "n" / "big.bin");
  FsFileInfo other;
  other.setDirectory(u"N:\\n\\");
  other.setName(u"big.bin");
  EXPECT_EQ(other.getSize(), 0xC0000000ull) << "the directory search reports 64 bits";
}
#endif

TEST_F(FileInfoTest, KnownItemsAreKeptAndNeverFetched) {
  FsFileInfo info;
  info.setDirectory(u"N:\\nowhere");
  info.setName(u"absent");
  info.setMode(0x1234);
  info.setSize(5, 1);
  EXPECT_EQ(info.getMode(), 0x1234u);
  EXPECT_EQ(info.getSize(), 0x100000005ull);
  EXPECT_FALSE(info.hasError());
  EXPECT_TRUE(traces_.messages().empty()) << "no disk access for known items";

  write(TestDrives::ntfsRoot() / "kept.txt", "abc");
  FsFileInfo partly;
  partly.setDirectory(u"N:\\");
  partly.setName(u"kept.txt");
  partly.setMode(0x1234);
  partly.setModificationTime(42);
  EXPECT_TRUE(partly.updateInfo());
  EXPECT_EQ(partly.mode(), 0x1234u);
  EXPECT_EQ(partly.modificationTime(), 42u);
  EXPECT_EQ(partly.size(), 3u);

  partly.clearItems();
  EXPECT_EQ(partly.knownMask(), 0u);
  EXPECT_EQ(partly.size(), 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(partly.name()),
               reinterpret_cast<const char*>(u"kept.txt"));
}

TEST_F(FileInfoTest, FailuresSetTheErrorFlagAndTrace) {
  FsFileInfo noDrive;
  noDrive.setDirectory(u"relative\\dir");
  noDrive.setName(u"x");
  EXPECT_FALSE(noDrive.updateInfo());
  EXPECT_TRUE(noDrive.hasError());
  EXPECT_TRUE(traces_.contains(
      "FsFileInfo::updateInfo - drive specification not found on 'relative\\dir\\x' path\n"));

  FsFileInfo fat;
  fat.setDirectory(u"F:\\");
  fat.setName(u"absent");
  fat.setSize(9, 0);
  EXPECT_FALSE(fat.updateInfo());
  EXPECT_TRUE(fat.hasError());
  EXPECT_EQ(fat.size(), 9u);
  EXPECT_EQ(fat.mode(), 0u);
  EXPECT_EQ(fat.getMode(), 0u);
  EXPECT_TRUE(
      traces_.contains("FsFileInfo::updateInfo - [FAT] stat(...) on 'F:\\absent' path failed!\n"));

  FsFileInfo ntfs;
  ntfs.setDirectory(u"N:\\");
  ntfs.setName(u"absent");
  EXPECT_FALSE(ntfs.updateInfo());
  EXPECT_TRUE(ntfs.hasError());
  EXPECT_TRUE(traces_.contains(
      "FsFileInfo::updateInfo - [NTFS] invalid file handle. Error 2 opening 'N:\\absent' path\n"));

  FsFileInfo unnamed;
  EXPECT_FALSE(unnamed.updateInfo());
  EXPECT_FALSE(unnamed.hasError());
  EXPECT_EQ(unnamed.getSize(), 0u);
  for (const auto& record : traces_.records()) EXPECT_EQ(record.function, "updateInfo");
}

TEST_F(FileInfoTest, NamesOfAnyLengthAreOwnedCopies) {
  const std::u16string longName(600, u'n');
  FsFileInfo info;
  std::u16string name = u"first";
  info.setName(name.c_str());
  name[0] = u'X';
  EXPECT_EQ(std::u16string(info.name()), u"first");
  info.setName(longName.c_str());
  EXPECT_EQ(std::u16string(info.name()), longName);
  info.setName(u"short");
  EXPECT_EQ(std::u16string(info.name()), u"short");
  info.setName(nullptr);
  EXPECT_EQ(info.name(), nullptr);
  info.setDirectory(longName.c_str());
  info.setDirectory(u"");
  EXPECT_EQ(std::u16string(info.directory()), u"");
}

}  // namespace
