#include "platform/posix/mount_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

using platform::internal::MountEntry;

const char kMountInfo[] =
    "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "25 22 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw,size=100k\n"
    "26 22 0:24 / /dev/shm rw,relatime - ramfs none rw\n"
    "30 22 0:40 / /mnt/my\\040share rw,relatime shared:5 master:2 - cifs //host/s rw\n"
    "31 22 0:41 / /mnt/nfs rw - nfs4 host:/export rw\n"
    "32 22 0:42 / /mnt/ssh rw - fuse.sshfs user@host: rw\n"
    "33 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "34 22 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
    "35 22 8:1 / /data rw - xfs /dev/sda1 rw\n"
    "36 22 8:32 / /media/stick rw - exfat /dev/sdc rw\n"
    "this line is not a mount\n"
    "40 22 0:50 / relative rw - tmpfs x rw\n";

MountEntry mountOf(const std::string& path) {
  MountEntry entry;
  EXPECT_TRUE(platform::internal::findMount(kMountInfo, path, &entry)) << path;
  return entry;
}

TEST(MountInfo, ParsesFieldsAroundOptionalOnesAndUnescapesMountPoints) {
  MountEntry entry;
  ASSERT_TRUE(platform::internal::parseMountInfoLine(
      "30 22 0:40 / /mnt/my\\040share\\134x rw,relatime shared:5 master:2 - cifs //h/s rw",
      &entry));
  EXPECT_EQ(entry.mountPoint, "/mnt/my share\\x");
  EXPECT_EQ(entry.fileSystemType, "cifs");
  EXPECT_EQ(entry.deviceMajor, 0u);
  EXPECT_EQ(entry.deviceMinor, 40u);
  EXPECT_FALSE(platform::internal::parseMountInfoLine("", &entry));
  EXPECT_FALSE(platform::internal::parseMountInfoLine("1 2 3:4 / /x rw no-separator", &entry));
  EXPECT_FALSE(platform::internal::parseMountInfoLine("1 2 x:y / /x rw - ext4 d rw", &entry));
  EXPECT_FALSE(platform::internal::parseMountInfoLine("1 2 3:4 / /x rw -", &entry));
}

TEST(MountInfo, PicksTheLongestMountPointAndTheTopmostOfEqualOnes) {
  EXPECT_EQ(mountOf("/").fileSystemType, "ext4");
  EXPECT_EQ(mountOf("/dev/shm/x").fileSystemType, "ramfs");  // mounted over the tmpfs
  EXPECT_EQ(mountOf("/dev/shmem").fileSystemType, "ext4");   // not below /dev/shm
  EXPECT_EQ(mountOf("/mnt/my share/docs").fileSystemType, "cifs");
  EXPECT_EQ(mountOf("/data").fileSystemType, "xfs");
}

TEST(MountInfo, ClassifiesDrivesByFileSystemAndRemovableFlag) {
  // A fake /sys/dev/block: 8:16 is a removable disk whose partition 8:17 has no flag of its own,
  // 8:0 a fixed disk with partition 8:1, 8:32 a removable whole-disk device.
  TempDir sys;
  namespace fs = std::filesystem;
  fs::create_directories(sys.host("devices/sdb/sdb1"));
  fs::create_directories(sys.host("devices/sda/sda1"));
  fs::create_directories(sys.host("devices/sdc"));
  std::ofstream(sys.host("devices/sdb/removable")) << "1\n";
  std::ofstream(sys.host("devices/sda/removable")) << "0\n";
  std::ofstream(sys.host("devices/sdc/removable")) << "1\n";
  fs::create_directories(sys.host("block"));
  fs::create_directory_symlink("../devices/sdb/sdb1", sys.host("block/8:17"));
  fs::create_directory_symlink("../devices/sda/sda1", sys.host("block/8:1"));
  fs::create_directory_symlink("../devices/sdc", sys.host("block/8:32"));
  const std::string block = sys.host("block").string();

  auto typeOf = [&](const std::string& path) {
    return platform::internal::driveTypeOfMount(mountOf(path), block);
  };
  EXPECT_EQ(typeOf("/dev/shm"), platform::kDriveRamdisk);
  EXPECT_EQ(typeOf("/mnt/my share"), platform::kDriveRemote);
  EXPECT_EQ(typeOf("/mnt/nfs"), platform::kDriveRemote);
  EXPECT_EQ(typeOf("/mnt/ssh"), platform::kDriveRemote);
  EXPECT_EQ(typeOf("/media/cdrom"), platform::kDriveCdrom);
  EXPECT_EQ(typeOf("/media/usb"), platform::kDriveRemovable);
  EXPECT_EQ(typeOf("/media/stick"), platform::kDriveRemovable);
  EXPECT_EQ(typeOf("/data"), platform::kDriveFixed);
  EXPECT_EQ(typeOf("/"), platform::kDriveFixed);  // 254:0 has no entry at all

  EXPECT_EQ(platform::internal::fileSystemNameOfMount(mountOf("/mnt/ssh")), "FUSE.SSHFS");
  EXPECT_EQ(platform::internal::fileSystemNameOfMount(mountOf("/")), "EXT4");
}

TEST(MountInfo, FindsTheMountOfARealDirectoryThroughSymbolicLinks) {
  TempDir dir;
  std::filesystem::create_directory_symlink("/dev/shm", dir.host("shm"));
  MountEntry entry;
  ASSERT_TRUE(platform::internal::mountOfDirectory(dir.host("shm").string(), &entry));
  EXPECT_EQ(entry.fileSystemType, "tmpfs");
  EXPECT_FALSE(platform::internal::mountOfDirectory(dir.host("missing").string(), &entry));
}

}  // namespace
