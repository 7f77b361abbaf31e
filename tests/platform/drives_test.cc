// Drives on POSIX: the drive table, the mount table behind drive types, and the volume calls.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/mount_info.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::internal::DriveSpec;
using platform::internal::DriveTable;
using platform::internal::MountEntry;

TEST(DriveTable, ParsesEntriesInLetterOrderAndFindsTheHolderWithTheLongestRoot) {
  DriveTable table;
  std::string problem;
  ASSERT_TRUE(
      DriveTable::parse(" r:=/mnt/share/,REMOTE,SMB ; "
                        "c:=/;;D:=//srv/./data/../data2;X:=/cd,cdrom;M:=/m,,MYFS;",
                        &table, &problem))
      << problem;
  std::string seen;
  for (const DriveSpec& drive : table.drives()) {
    seen += std::string(1, drive.letter) + "=" + drive.root + "," + std::to_string(drive.type) +
            "," + drive.fileSystem + ";";
  }
  EXPECT_EQ(seen, "C=/,0,;D=/srv/data2,0,;M=/m,0,MYFS;R=/mnt/share,4,SMB;X=/cd,5,;");
  EXPECT_EQ(table.find(u'r'), &table.drives()[3]);
  ASSERT_TRUE(DriveTable::parse("A:=/a,removable;B:=/b,fixed;Z:=/z,ramdisk", &table, &problem));
  EXPECT_EQ(table.find(u'a')->type, platform::kDriveRemovable);
  EXPECT_EQ(table.find(u'B')->type, platform::kDriveFixed);
  EXPECT_EQ(table.find(u'Z')->type, platform::kDriveRamdisk);

  for (const char* text : {"", " ; ;", "C:=/;c:=/tmp", "C:=relative/dir", "C:=", "1:=/", "CD:=/",
                           "C=/", "C:/", "C:=/x,floppy", "C:=/x,fixed,NTFS,more"}) {
    problem.clear();
    EXPECT_FALSE(DriveTable::parse(text, &table, &problem)) << text;
    EXPECT_FALSE(problem.empty()) << text;
  }
  EXPECT_FALSE(DriveTable::parse(nullptr, &table, &problem));

  // The holder of a path has the longest root; the roots inside a directory are listed.
  ASSERT_TRUE(DriveTable::parse("C:=/;D:=/srv;E:=/srv/data;F:=/srv/data;G:=/srv/data/deep/g",
                                &table, &problem));
  std::string rest;
  EXPECT_EQ(table.holder("/srv/data/x/y", &rest)->letter, 'E');  // E before F on equal roots
  EXPECT_EQ(rest, "x/y");
  EXPECT_EQ(table.holder("/srv/data", &rest)->letter, 'E');
  EXPECT_EQ(rest, "");
  EXPECT_EQ(table.holder("/srv/database", &rest)->letter, 'D');  // component boundary
  EXPECT_EQ(rest, "database");
  EXPECT_EQ(table.holder("/etc", &rest)->letter, 'C');

  EXPECT_EQ(table.rootNamesIn("/"), (std::vector<std::string>{"srv"}));
  EXPECT_EQ(table.rootNamesIn("/srv"), (std::vector<std::string>{"data", "data"}));
  EXPECT_TRUE(table.rootNamesIn("/srv/data").empty());  // g lies deeper
  EXPECT_TRUE(table.isRootOfOtherDrive(u'C', "/srv/data"));
  EXPECT_TRUE(table.isRootOfOtherDrive(u'E', "/srv/data"));  // F has that root too
  EXPECT_FALSE(table.isRootOfOtherDrive(u'D', "/srv"));
  ASSERT_TRUE(DriveTable::parse("D:=/srv", &table, &problem));
  EXPECT_EQ(table.holder("/etc", &rest), nullptr);
}

// The environment is read once per process, so these cases run in fresh copies of this
// program: the child role below prints the table it sees, twice.
TEST(DriveTable, ChildRolePrintsTheEnvironmentTable) {
  if (std::getenv("FSCANNER_TEST_PRINT_DRIVES") == nullptr) GTEST_SKIP() << "child role only";
  for (int round = 0; round < 2; ++round) {  // a second read must not repeat the message
    for (const DriveSpec& drive : platform::internal::currentDriveTable()->drives()) {
      std::printf("[%c=%s]", drive.letter, drive.root.c_str());
    }
  }
  std::printf("\n");
}

