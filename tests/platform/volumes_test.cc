#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Drives of every kind: C the machine's root, M the tmpfs /dev/shm, N a directory that does not
// exist, F a file, and explicit remote and CD-ROM drives over temporary directories.
class Volumes : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir_.host("remote"));
    fs::create_directory(dir_.host("cd"));
    std::ofstream(dir_.host("file")) << "x";
    const std::string base = dir_.host().string();
    table_ = std::make_unique<ScopedDriveTable>("C:=/;M:=/dev/shm;N:=" + base +
                                                "/missing;F:=" + base + "/file;R:=" + base +
                                                "/remote,remote,SMB;X:=" + base + "/cd,cdrom");
    ASSERT_TRUE(table_->installed());
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
};

TEST_F(Volumes, ListsOnlyDrivesWhoseDirectoryExistsWithWin32LengthRules) {
  const std::u16string expected(u"C:\\\0M:\\\0R:\\\0X:\\\0\0", 17);
  EXPECT_EQ(platform::getLogicalDriveStrings(0, nullptr), 17u);  // needed, final zero included
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(16, buffer), 17u);  // one short: nothing written
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(17, buffer), 16u);  // written, final zero excluded
  EXPECT_EQ(std::u16string(buffer, 17), expected);
  EXPECT_EQ(buffer[17], u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(32, buffer), 16u);

  ScopedDriveTable none("N:=" + dir_.host("missing").string());
  EXPECT_EQ(platform::getLogicalDriveStrings(0, nullptr), 1u);
  EXPECT_EQ(platform::getLogicalDriveStrings(1, buffer), 0u);
  EXPECT_EQ(buffer[0], 0);
}

TEST_F(Volumes, DriveTypesComeFromTheTableOrTheMount) {
  EXPECT_EQ(platform::getDriveType(u"M:\\"), platform::kDriveRamdisk);
  EXPECT_EQ(platform::getDriveType(u"m:"), platform::kDriveRamdisk);
  EXPECT_EQ(platform::getDriveType(u"M:/"), platform::kDriveRamdisk);
  EXPECT_EQ(platform::getDriveType(u"R:\\"), platform::kDriveRemote);
  EXPECT_EQ(platform::getDriveType(u"X:\\"), platform::kDriveCdrom);
  const uint32_t rootType = platform::getDriveType(u"C:\\");
  EXPECT_TRUE(rootType == platform::kDriveFixed || rootType == platform::kDriveRemovable)
      << rootType;
  EXPECT_EQ(platform::getDriveType(u"N:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::getDriveType(u"F:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::getDriveType(u"Q:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::getDriveType(u"M:\\sub"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::getDriveType(u""), platform::kDriveNoRootDir);
  ScopedCurrentDirectory current("/dev/shm");
  EXPECT_EQ(platform::getDriveType(nullptr), platform::kDriveRamdisk);
}

TEST_F(Volumes, VolumeInformationNamesTheFileSystem) {
  platform::VolumeInformation shm;
  ASSERT_TRUE(platform::getVolumeInformation(u"M:\\", &shm));
  EXPECT_EQ(shm.fileSystemName, u"TMPFS");
  EXPECT_EQ(shm.maximumComponentLength, 255u);
  EXPECT_TRUE(shm.volumeName.empty());

  platform::VolumeInformation root;
  ASSERT_TRUE(platform::getVolumeInformation(u"C:\\", &root));
  ASSERT_FALSE(root.fileSystemName.empty());
  for (char16_t c : root.fileSystemName) EXPECT_FALSE(c >= u'a' && c <= u'z');
  EXPECT_NE(root.fileSystemName, u"TMPFS");
  EXPECT_NE(root.serialNumber, shm.serialNumber);

  platform::VolumeInformation remote;
  ASSERT_TRUE(platform::getVolumeInformation(u"r:", &remote));
  EXPECT_EQ(remote.fileSystemName, u"SMB");

  platform::VolumeInformation missing;
  platform::setLastError(0);
  EXPECT_FALSE(platform::getVolumeInformation(u"N:\\", &missing));
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::getVolumeInformation(u"Q:\\", &missing));
  EXPECT_FALSE(platform::getVolumeInformation(u"M:\\", nullptr));
}

}  // namespace
