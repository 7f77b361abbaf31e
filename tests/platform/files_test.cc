// Files: the table store's read-write files and views, sequential reading, status and removal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
using platform::ReadableFile;
using platform::testing::Fault;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(table_.installed()); }
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
  ScopedDriveTable table_{"C:=/;T:=" + dir_.host().string()};
};

TEST_F(FileTest, OnlyRegularFilesOpenAndEverythingElseIsRefusedAtOnce) {
  ASSERT_NE(open(u"new.dat", Disposition::kCreateAlways), nullptr);
  struct stat info {};
  ASSERT_EQ(stat(dir_.host("new.dat").c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
  std::string content(100000, 'q');
  content[99999] = 'z';
  std::ofstream(dir_.host("data.bin"), std::ios::binary) << content;
  EXPECT_EQ(sizeOf(*open(u"data.bin", Disposition::kOpenExisting)), 100000u);
  EXPECT_EQ(fs::file_size(dir_.host("data.bin")), 100000u);  // closing never changes the length
  fs::create_symlink(dir_.host("data.bin"), dir_.host("\xC3\xA9t\xC3\xA9"));
  std::unique_ptr<ReadableFile> files[] = {ReadableFile::open(u"T:\\data.bin"),
                                           ReadableFile::openNarrow("T:\\\xC3\xA9t\xC3\xA9")};
  for (auto& file : files) {
    ASSERT_NE(file, nullptr);
    std::string read(70000, 0), rest(70000, 0);
    ASSERT_EQ(file->read(read.data(), read.size()), 70000);
    ASSERT_EQ(file->read(rest.data(), rest.size()), 30000);
    EXPECT_EQ(read + rest.substr(0, 30000), content);
    EXPECT_EQ(file->read(rest.data(), rest.size()), 0);
  }
  EXPECT_EQ(sizeOf(*open(u"data.bin", Disposition::kCreateAlways)), 0u);
  EXPECT_TRUE(
      failedWith(ReadableFile::openNarrow("T:\\\xFF.txt") != nullptr, platform::kErrorInvalidName));

  fs::create_directory(dir_.host("directory"));
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);  // no writer: reading would block
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, dir_.host("socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // /proc/kmsg is a "regular" file that blocks its reader (root may open it): no file of a pseudo
  // file system is opened.
  const struct {
    std::u16string path;
    uint32_t error;
  } refused[] = {{u"T:\\absent.dat", platform::kErrorFileNotFound},
                 {u"T:\\nodir\\absent.dat", platform::kErrorPathNotFound},
                 {u"Q:\\x.dat", platform::kErrorPathNotFound},
                 {u"T:\\directory", platform::kErrorAccessDenied},
                 {u"T:\\fifo", platform::kErrorAccessDenied},
                 {u"T:\\socket", platform::kErrorAccessDenied},
                 {u"C:\\dev\\null", platform::kErrorAccessDenied},
                 {u"C:\\proc\\kmsg", platform::kErrorAccessDenied},
                 {u"C:\\proc\\self\\status", platform::kErrorAccessDenied},
                 {u"T:\\" + std::u16string(300, u'n'), platform::kErrorFilenameTooLong}};
  for (const auto& entry : refused) {
    EXPECT_TRUE(failedWith(File::open(entry.path.c_str(), Disposition::kOpenExisting) != nullptr,
                           entry.error))
        << narrow(entry.path);
    EXPECT_TRUE(failedWith(ReadableFile::open(entry.path.c_str()) != nullptr, entry.error))
        << narrow(entry.path);
  }
  close(server);

  fs::create_directory(dir_.host("locked"));
  fs::permissions(dir_.host(), fs::perms::all);  // reachable by the ordinary user
  fs::permissions(dir_.host("locked"), fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
  const int result = runAsOrdinaryUser([] {
    const bool refused = File::open(u"T:\\locked\\x.dat", Disposition::kCreateAlways) == nullptr;
    return refused && platform::lastError() == platform::kErrorAccessDenied ? 0 : 1;
  });
  EXPECT_TRUE(result == 0 || result == kCannotRunAsUser) << result;
}

TEST_F(FileTest, ShrinkingWaitsUntilNoOtherHolderInAnyProcessRemains) {
  auto first = open(u"table.dat", Disposition::kCreateAlways);
  auto second = open(u"table.dat", Disposition::kOpenExisting);
  ASSERT_TRUE(first != nullptr && second != nullptr);
  ASSERT_TRUE(first->setSize(65536));  // growth always works
  ASSERT_TRUE(second->setSize(98304));
  EXPECT_TRUE(first->setSize(98304));  // same length: nothing to do
  EXPECT_TRUE(failedWith(first->setSize(100), platform::kErrorUserMappedFile));
  // The refused attempt must not cost the first File its own hold on the file; nor may a
  // creator cut.
  EXPECT_TRUE(failedWith(second->setSize(100), platform::kErrorUserMappedFile));
  EXPECT_TRUE(failedWith(open(u"table.dat", Disposition::kCreateAlways) != nullptr,
                         platform::kErrorUserMappedFile));
  EXPECT_EQ(fs::file_size(dir_.host("table.dat")), 98304u);
  second.reset();
  ASSERT_TRUE(first->setSize(0));

  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    first.reset();  // the child holds only its own File
    auto held = File::open(u"T:\\table.dat", Disposition::kOpenExisting);
    char byte = held != nullptr && held->setSize(10) ? 'y' : 'n';
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  EXPECT_TRUE(failedWith(first->setSize(5), platform::kErrorUserMappedFile));
  ASSERT_EQ(write(release[1], &byte, 1), 1);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(first->setSize(5));
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(FileTest, ViewsAreSharedGrowInPlaceAndBlockShrinkingTheirFile) {
  auto file = open(u"map.dat", Disposition::kCreateAlways);
  auto other = open(u"map.dat", Disposition::kOpenExisting);
  ASSERT_TRUE(file != nullptr && other != nullptr);
  EXPECT_EQ(FileMapping::map(*file, 1), nullptr);  // empty file
  ASSERT_TRUE(file->setSize(1000));
  EXPECT_EQ(FileMapping::map(*file, 0), nullptr);
  EXPECT_TRUE(failedWith(FileMapping::map(*file, 1001) != nullptr, platform::kErrorFileInvalid));
  auto view = FileMapping::map(*file, 1000);
  auto otherView = FileMapping::map(*other, 1000);
  ASSERT_TRUE(view != nullptr && otherView != nullptr);
  uint8_t* start = view->data();
  EXPECT_GE(view->reservedLength(), uint64_t{16} << 20);  // room to grow, however scarce
  // Another view never lands in the range reserved behind the first.
  EXPECT_TRUE(otherView->data() + 1000 <= start ||
              otherView->data() >= start + view->reservedLength());
  std::memcpy(start + 996, "head", 4);
  EXPECT_EQ(std::memcmp(otherView->data() + 996, "head", 4), 0);

  EXPECT_TRUE(failedWith(view->extend(999), platform::kErrorInvalidParameter));
  EXPECT_TRUE(failedWith(view->extend(40000), platform::kErrorFileInvalid));  // file too short
  EXPECT_TRUE(failedWith(view->extend(view->reservedLength() + 1), platform::kErrorNotSupported));
  ASSERT_TRUE(file->setSize(40000));
  platform::testing::injectFault(Fault::kFileMap, platform::kErrorNotEnoughMemory);
  EXPECT_TRUE(failedWith(view->extend(40000), platform::kErrorNotEnoughMemory));
  EXPECT_EQ(view->length(), 1000u);
  ASSERT_TRUE(view->extend(40000));
  EXPECT_EQ(view->data(), start);
  EXPECT_EQ(view->length(), 40000u);
  EXPECT_TRUE(view->extend(40000));  // already that long
  // The rest of the first page, once past the old end, and the new pages are the file's bytes.
  std::memcpy(start + 1000, "seam", 4);
  std::memcpy(start + 39996, "tail", 4);

  otherView.reset();
  other.reset();
  EXPECT_TRUE(failedWith(file->setSize(1), platform::kErrorUserMappedFile));  // its own view
  view.reset();
  std::ifstream in(dir_.host("map.dat"), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(bytes.size(), 40000u);
  EXPECT_EQ(bytes.substr(996, 8), "headseam");
  EXPECT_EQ(bytes.substr(39996, 4), "tail");
  EXPECT_TRUE(file->setSize(1));
}

TEST_F(FileTest, InjectedFaultsFailTheCallsWithTheInjectedError) {
  platform::testing::injectFault(Fault::kFileOpen, platform::kErrorTooManyOpenFiles);
  EXPECT_TRUE(failedWith(open(u"f.dat", Disposition::kCreateAlways) != nullptr,
                         platform::kErrorTooManyOpenFiles));
  EXPECT_FALSE(fs::exists(dir_.host("f.dat")));  // failed before the system was asked
  auto file = open(u"f.dat", Disposition::kCreateAlways);
  ASSERT_NE(file, nullptr);
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull, 2);
  EXPECT_TRUE(file->setSize(100));
  EXPECT_TRUE(failedWith(file->setSize(200), platform::kErrorDiskFull));
  platform::testing::injectFault(Fault::kFileSize, platform::kErrorInvalidHandle);
  uint64_t size = 0;
  EXPECT_TRUE(failedWith(file->size(&size), platform::kErrorInvalidHandle));
  EXPECT_EQ(sizeOf(*file), 100u);
  auto view = FileMapping::map(*file, 100);
  ASSERT_NE(view, nullptr);
  platform::testing::injectFault(Fault::kFileUnmap, platform::kErrorInvalidParameter);
  platform::setLastError(0);
  view.reset();
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
  EXPECT_TRUE(file->setSize(1));  // the view is gone all the same
}

TEST_F(FileTest, StatReportsRuntimeModeBitsDriveAndTimesAndRemoveTakesFilesOnly) {
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
  EXPECT_EQ(info.modificationTime, 1600000000);
  ASSERT_TRUE(platform::statPath(u"T:\\", &info));
  EXPECT_EQ(info.mode & 0xF000, platform::kStatDirectory);
  ASSERT_TRUE(platform::statPath(u"T:\\fifo", &info));
  EXPECT_EQ(info.mode, platform::kStatCharDevice | platform::kStatRead | platform::kStatWrite);
  EXPECT_TRUE(failedWith(platform::statPath(u"T:\\absent", &info), platform::kErrorFileNotFound));
  EXPECT_TRUE(
      failedWith(platform::statPath(u"T:\\nodir\\absent", &info), platform::kErrorPathNotFound));

  EXPECT_TRUE(platform::removeFile(u"T:\\run.sh"));
  EXPECT_TRUE(failedWith(platform::removeFile(u"T:\\run.sh"), platform::kErrorFileNotFound));
  fs::create_directory(dir_.host("dir"));  // a directory is not a file
  EXPECT_TRUE(failedWith(platform::removeFile(u"T:\\dir"), platform::kErrorAccessDenied));
  EXPECT_TRUE(fs::is_directory(dir_.host("dir")));
}

}  // namespace