std::string runChildWithDrives(const char* drives) {
  std::string command = "env -u FSCANNER_DRIVES FSCANNER_TEST_PRINT_DRIVES=1 ";
  if (drives != nullptr) command += std::string("FSCANNER_DRIVES='") + drives + "' ";
  command += std::filesystem::read_symlink("/proc/self/exe").string() +
             " --gtest_filter=DriveTable.ChildRolePrintsTheEnvironmentTable 2>&1";
  std::string output;
  if (FILE* child = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, child)) > 0) output.append(buffer, count);
    pclose(child);
  }
  return output;
}

TEST(DriveTable, ReadsTheEnvironmentOnceFallsBackToTheDefaultAndYieldsToATestTable) {
  const std::string good = runChildWithDrives("D:=/srv;C:=/");
  EXPECT_NE(good.find("[C=/][D=/srv][C=/][D=/srv]"), std::string::npos) << good;
  EXPECT_EQ(good.find("fscanner:"), std::string::npos) << good;
  EXPECT_NE(runChildWithDrives(nullptr).find("[C=/][C=/]\n"), std::string::npos);
  const std::string bad = runChildWithDrives("C:=/;C:=/tmp");
  EXPECT_NE(bad.find("[C=/][C=/]\n"), std::string::npos) << bad;
  const size_t first = bad.find("fscanner: invalid FSCANNER_DRIVES");
  ASSERT_NE(first, std::string::npos) << bad;
  EXPECT_EQ(bad.find("fscanner:", first + 1), std::string::npos) << "reported once: " << bad;
  EXPECT_NE(bad.find("using C:=/"), std::string::npos) << bad;

  const auto before = platform::internal::currentDriveTable();
  {
    ScopedDriveTable table("Q:=/tmp");
    EXPECT_FALSE(platform::testing::setDriveTable("bad"));  // unchanged on invalid text
    const auto held = platform::internal::currentDriveTable();
    EXPECT_NE(held->find(u'Q'), nullptr);
    ASSERT_TRUE(platform::testing::setDriveTable("R:=/"));
    EXPECT_NE(held->find(u'Q'), nullptr);  // a table a caller holds stays intact
  }
  EXPECT_EQ(platform::internal::currentDriveTable(), before);
}

const char kMountInfo[] =
    "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "25 22 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw,size=100k\n"
    "26 22 0:24 / /dev/shm rw,relatime - ramfs none rw\n"
    "30 22 0:40 / /mnt/my\\040share\\134x rw,relatime shared:5 master:2 - cifs //h/s rw\n"
    "31 22 0:41 / /mnt/nfs rw - nfs4 host:/export rw\n"
    "32 22 0:42 / /mnt/ssh rw - fuse.sshfs user@host: rw\n"
    "33 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "34 22 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
    "35 22 8:1 / /data rw - xfs /dev/sda1 rw\n"
    "36 22 8:32 / /media/stick rw - exfat /dev/sdc rw\n"
    "1 2 3:4 / /x rw no-separator\n"
    "1 2 x:y / /y rw - ext4 d rw\n";

MountEntry mountOf(const std::string& path) {
  MountEntry entry;
  EXPECT_TRUE(platform::internal::findMount(kMountInfo, path, &entry)) << path;
  return entry;
}

