#include "platform/posix/drive_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform_fixtures.h"

namespace {

using platform::internal::DriveSpec;
using platform::internal::DriveTable;

TEST(DriveTable, ParsesLettersDirectoriesTypesAndFileSystems) {
  DriveTable table;
  std::string problem;
  ASSERT_TRUE(DriveTable::parse(
      " r:=/mnt/share/,REMOTE,SMB ; c:=/;;D:=//srv/./data/../data2;X:=/cd,cdrom;M:=/m,,MYFS;",
      &table, &problem))
      << problem;
  const std::vector<DriveSpec>& drives = table.drives();
  ASSERT_EQ(drives.size(), 5u);
  EXPECT_EQ(drives[0].letter, 'C');  // letter order
  EXPECT_EQ(drives[0].root, "/");
  EXPECT_EQ(drives[0].type, platform::kDriveUnknown);
  EXPECT_EQ(drives[1].letter, 'D');
  EXPECT_EQ(drives[1].root, "/srv/data2");
  EXPECT_EQ(drives[2].letter, 'M');
  EXPECT_EQ(drives[2].type, platform::kDriveUnknown);
  EXPECT_EQ(drives[2].fileSystem, "MYFS");
  EXPECT_EQ(drives[3].letter, 'R');
  EXPECT_EQ(drives[3].root, "/mnt/share");
  EXPECT_EQ(drives[3].type, platform::kDriveRemote);
  EXPECT_EQ(drives[3].fileSystem, "SMB");
  EXPECT_EQ(drives[4].type, platform::kDriveCdrom);
  EXPECT_EQ(table.find(u'r'), &drives[3]);
  EXPECT_EQ(table.find(u'Q'), nullptr);

  ASSERT_TRUE(DriveTable::parse("A:=/a,removable;B:=/b,fixed;Z:=/z,ramdisk", &table, &problem));
  EXPECT_EQ(table.find(u'A')->type, platform::kDriveRemovable);
  EXPECT_EQ(table.find(u'B')->type, platform::kDriveFixed);
  EXPECT_EQ(table.find(u'Z')->type, platform::kDriveRamdisk);
}

TEST(DriveTable, RefusesInvalidTextWithAReason) {
  const char* const invalid[] = {
      "",                       // no drive
      " ; ;",                   // no drive
      "C:=/;c:=/tmp",           // letter twice, in any case
      "C:=relative/dir",        // not absolute
      "C:=",                    // no directory
      "1:=/",                   // not a letter
      "CD:=/",                  // two letters
      "C=/",                    // no colon
      "C:/",                    // no '='
      "C:=/x,floppy",           // unknown type
      "C:=/x,fixed,NTFS,more",  // too many fields
  };
  for (const char* text : invalid) {
    DriveTable table;
    std::string problem;
    EXPECT_FALSE(DriveTable::parse(text, &table, &problem)) << text;
    EXPECT_FALSE(problem.empty()) << text;
  }
  DriveTable table;
  std::string problem;
  EXPECT_FALSE(DriveTable::parse(nullptr, &table, &problem));
}

TEST(DriveTable, FindsTheDriveWithTheLongestRoot) {
  DriveTable table;
  std::string problem;
  ASSERT_TRUE(DriveTable::parse("C:=/;D:=/srv;E:=/srv/data;F:=/srv/data", &table, &problem));
  std::string rest;
  EXPECT_EQ(table.holder("/srv/data/x/y", &rest)->letter, 'E');  // E before F on equal roots
  EXPECT_EQ(rest, "x/y");
  EXPECT_EQ(table.holder("/srv/data", &rest)->letter, 'E');
  EXPECT_EQ(rest, "");
  EXPECT_EQ(table.holder("/srv/database", &rest)->letter, 'D');  // component boundary
  EXPECT_EQ(rest, "database");
  EXPECT_EQ(table.holder("/etc", &rest)->letter, 'C');
  EXPECT_EQ(rest, "etc");
  ASSERT_TRUE(DriveTable::parse("D:=/srv", &table, &problem));
  EXPECT_EQ(table.holder("/etc", &rest), nullptr);
}

TEST(DriveTable, TestTableReplacesAndResetRestoresTheProcessTable) {
  const auto before = platform::internal::currentDriveTable();
  {
    ScopedDriveTable table("Q:=/tmp");
    ASSERT_TRUE(table.installed());
    EXPECT_NE(platform::internal::currentDriveTable()->find(u'Q'), nullptr);
    EXPECT_FALSE(platform::testing::setDriveTable("bad"));  // unchanged on invalid text
    EXPECT_NE(platform::internal::currentDriveTable()->find(u'Q'), nullptr);
    // A table a caller still holds stays intact while another one is installed.
    const auto held = platform::internal::currentDriveTable();
    ASSERT_TRUE(platform::testing::setDriveTable("R:=/"));
    EXPECT_NE(held->find(u'Q'), nullptr);
  }
  EXPECT_EQ(platform::internal::currentDriveTable(), before);
}

// The environment is read once per process, so these cases run in fresh copies of this
// program: the child role below prints the table it sees.
TEST(DriveTable, ChildRolePrintsTheEnvironmentTable) {
  if (std::getenv("FSCANNER_TEST_PRINT_DRIVES") == nullptr) GTEST_SKIP() << "child role only";
  for (int round = 0; round < 2; ++round) {  // a second read must not repeat the message
    for (const DriveSpec& drive : platform::internal::currentDriveTable()->drives()) {
      std::printf("[%c=%s]", drive.letter, drive.root.c_str());
    }
  }
  std::printf("\n");
}

// This program's output (stdout and stderr) in the child role under the given FSCANNER_DRIVES.
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

TEST(DriveTable, ReadsTheEnvironmentOnceAndFallsBackToTheDefault) {
  const std::string good = runChildWithDrives("D:=/srv;C:=/");
  EXPECT_NE(good.find("[C=/][D=/srv][C=/][D=/srv]"), std::string::npos) << good;
  EXPECT_EQ(good.find("fscanner:"), std::string::npos) << good;

  const std::string unset = runChildWithDrives(nullptr);
  EXPECT_NE(unset.find("[C=/][C=/]\n"), std::string::npos) << unset;

  const std::string bad = runChildWithDrives("C:=/;C:=/tmp");
  EXPECT_NE(bad.find("[C=/][C=/]\n"), std::string::npos) << bad;
  const std::string message = "fscanner: invalid FSCANNER_DRIVES";
  const size_t first = bad.find(message);
  ASSERT_NE(first, std::string::npos) << bad;
  EXPECT_EQ(bad.find(message, first + 1), std::string::npos) << "reported once: " << bad;
  EXPECT_NE(bad.find("using C:=/"), std::string::npos) << bad;
}

}  // namespace
