// Putting one file in the place of another in one step, and telling files apart by identity: what
// the monitor relies on to rewrite its tables and a reader to notice that it did. Runs on both
// backends (under Wine for Windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "support/failed_with.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

const Bytes kNew = {'n', 'e', 'w'};

TEST(FileReplaceTest, ReplacedNameTakesTheNewFilesIdentityAndContent) {
  TempDir dir;
  std::ofstream(dir.host("table.dat"), std::ios::binary) << "old";
  std::ofstream(dir.host("copy.dat"), std::ios::binary) << "new";
  const std::u16string table = dir.drive(u"table.dat");
  const std::u16string copy = dir.drive(u"copy.dat");
  platform::FileIdentity before, copied, after;
  ASSERT_TRUE(platform::fileIdentity(table.c_str(), &before));
  ASSERT_TRUE(platform::fileIdentity(copy.c_str(), &copied));
  ASSERT_TRUE(platform::fileIdentity(table.c_str(), &after));
  EXPECT_EQ(before, after);
  EXPECT_NE(before, copied);

  ASSERT_TRUE(platform::replaceFile(copy.c_str(), table.c_str()));
  ASSERT_TRUE(platform::fileIdentity(table.c_str(), &after));
  EXPECT_EQ(after, copied);
  EXPECT_EQ(readBytes(dir.host("table.dat")), kNew);
  EXPECT_TRUE(
      failedWith(platform::fileIdentity(copy.c_str(), &after), platform::kErrorFileNotFound));
  EXPECT_TRUE(
      failedWith(platform::replaceFile(copy.c_str(), table.c_str()), platform::kErrorFileNotFound));
  EXPECT_EQ(readBytes(dir.host("table.dat")), kNew);

  // The staging directory goes once it is empty.
  std::filesystem::create_directory(dir.host("compact"));
  std::ofstream(dir.host("compact/left")) << "x";
  EXPECT_FALSE(platform::removeDirectory(dir.drive(u"compact").c_str()));
  std::filesystem::remove(dir.host("compact/left"));
  EXPECT_TRUE(platform::removeDirectory(dir.drive(u"compact").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir.host("compact")));
}

}  // namespace