// The longest mount point holds a path, the topmost of equal ones; malformed lines are skipped.
// Drive types come from the file system and the removable flag.
TEST(MountInfo, PicksTheLongestMountPointAndClassifiesDrives) {
  EXPECT_EQ(mountOf("/").fileSystemType, "ext4");
  EXPECT_EQ(mountOf("/dev/shm/x").fileSystemType, "ramfs");   // mounted over the tmpfs
  EXPECT_EQ(mountOf("/dev/shmem").fileSystemType, "ext4");    // not below /dev/shm
  const MountEntry share = mountOf("/mnt/my share\\x/docs");  // \040 and \134 unescaped
  EXPECT_EQ(share.fileSystemType, "cifs");
  EXPECT_EQ(share.deviceMinor, 40u);
  EXPECT_EQ(mountOf("/x").fileSystemType + mountOf("/y").fileSystemType, "ext4ext4");

  // A fake /sys/dev/block: 8:16 is a removable disk whose partition 8:17 has no flag of its own,
  // 8:0 a fixed disk with partition 8:1, 8:32 a removable whole-disk device.
  TempDir sys;
  for (const char* disk : {"sdb/sdb1", "sda/sda1", "sdc"}) {
    fs::create_directories(sys.host(std::string("devices/") + disk));
  }
  std::ofstream(sys.host("devices/sdb/removable")) << "1\n";
  std::ofstream(sys.host("devices/sda/removable")) << "0\n";
  std::ofstream(sys.host("devices/sdc/removable")) << "1\n";
  fs::create_directories(sys.host("block"));
  fs::create_directory_symlink("../devices/sdb/sdb1", sys.host("block/8:17"));
  fs::create_directory_symlink("../devices/sda/sda1", sys.host("block/8:1"));
  fs::create_directory_symlink("../devices/sdc", sys.host("block/8:32"));
  auto typeOf = [&](const std::string& path) {
    return platform::internal::driveTypeOfMount(mountOf(path), sys.host("block").string());
  };
  EXPECT_EQ(typeOf("/dev/shm"), platform::kDriveRamdisk);
  for (const char* remote : {"/mnt/my share\\x", "/mnt/nfs", "/mnt/ssh"}) {
    EXPECT_EQ(typeOf(remote), platform::kDriveRemote) << remote;
  }
  EXPECT_EQ(typeOf("/media/cdrom"), platform::kDriveCdrom);
  EXPECT_EQ(typeOf("/media/usb"), platform::kDriveRemovable);
  EXPECT_EQ(typeOf("/media/stick"), platform::kDriveRemovable);
  EXPECT_EQ(typeOf("/data"), platform::kDriveFixed);
  EXPECT_EQ(typeOf("/"), platform::kDriveFixed);  // 254:0 has no entry at all
  EXPECT_EQ(platform::internal::fileSystemNameOfMount(mountOf("/mnt/ssh")), "FUSE.SSHFS");

  std::filesystem::create_directory_symlink("/dev/shm", sys.host("shm"));
  MountEntry entry;  // the real table, through a symbolic link
  ASSERT_TRUE(platform::internal::mountOfDirectory(sys.host("shm").string(), &entry));
  EXPECT_EQ(entry.fileSystemType, "tmpfs");
  EXPECT_FALSE(platform::internal::mountOfDirectory(sys.host("missing").string(), &entry));
}

TEST(Volumes, ListDrivesWhoseDirectoryExistsAndTakeTypesFromTheTableOrTheMount) {
  TempDir dir;  // M the tmpfs /dev/shm, N missing, F a file, R and X typed by the table
  fs::create_directory(dir.host("remote"));
  fs::create_directory(dir.host("cd"));
  std::ofstream(dir.host("file")) << "x";
  const std::string base = dir.host().string();
  ScopedDriveTable table("C:=/;M:=/dev/shm;N:=" + base + "/missing;F:=" + base +
                         "/file;R:=" + base + "/remote,remote,SMB;X:=" + base + "/cd,cdrom");
  EXPECT_EQ(platform::getLogicalDriveStrings(0, nullptr), 17u);  // needed, final zero included
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(16, buffer), 17u);  // one short: nothing written
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(17, buffer), 16u);  // final zero not counted
  EXPECT_EQ(std::u16string(buffer, 18), std::u16string(u"C:\\\0M:\\\0R:\\\0X:\\\0\0#", 18));

  for (const char16_t* root : {u"M:\\", u"m:", u"M:/"}) {
    EXPECT_EQ(platform::getDriveType(root), platform::kDriveRamdisk);
  }
  EXPECT_EQ(platform::getDriveType(u"R:\\"), platform::kDriveRemote);
  EXPECT_EQ(platform::getDriveType(u"X:\\"), platform::kDriveCdrom);
  for (const char16_t* root : {u"N:\\", u"F:\\", u"Q:\\", u"M:\\sub", u""}) {
    EXPECT_EQ(platform::getDriveType(root), platform::kDriveNoRootDir);
  }
  {
    ScopedCurrentDirectory current("/dev/shm");
    EXPECT_EQ(platform::getDriveType(nullptr), platform::kDriveRamdisk);
  }
  platform::VolumeInformation shm, root, remote;
  ASSERT_TRUE(platform::getVolumeInformation(u"M:\\", &shm));
  EXPECT_EQ(shm.fileSystemName, u"TMPFS");
  EXPECT_EQ(shm.maximumComponentLength, 255u);
  ASSERT_TRUE(platform::getVolumeInformation(u"C:\\", &root));
  EXPECT_NE(root.serialNumber, shm.serialNumber);
  ASSERT_TRUE(platform::getVolumeInformation(u"r:", &remote));
  EXPECT_EQ(remote.fileSystemName, u"SMB");
  EXPECT_TRUE(
      failedWith(platform::getVolumeInformation(u"N:\\", &remote), platform::kErrorPathNotFound));
  EXPECT_FALSE(platform::getVolumeInformation(u"M:\\", nullptr));
  ScopedDriveTable none("N:=" + dir.host("missing").string());
  EXPECT_EQ(platform::getLogicalDriveStrings(1, buffer), 0u);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace
