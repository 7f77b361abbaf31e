#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FsFileInfo.h"
#include "fs/file_mode.h"
#include "platform/platform.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
namespace p = platform;
using Items = std::vector<uint64_t>;

TEST(FileModeTest, FromDirectoryEntryAttributesAndFromStat) {
  EXPECT_EQ(modeFromAttributes(p::kAttrReadOnly | p::kAttrHidden, u"notes.txt", u""), 0xA892u);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u"RUN.COM", nullptr), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u"", u"PROG~1.EXE"), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u"a.exe.txt", u"A.EXE"), 0x21B6u)
      << "the short name counts only when the long name is empty";
  EXPECT_EQ(modeFromAttributes(p::kAttrDirectory | p::kAttrSystem, u"x", u""), 0x05B7u);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, nullptr, nullptr), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u".Exe", u""), 0x23FEu);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u"exe", u""), 0x21B6u);
  EXPECT_EQ(modeFromAttributes(p::kAttrNormal, u"a.exex", u""), 0x21B6u);

  EXPECT_EQ(modeFromStat(p::kStatRegular | p::kStatRead | p::kStatWrite), 0x21B6u);
  EXPECT_EQ(modeFromStat(p::kStatRegular | p::kStatRead | p::kStatExec), 0x209Au);
  EXPECT_EQ(modeFromStat(p::kStatDirectory | p::kStatRead | p::kStatWrite | p::kStatExec), 0x01BFu);
  EXPECT_EQ(modeFromStat(p::kStatCharDevice | p::kStatRead), 0x4092u);
  EXPECT_EQ(modeFromStat(0), 0u);
}

uint32_t unixSeconds(fs::file_time_type time) {
  const auto system = std::chrono::time_point_cast<std::chrono::seconds>(
      time - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
  return static_cast<uint32_t>(system.time_since_epoch().count());
}

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PROCESS_DRIVES(); }
  static void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::unique_ptr<FsFileInfo> info(const char16_t* directory, const char16_t* name) {
    auto info = std::make_unique<FsFileInfo>();
    info->setDirectory(directory);
    info->setName(name);
    return info;
  }

  TraceCapture traces_;
};

