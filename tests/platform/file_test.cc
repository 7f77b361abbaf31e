#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::Disposition;
using platform::File;
using platform::FileMapping;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = std::make_unique<ScopedDriveTable>("C:=/;T:=" + dir_.host().string());
    ASSERT_TRUE(table_->installed());
  }
  void TearDown() override { platform::testing::clearFaults(); }

  std::unique_ptr<File> open(const std::u16string& name, Disposition disposition) {
    platform::setLastError(0);
    return File::open((u"T:\\" + name).c_str(), disposition);
  }
  uint64_t sizeOf(File& file) {
    uint64_t size = 0;
    EXPECT_TRUE(file.size(&size));
    return size;
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
};

TEST_F(FileTest, OpenCreatesTruncatesAndReportsWin32Errors) {
  auto created = open(u"new.dat", Disposition::kCreateAlways);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(sizeOf(*created), 0u);
  struct stat info {};
  ASSERT_EQ(stat(dir_.host("new.dat").c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
  created.reset();

  std::ofstream(dir_.host("full.dat")) << "0123456789";
  auto existing = open(u"full.dat", Disposition::kOpenExisting);
  ASSERT_NE(existing, nullptr);
  EXPECT_EQ(sizeOf(*existing), 10u);
  existing.reset();  // closing never changes the length
  EXPECT_EQ(fs::file_size(dir_.host("full.dat")), 10u);
  auto recreated = open(u"full.dat", Disposition::kCreateAlways);
  ASSERT_NE(recreated, nullptr);
  EXPECT_EQ(sizeOf(*recreated), 0u);

  EXPECT_EQ(open(u"absent.dat", Disposition::kOpenExisting), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(open(u"nodir\\absent.dat", Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(File::open(u"Q:\\x.dat", Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);

  fs::create_directory(dir_.host("directory"));
  EXPECT_EQ(open(u"directory", Disposition::kOpenExisting), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);
  EXPECT_EQ(open(u"fifo", Disposition::kOpenExisting), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  EXPECT_EQ(File::open(u"C:\\dev\\null", Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  EXPECT_EQ(open(std::u16string(300, u'n'), Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFilenameTooLong);
}

TEST_F(FileTest, ShrinkingWaitsUntilNoOtherHolderRemains) {
  auto first = open(u"table.dat", Disposition::kCreateAlways);
  auto second = open(u"table.dat", Disposition::kOpenExisting);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  ASSERT_TRUE(first->setSize(65536));  // growth always works
  EXPECT_EQ(sizeOf(*second), 65536u);
  ASSERT_TRUE(second->setSize(98304));
  EXPECT_EQ(sizeOf(*first), 98304u);
  EXPECT_TRUE(first->setSize(98304));  // same length: nothing to do

  platform::setLastError(0);
  EXPECT_FALSE(first->setSize(100));
  EXPECT_EQ(platform::lastError(), platform::kErrorUserMappedFile);
  EXPECT_EQ(sizeOf(*first), 98304u);
  // The refused attempt must not cost the first File its own hold on the file.
  EXPECT_FALSE(second->setSize(100));
  EXPECT_EQ(platform::lastError(), platform::kErrorUserMappedFile);
  // Nor may a new creator empty it under the holders.
  EXPECT_EQ(open(u"table.dat", Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorUserMappedFile);
  EXPECT_EQ(fs::file_size(dir_.host("table.dat")), 98304u);

  second.reset();
  ASSERT_TRUE(first->setSize(100));
  EXPECT_EQ(sizeOf(*first), 100u);
  ASSERT_TRUE(first->setSize(0));
  // Still held after shrinking: a newcomer cannot cut it.
  auto third = open(u"table.dat", Disposition::kOpenExisting);
  ASSERT_NE(third, nullptr);
  ASSERT_TRUE(third->setSize(10));
  EXPECT_FALSE(third->setSize(5));
}

TEST_F(FileTest, AHolderInAnotherProcessBlocksShrinking) {
  auto file = open(u"shared.dat", Disposition::kCreateAlways);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->setSize(4096));
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    file.reset();  // the child holds only its own File
    auto held = File::open(u"T:\\shared.dat", Disposition::kOpenExisting);
    char byte = held != nullptr ? 'y' : 'n';
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  EXPECT_FALSE(file->setSize(0));
  EXPECT_EQ(platform::lastError(), platform::kErrorUserMappedFile);
  ASSERT_EQ(write(release[1], &byte, 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(file->setSize(0));
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(FileTest, ViewsAreSharedAndAViewBlocksShrinkingItsOwnFile) {
  auto writer = open(u"map.dat", Disposition::kCreateAlways);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(FileMapping::map(*writer, 1), nullptr);  // empty file
  EXPECT_EQ(platform::lastError(), platform::kErrorFileInvalid);
  ASSERT_TRUE(writer->setSize(32768));
  EXPECT_EQ(FileMapping::map(*writer, 0), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileInvalid);
  EXPECT_EQ(FileMapping::map(*writer, 32769), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileInvalid);

  auto reader = open(u"map.dat", Disposition::kOpenExisting);
  ASSERT_NE(reader, nullptr);
  auto writeView = FileMapping::map(*writer, 32768);
  auto readView = FileMapping::map(*reader, 32768);
  ASSERT_NE(writeView, nullptr);
  ASSERT_NE(readView, nullptr);
  EXPECT_EQ(writeView->length(), 32768u);
  std::memcpy(writeView->data() + 32760, "payload", 8);
  EXPECT_STREQ(reinterpret_cast<const char*>(readView->data() + 32760), "payload");

  // Growth leaves the view in place; a new view reaches the new part.
  ASSERT_TRUE(writer->setSize(65536));
  EXPECT_STREQ(reinterpret_cast<const char*>(writeView->data() + 32760), "payload");
  auto grown = FileMapping::map(*writer, 65536);
  ASSERT_NE(grown, nullptr);
  grown->data()[65535] = 0x5A;
  grown.reset();

  readView.reset();
  reader.reset();
  EXPECT_FALSE(writer->setSize(1));  // its own view still maps the file
  EXPECT_EQ(platform::lastError(), platform::kErrorUserMappedFile);
  writeView.reset();
  EXPECT_TRUE(writer->setSize(1));

  std::ifstream check(dir_.host("map.dat"), std::ios::binary);
  char first = 0;
  check.get(first);
  EXPECT_EQ(first, 0);
}

TEST_F(FileTest, AViewGrowsInPlaceBehindItsOldPages) {
  auto file = open(u"grow.dat", Disposition::kCreateAlways);
  auto other = open(u"other.dat", Disposition::kCreateAlways);
  ASSERT_NE(file, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(file->setSize(1000));
  ASSERT_TRUE(other->setSize(4096));
  auto view = FileMapping::map(*file, 1000);
  auto otherView = FileMapping::map(*other, 4096);
  ASSERT_NE(view, nullptr);
  ASSERT_NE(otherView, nullptr);
  uint8_t* start = view->data();
  EXPECT_GE(view->reservedLength(), uint64_t{16} << 20);  // room to grow, however scarce
  // Another view never lands in the range reserved behind the first.
  EXPECT_TRUE(otherView->data() + 4096 <= start ||
              otherView->data() >= start + view->reservedLength());
  std::memcpy(start + 996, "head", 4);

  platform::setLastError(0);
  EXPECT_FALSE(view->extend(999));
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(view->extend(40000));  // the file is not that long yet
  EXPECT_EQ(platform::lastError(), platform::kErrorFileInvalid);
  EXPECT_FALSE(view->extend(view->reservedLength() + 1));
  EXPECT_EQ(platform::lastError(), platform::kErrorNotSupported);
  EXPECT_EQ(view->length(), 1000u);

  ASSERT_TRUE(file->setSize(40000));
  platform::testing::injectFault(platform::testing::Fault::kFileMap,
                                 platform::kErrorNotEnoughMemory);
  EXPECT_FALSE(view->extend(40000));
  EXPECT_EQ(platform::lastError(), platform::kErrorNotEnoughMemory);
  EXPECT_EQ(view->length(), 1000u);
  ASSERT_TRUE(view->extend(40000));
  EXPECT_EQ(view->data(), start);
  EXPECT_EQ(view->length(), 40000u);
  EXPECT_TRUE(view->extend(40000));  // already that long
  // The rest of the first page, once past the old end, and the new pages are the file's bytes.
  std::memcpy(start + 1000, "seam", 4);
  std::memcpy(start + 39996, "tail", 4);
  EXPECT_EQ(std::memcmp(start + 996, "head", 4), 0);

  auto fresh = FileMapping::map(*file, 40000);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(std::memcmp(fresh->data() + 996, "headseam", 8), 0);
  EXPECT_EQ(std::memcmp(fresh->data() + 39996, "tail", 4), 0);
  fresh.reset();
  view.reset();
  otherView.reset();
  std::ifstream check(dir_.host("grow.dat"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(check)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 40000u);
  EXPECT_EQ(bytes.substr(996, 8), "headseam");
  EXPECT_EQ(bytes.substr(39996, 4), "tail");
}

TEST_F(FileTest, InjectedFaultsFailTheCallsWithTheInjectedError) {
  using platform::testing::Fault;
  platform::testing::injectFault(Fault::kFileOpen, platform::kErrorTooManyOpenFiles);
  EXPECT_EQ(open(u"f.dat", Disposition::kCreateAlways), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorTooManyOpenFiles);
  EXPECT_FALSE(fs::exists(dir_.host("f.dat")));  // failed before the system was asked
  auto file = open(u"f.dat", Disposition::kCreateAlways);
  ASSERT_NE(file, nullptr);

  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull, 2);
  EXPECT_TRUE(file->setSize(100));
  EXPECT_FALSE(file->setSize(200));
  EXPECT_EQ(platform::lastError(), platform::kErrorDiskFull);
  EXPECT_EQ(sizeOf(*file), 100u);

  platform::testing::injectFault(Fault::kFileSize, platform::kErrorInvalidHandle);
  uint64_t size = 0;
  EXPECT_FALSE(file->size(&size));
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidHandle);

  platform::testing::injectFault(Fault::kFileMap, platform::kErrorNotEnoughMemory);
  EXPECT_EQ(FileMapping::map(*file, 100), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorNotEnoughMemory);
  auto view = FileMapping::map(*file, 100);
  ASSERT_NE(view, nullptr);

  platform::testing::injectFault(Fault::kFileUnmap, platform::kErrorInvalidParameter);
  platform::setLastError(0);
  view.reset();
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
  EXPECT_TRUE(file->setSize(1));  // the view is gone all the same
}

TEST_F(FileTest, UnwritableDirectoryRefusesCreation) {
  fs::create_directory(dir_.host("locked"));
  fs::permissions(dir_.host(), fs::perms::all);  // reachable by the ordinary user
  fs::permissions(dir_.host("locked"), fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
  const int result = runAsOrdinaryUser([] {
    const bool refused = File::open(u"T:\\locked\\x.dat", Disposition::kCreateAlways) == nullptr;
    return refused && platform::lastError() == platform::kErrorAccessDenied ? 0 : 1;
  });
  if (result == kCannotRunAsUser) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(result, 0);
}

}  // namespace
