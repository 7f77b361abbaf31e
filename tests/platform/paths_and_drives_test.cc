// Text, paths and drives on POSIX: UTF-8 and host-name conversions, drive paths to host paths and
// back, _wfullpath, the drive table, the mount table behind drive types, and the volume calls.
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
#include "platform/posix/host_text.h"
#include "platform/posix/mount_info.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::internal::DriveSpec;
using platform::internal::DriveTable;
using platform::internal::MountEntry;

TEST(Text, StrictUtf8RoundTripsAndHostNamesEscapeWhatIsNoText) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz";  // é € 😀 max
  std::u16string wide;
  ASSERT_TRUE(platform::narrowToWide(utf8.c_str(), &wide));
  EXPECT_EQ(wide, std::u16string(u"a\u00E9\u20AC\U0001F600\U0010FFFFz"));
  std::string back;
  ASSERT_TRUE(platform::wideToNarrow(wide.c_str(), &back));
  EXPECT_EQ(back, utf8);

  // Overlongs, encoded surrogates, beyond U+10FFFF, stray and missing continuations.
  for (const char* text :
       {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80", "\xED\xA0\x80", "\xED\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "ab\xE2\x82", "\xE2\x28\xA1", "\xFF"}) {
    std::u16string out = u"stale";
    EXPECT_FALSE(platform::narrowToWide(text, &out)) << text;
    EXPECT_TRUE(out.empty());
  }
  const char16_t loneHigh[] = {u'a', 0xD800, 0}, loneLow[] = {0xDC00, u'a', 0},
                 reversed[] = {0xDE00, 0xD83D, 0}, highThenText[] = {0xD83D, u'x', 0};
  for (const char16_t* text : {loneHigh, loneLow, reversed, highThenText}) {
    std::string out = "stale";
    EXPECT_FALSE(platform::wideToNarrow(text, &out));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_FALSE(platform::narrowToWide(nullptr, &wide));
  EXPECT_FALSE(platform::wideToNarrow(nullptr, &back));

  // Host names escape bytes that are no text, and backslashes, losslessly.
  const std::string name = "ok\\\xFF\xC0\x80\xED\xA0\x80-\xC3\xA9";
  platform::internal::hostToWide(name.data(), name.size(), &wide);
  EXPECT_EQ(wide, (std::u16string{u'o', u'k', 0xDC5C, 0xDCFF, 0xDCC0, 0xDC80, 0xDCED, 0xDCA0,
                                  0xDC80, u'-', 0x00E9}));
  std::string allBytes = name;
  for (int byte = 1; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
  wide.clear();
  platform::internal::hostToWide(allBytes.data(), allBytes.size(), &wide);
  ASSERT_TRUE(platform::internal::wideToHost(wide.data(), wide.size(), &back));
  EXPECT_EQ(back, allBytes);
  const char16_t notAnEscape[] = {0xDC41};  // a lone surrogate no host byte makes
  EXPECT_FALSE(platform::internal::wideToHost(notAnEscape, 1, &back));
}

std::string error() { return "<error " + std::to_string(platform::lastError()) + ">"; }

std::string host(const std::u16string& path) {
  std::string out;
  return platform::hostPath(path.c_str(), &out) ? out : error();
}

std::string drive(const std::string& path) {
  std::u16string out;
  return platform::driveQualifiedPath(path, &out) ? narrow(out) : error();
}

TEST(Paths, MapBetweenDrivePathsAndHostPathsWithinTheDrive) {
  ScopedDriveTable table("C:=/;D:=/srv/data;E:=/srv/data/e");
  ASSERT_TRUE(table.installed());
  EXPECT_EQ(host(u"c:/a//b/"), "/a/b/");  // either separator, trailing one kept
  EXPECT_EQ(host(u"C:"), "/");
  EXPECT_EQ(host(u"D:\\"), "/srv/data");
  EXPECT_EQ(host(u"D:\\x\\.\\y\\..\\z"), "/srv/data/x/z");
  EXPECT_EQ(host(u"D:\\..\\..\\etc\\passwd"), "/srv/data/etc/passwd");  // never above the root
  EXPECT_EQ(host(u"d:\\\u00E9t\u00E9"), "/srv/data/\xC3\xA9t\xC3\xA9");
  for (const char16_t* path : {u"Q:\\x", u"\\x", u"relative"}) EXPECT_EQ(host(path), "<error 3>");
  EXPECT_EQ(host(u"C:\\\xD800"), "<error 123>");  // a lone surrogate has no host form
  EXPECT_EQ(host(u"C:\\a\xDC5C\x62"), "/a\\b");   // the escape of a backslash in a host name

  EXPECT_EQ(drive("/"), "C:\\");
  EXPECT_EQ(drive("/srv/data"), "D:\\");
  EXPECT_EQ(drive("/srv//data/./x/"), "D:\\x");
  EXPECT_EQ(drive("/srv/data/e/f/../g"), "E:\\g");
  EXPECT_EQ(drive("/srv/database"), "C:\\srv\\database");
  EXPECT_EQ(drive("relative"), "<error 3>");
  std::u16string out;
  ASSERT_TRUE(platform::driveQualifiedPath("/x/a\\b\xFF", &out));
  EXPECT_EQ(out, (std::u16string{u'C', u':', u'\\', u'x', u'\\', u'a', 0xDC5C, u'b', 0xDCFF}));
  ScopedDriveTable narrowTable("D:=/srv/data");
  EXPECT_EQ(drive("/etc"), "<error 3>");
}

// The full path, or the error and whether the buffer was written all the same.
std::string full(const char16_t* path, size_t capacity = platform::kMaxPath) {
  char16_t buffer[1024] = {u'#'};
  if (platform::fullPath(buffer, path, capacity) == buffer) return narrow(buffer);
  return error() + (buffer[0] == u'#' ? "" : " (written)");
}

// Every form resolves against the current directory and its drive; a result that does not fit
// the buffer is refused and leaves the buffer untouched.
TEST(FullPath, ResolvesEveryFormAndRefusesResultsThatDoNotFit) {
  TempDir dir;
  ScopedDriveTable table({{'C', "", "", "/"}, {'W', "", "", dir.host().string()}});
  ASSERT_TRUE(table.installed());
  table.enter('W', "work/sub");
  EXPECT_EQ(full(u"x.txt"), "W:\\work\\sub\\x.txt");
  EXPECT_EQ(full(u".\\"), "W:\\work\\sub\\");
  EXPECT_EQ(full(u"..\\..\\..\\..\\y"), "W:\\y");         // ".." stops at the drive root
  EXPECT_EQ(full(u"\\top"), "W:\\top");                   // root of the current drive
  EXPECT_EQ(full(u"W:rel\\a"), "W:\\work\\sub\\rel\\a");  // drive-relative, current drive
  EXPECT_EQ(full(u"w:"), "W:\\work\\sub");
  EXPECT_EQ(full(u"C:rel"), "C:\\rel");  // another drive: from its root
  EXPECT_EQ(full(u"c:\\a\\.\\b\\..\\c\\"), "c:\\a\\c\\");
  EXPECT_EQ(full(u"Q:\\any\\thing"), "Q:\\any\\thing");  // not checked against the table
  EXPECT_EQ(full(u"\\\\server\\share"), "<error 123>");
  EXPECT_EQ(full(u"") + full(nullptr), "<error 87><error 87>");
  table.enter('W', "");
  EXPECT_EQ(full(u"."), "W:\\");
  const std::u16string fits = u"C:\\" + std::u16string(platform::kMaxPath - 4, u'n');
  EXPECT_EQ(full(fits.c_str()), narrow(fits));  // with its zero, exactly the 260-character buffer
  EXPECT_EQ(full((fits + u"n").c_str()), "<error 206>");
  EXPECT_EQ(platform::fullPath(nullptr, u"x", 8), nullptr);
  EXPECT_EQ(full(u"C:\\ab", 6), "C:\\ab");
  EXPECT_EQ(full(u"C:\\", 0), "<error 206>");
  std::u16string detour = u"C:\\";  // a long input may still resolve to a short result
  for (int i = 0; i < 100; ++i) detour += u"abc\\..\\";
  EXPECT_EQ(full((detour + u"end").c_str()), "C:\\end");
  ScopedDriveTable elsewhere("C:=/nonexistent-root");  // the current directory is on no drive
  EXPECT_EQ(full(u"x") + full(u"\\x") + full(u"C:x"), "<error 3><error 3>C:\\x");
}

TEST(DriveTable, ParsesEntriesInLetterOrderAndFindsTheHolderWithTheLongestRoot) {
  DriveTable table;
  std::string problem;
  ASSERT_TRUE(
      DriveTable::parse(" r:=/mnt/share/,REMOTE,SMB ; c:=/;;D:=//srv/./data/../data2;"
                        "X:=/cd,cdrom;M:=/m,,MYFS;A:=/a,removable;B:=/b,fixed;Z:=/z,ramdisk",
                        &table, &problem))
      << problem;
  std::string seen;
  for (const DriveSpec& drive : table.drives()) {
    seen += std::string(1, drive.letter) + "=" + drive.root + "," + std::to_string(drive.type) +
            "," + drive.fileSystem + ";";
  }
  EXPECT_EQ(seen,
            "A=/a,2,;B=/b,3,;C=/,0,;D=/srv/data2,0,;M=/m,0,MYFS;R=/mnt/share,4,SMB;X=/cd,5,;"
            "Z=/z,6,;");
  EXPECT_EQ(table.find(u'r'), &table.drives()[5]);

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
  const auto holder = [&table](const std::string& path) {
    std::string rest;
    const DriveSpec* drive = table.holder(path, &rest);
    return drive == nullptr ? std::string("none") : drive->letter + (":" + rest) + " ";
  };
  // E before F on equal roots; a root holds only at a component boundary.
  EXPECT_EQ(
      holder("/srv/data/x/y") + holder("/srv/data") + holder("/srv/database") + holder("/etc"),
      "E:x/y E: D:database C:etc ");

  EXPECT_EQ(table.rootNamesIn("/"), (std::vector<std::string>{"srv"}));
  EXPECT_EQ(table.rootNamesIn("/srv"), (std::vector<std::string>{"data", "data"}));
  EXPECT_TRUE(table.rootNamesIn("/srv/data").empty());  // g lies deeper
  EXPECT_TRUE(table.isRootOfOtherDrive(u'C', "/srv/data"));
  EXPECT_TRUE(table.isRootOfOtherDrive(u'E', "/srv/data"));  // F has that root too
  EXPECT_FALSE(table.isRootOfOtherDrive(u'D', "/srv"));
  ASSERT_TRUE(DriveTable::parse("D:=/srv", &table, &problem));
  EXPECT_EQ(holder("/etc"), "none");
}

// Prints the table the process reads from FSCANNER_DRIVES (unset for null) to stderr, twice: a
// second read must not repeat a message.
[[noreturn]] void printTableTwice(const char* drives) {
  drives != nullptr ? setenv("FSCANNER_DRIVES", drives, 1) : unsetenv("FSCANNER_DRIVES");
  for (int round = 0; round < 2; ++round) {
    for (const DriveSpec& drive : platform::internal::currentDriveTable()->drives()) {
      std::fprintf(stderr, "[%c=%s]", drive.letter, drive.root.c_str());
    }
  }
  std::exit(0);
}

// The environment is read once per process, so these cases run in fresh copies of this program.
TEST(DriveTable, ReadsTheEnvironmentOnceFallsBackToTheDefaultAndYieldsToATestTable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto exitsOk = ::testing::ExitedWithCode(0);
  EXPECT_EXIT(printTableTwice("D:=/srv;C:=/"), exitsOk,
              "^\\[C=/\\]\\[D=/srv\\]\\[C=/\\]\\[D=/srv\\]$");
  EXPECT_EXIT(printTableTwice(nullptr), exitsOk, "^\\[C=/\\]\\[C=/\\]$");
  EXPECT_EXIT(printTableTwice("C:=/;C:=/tmp"), exitsOk,
              "^fscanner: invalid FSCANNER_DRIVES \\([^\n]*\\), using C:=/\n\\[C=/\\]\\[C=/\\]$");

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
  fs::create_directories(sys.host("block"));
  const char* const disks[][4] = {{"sdb", "sdb/sdb1", "1\n", "8:17"},
                                  {"sda", "sda/sda1", "0\n", "8:1"},
                                  {"sdc", "sdc", "1\n", "8:32"}};
  for (const auto& disk : disks) {
    fs::create_directories(sys.host("devices") / disk[1]);
    std::ofstream(sys.host("devices") / disk[0] / "removable") << disk[2];
    fs::create_directory_symlink(fs::path("../devices") / disk[1], sys.host("block") / disk[3]);
  }
  auto typeOf = [&](const std::string& path) {
    return platform::internal::driveTypeOfMount(mountOf(path), sys.host("block").string());
  };
  std::string types;
  for (const char* path : {"/dev/shm", "/mnt/my share\\x", "/mnt/nfs", "/mnt/ssh", "/media/cdrom",
                           "/media/usb", "/media/stick", "/data", "/"}) {
    types += std::to_string(typeOf(path));
  }
  // RAM disk, remote three times, CD-ROM, removable twice, fixed twice (254:0 has no entry).
  EXPECT_EQ(types, "644452233");
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
  ScopedDriveTable table({{'C', "", "", "/"},
                          {'M', "", "", "/dev/shm"},
                          {'N', "", "", base + "/missing"},
                          {'F', "", "", base + "/file"},
                          {'R', "remote", "SMB", base + "/remote"},
                          {'X', "cdrom", "", base + "/cd"}});
  EXPECT_EQ(platform::getLogicalDriveStrings(0, nullptr), 17u);  // needed, final zero included
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(16, buffer), 17u);  // one short: nothing written
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(platform::getLogicalDriveStrings(17, buffer), 16u);  // final zero not counted
  EXPECT_EQ(std::u16string(buffer, 18), std::u16string(u"C:\\\0M:\\\0R:\\\0X:\\\0\0#", 18));

  std::string types;
  for (const char16_t* root :
       {u"M:\\", u"m:", u"M:/", u"R:\\", u"X:\\", u"N:\\", u"F:\\", u"Q:\\", u"M:\\sub", u""}) {
    types += std::to_string(platform::getDriveType(root));
  }
  EXPECT_EQ(types, "6664511111");  // RAM disk thrice, remote, CD-ROM, then no root directory
  table.enter('M', "");
  EXPECT_EQ(platform::getDriveType(nullptr), platform::kDriveRamdisk);
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