TEST_F(FileInfoTest, DirectorySearchRouteOnNtfs) {
  const fs::path ntfs = processDrives().hostRoot('N');
  write(ntfs / "tool.exe", std::string(1234, 'x'));
  auto tool = info(u"N:\\", u"tool.exe");
  EXPECT_EQ(
      (std::vector<uint64_t>{tool->getMode(), tool->knownMask(), tool->getSize(), tool->drive(),
                             tool->userId() | tool->groupId() | tool->inode() | tool->linkCount()}),
      (std::vector<uint64_t>{0x23FE, FsFileInfo::kKnownAll, 1234, 'N' - 'A', 0}));
  const uint32_t written = unixSeconds(fs::last_write_time(ntfs / "tool.exe"));
  EXPECT_NEAR(tool->modificationTime(), written, 1);
  EXPECT_NEAR(tool->accessTime(), written, 2);
  EXPECT_NEAR(tool->creationTime(), written, 2);
  EXPECT_FALSE(tool->hasError());
  EXPECT_STREQ(reinterpret_cast<const char*>(tool->textValue()), "0");

  fs::create_directory(ntfs / "sub");
  EXPECT_EQ(info(u"N:", u"sub")->getMode(), 0x01B7u);
#ifndef _WIN32
  write(ntfs / ".secret", "s");  // hidden by its leading dot
  fs::permissions(ntfs / ".secret",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(info(u"n:\\", u".secret")->getMode(), 0xA892u);
#endif
}

#ifndef _WIN32
TEST_F(FileInfoTest, StatRouteAndSizeOnFat) {
  const fs::path file = processDrives().hostRoot('F') / "run.sh";
  write(file, std::string(77, 'y'));
  fs::permissions(file, fs::perms::owner_all);
  struct stat expected {};
  ASSERT_EQ(stat(file.c_str(), &expected), 0);

  auto run = info(u"F:\\", u"run.sh");
  EXPECT_TRUE(run->updateInfo());
  // The mode: regular, read, write, execute from the owner's bits; the stat fields cut to 32 bits.
  EXPECT_EQ((Items{run->knownMask(), run->mode(), run->size(), run->drive(), run->inode(),
                   run->linkCount(), run->userId(), run->groupId(), run->modificationTime(),
                   run->accessTime(), run->creationTime()}),
            (Items{FsFileInfo::kKnownAll, 0x21BE, 77, 'F' - 'A', uint32_t(expected.st_ino),
                   uint32_t(expected.st_nlink), expected.st_uid, expected.st_gid,
                   uint32_t(expected.st_mtime), uint32_t(expected.st_atime),
                   uint32_t(expected.st_ctime)}));

  // FAT: the size is the sign-extended 32-bit size; a search gives 64 bits.
  const fs::path big = processDrives().hostRoot('F') / "big.bin";
  write(big, "");
  fs::resize_file(big, 0xC0000000ull);  // sparse
  EXPECT_EQ(info(u"F:\\", u"big.bin")->getSize(), 0xFFFFFFFFC0000000ull);
  fs::create_directory(processDrives().hostRoot('N') / "n");
  fs::create_hard_link(big, processDrives().hostRoot('N') / "n" / "big.bin");
  EXPECT_EQ(info(u"N:\\n\\", u"big.bin")->getSize(), 0xC0000000ull);
}
#endif

TEST_F(FileInfoTest, KnownItemsAreKeptNamesAreOwnedCopiesAndFailuresSetTheErrorFlag) {
  auto absent = info(u"N:\\nowhere", u"absent");
  absent->setMode(0x1234);
  absent->setSize(5, 1);
  EXPECT_EQ((Items{absent->getMode(), absent->getSize(), absent->hasError()}),
            (Items{0x1234, 0x100000005ull, false}));
  EXPECT_TRUE(traces_.messages().empty()) << "no disk access for known items";

  write(processDrives().hostRoot('N') / "kept.txt", "abc");
  auto partly = info(u"N:\\", u"kept.txt");
  partly->setMode(0x1234);
  partly->setModificationTime(42);
  EXPECT_TRUE(partly->updateInfo());
  EXPECT_EQ((Items{partly->mode(), partly->modificationTime(), partly->size()}),
            (Items{0x1234, 42, 3}));
  // Names are owned copies of any length.
  const std::u16string longName(600, u'n');
  std::u16string name = u"first";
  FsFileInfo named;
  named.setName(name.c_str());
  name[0] = u'X';
  EXPECT_EQ(std::u16string(named.name()), u"first");
  named.setName(longName.c_str());
  named.setDirectory(longName.c_str());
  EXPECT_EQ(std::u16string(named.name()) + named.directory(), longName + longName);
  named.setName(nullptr);
  EXPECT_EQ(named.name(), nullptr);

  // Failures set the error flag and trace why.
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"relative\\dir",
       "FsFileInfo::updateInfo - drive specification not found on 'relative\\dir\\absent' path\n"},
      {u"F:\\", "FsFileInfo::updateInfo - [FAT] stat(...) on 'F:\\absent' path failed!\n"},
      {u"N:\\",
       "FsFileInfo::updateInfo - [NTFS] invalid file handle. Error 2 opening 'N:\\absent' path\n"},
  };
  for (const auto& [directory, trace] : cases) {
    auto missing = info(directory, u"absent");
    missing->setSize(9, 0);
    EXPECT_FALSE(missing->updateInfo());
    EXPECT_EQ((Items{missing->hasError(), missing->size(), missing->getMode()}),
              (Items{true, 9, 0}));
    EXPECT_TRUE(traces_.contains(trace)) << trace;
  }
  FsFileInfo unnamed;
  EXPECT_EQ((Items{unnamed.updateInfo(), unnamed.hasError(), unnamed.getSize()}), (Items{0, 0, 0}));
  for (const auto& record : traces_.records()) EXPECT_EQ(record.function, "updateInfo");
}

}  // namespace
