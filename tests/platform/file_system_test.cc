#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = std::make_unique<ScopedDriveTable>("C:=/;T:=" + dir_.host().string() + ";V:=/dev");
    ASSERT_TRUE(table_->installed());
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
};

TEST_F(FileSystemTest, StatReportsRuntimeModeBitsDriveAndTimes) {
  std::ofstream(dir_.host("run.sh")) << "#!/bin/sh\n";
  fs::permissions(dir_.host("run.sh"), fs::perms::owner_read | fs::perms::owner_exec);
  const timespec times[2] = {{1500000000, 0}, {1600000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.host("run.sh").c_str(), times, 0), 0);
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);

  platform::StatInfo info;
  ASSERT_TRUE(platform::statPath(u"t:\\run.sh", &info));
  EXPECT_EQ(info.mode, platform::kStatRegular | platform::kStatRead | platform::kStatExec);
  EXPECT_EQ(info.device, 19u);  // T
  EXPECT_EQ(info.size, 10);
  EXPECT_EQ(info.accessTime, 1500000000);
  EXPECT_EQ(info.modificationTime, 1600000000);
  EXPECT_EQ(info.linkCount, 1u);
  EXPECT_EQ(info.userId, geteuid());

  ASSERT_TRUE(platform::statPath(u"T:\\", &info));
  EXPECT_EQ(info.mode & platform::kStatDirectory, platform::kStatDirectory);
  ASSERT_TRUE(platform::statPath(u"T:\\fifo", &info));
  EXPECT_EQ(info.mode, platform::kStatCharDevice | platform::kStatRead | platform::kStatWrite);
  ASSERT_TRUE(platform::statPath(u"V:\\null", &info));
  EXPECT_EQ(info.mode & 0xF000, platform::kStatCharDevice);
  EXPECT_EQ(info.device, 21u);  // V

  platform::setLastError(0);
  EXPECT_FALSE(platform::statPath(u"T:\\absent", &info));
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  EXPECT_FALSE(platform::statPath(u"T:\\nodir\\absent", &info));
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::statPath(u"T:\\run.sh", nullptr));
  EXPECT_FALSE(platform::statPath(nullptr, &info));
}

TEST_F(FileSystemTest, RemoveTakesFilesOnly) {
  std::ofstream(dir_.host("gone.txt")) << "x";
  EXPECT_TRUE(platform::removeFile(u"T:\\gone.txt"));
  EXPECT_FALSE(fs::exists(dir_.host("gone.txt")));
  platform::setLastError(0);
  EXPECT_FALSE(platform::removeFile(u"T:\\gone.txt"));
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);

  fs::create_directory(dir_.host("made"));
  EXPECT_FALSE(platform::removeFile(u"T:\\made"));  // a directory is not a file
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  EXPECT_TRUE(fs::is_directory(dir_.host("made")));
}

}  // namespace
