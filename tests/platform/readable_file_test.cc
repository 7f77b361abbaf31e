#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::ReadableFile;

class ReadableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = std::make_unique<ScopedDriveTable>("C:=/;T:=" + dir_.host().string() + ";V:=/dev");
    ASSERT_TRUE(table_->installed());
  }

  std::unique_ptr<ReadableFile> open(const std::u16string& path) {
    platform::setLastError(0);
    return ReadableFile::open(path.c_str());
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
};

TEST_F(ReadableFileTest, ReadsARegularFileToTheEnd) {
  std::string content(100000, 'q');
  content[99999] = 'z';
  std::ofstream(dir_.host("data.bin"), std::ios::binary) << content;
  fs::create_symlink(dir_.host("data.bin"), dir_.host("link.bin"));
  for (const char16_t* path : {u"T:\\data.bin", u"T:\\link.bin"}) {
    auto file = open(path);
    ASSERT_NE(file, nullptr);
    std::string read(70000, 0);
    ASSERT_EQ(file->read(read.data(), read.size()), 70000);
    std::string rest(70000, 0);
    ASSERT_EQ(file->read(rest.data(), rest.size()), 30000);
    EXPECT_EQ(read + rest.substr(0, 30000), content);
    EXPECT_EQ(file->read(rest.data(), rest.size()), 0);
  }
}

TEST_F(ReadableFileTest, RefusesEverythingButRegularFilesWithoutBlocking) {
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);  // no writer: reading would block
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir_.host("socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_directory(dir_.host("dir"));

  // /proc/kmsg is a "regular" file that blocks its reader (root may open it); no proc file is read.
  for (const char16_t* path : {u"T:\\fifo", u"T:\\socket", u"T:\\dir", u"V:\\null", u"V:\\zero",
                               u"C:\\proc\\kmsg", u"C:\\proc\\self\\status"}) {
    EXPECT_EQ(open(path), nullptr) << narrow(path);
    EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied) << narrow(path);
  }
  close(server);

  EXPECT_EQ(open(u"T:\\absent"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(open(u"T:\\nodir\\absent"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(open(u"Q:\\x"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
}

TEST_F(ReadableFileTest, NarrowPathsAreUtf8) {
  std::ofstream(dir_.host("\xC3\xA9t\xC3\xA9.txt")) << "summer";
  auto file = ReadableFile::openNarrow("T:\\\xC3\xA9t\xC3\xA9.txt");
  ASSERT_NE(file, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(file->read(buffer, sizeof buffer), 6);
  EXPECT_STREQ(buffer, "summer");
  EXPECT_EQ(ReadableFile::openNarrow("T:\\\xFF.txt"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidName);
  EXPECT_EQ(ReadableFile::openNarrow(nullptr), nullptr);
}

}  // namespace
