// Files and directories: the table store's read-write files and views, sequential reading, status
// and removal, and directory searches with their Windows attributes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform_fixtures.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::DirectorySearch;
using platform::Disposition;
using platform::File;
using platform::FileMapping;
using platform::FindData;
using platform::ReadableFile;
using platform::testing::Fault;

constexpr uint32_t kNoMatch = 0xFFFFFFFF;
constexpr uint32_t kMountPoint = platform::kAttrDirectory | platform::kAttrReparsePoint;
constexpr uint64_t kKnownFileTime = (1600000000ULL + 11644473600ULL) * 10000000ULL + 1234567ULL;

// Every match of a pattern, by name; the error of the failed start in *error.
std::map<std::string, FindData> search(const std::u16string& pattern, uint32_t* error = nullptr) {
  std::map<std::string, FindData> found;
  FindData data;
  platform::setLastError(0);
  auto handle = DirectorySearch::start(pattern.c_str(), &data);
  if (error != nullptr) *error = handle == nullptr ? platform::lastError() : 0;
  if (handle == nullptr) return found;
  do {
    EXPECT_TRUE(data.shortName.empty());
    EXPECT_EQ(found.count(narrow(data.name)), 0u) << narrow(data.name);
    found[narrow(data.name)] = data;
  } while (handle->next(&data));
  EXPECT_EQ(platform::lastError(), platform::kErrorNoMoreFiles);
  return found;
}

uint32_t attributesOf(const std::map<std::string, FindData>& found, const std::string& name) {
  auto entry = found.find(name);
  return entry == found.end() ? kNoMatch : entry->second.attributes;
}

std::string names(const std::map<std::string, FindData>& found) {
  std::string list;
  for (const auto& entry : found) list += entry.first + " ";
  return list;
}

// Drive T is a temporary directory whose "tree" holds one entry of every kind; N is a drive
// inside the tree.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path tree = dir_.host("tree");
    fs::create_directories(tree / "sub");
    std::ofstream(tree / "a.txt") << "hello";
    std::ofstream(tree / ".hidden") << "h";
    std::ofstream(tree / "ro.TXT") << "r";
    fs::permissions(tree / "ro.TXT", fs::perms::owner_read | fs::perms::group_read);
    std::ofstream(tree / "Makefile") << "m";
    ASSERT_EQ(mkfifo((tree / "pipe").c_str(), 0600), 0);
    fs::create_directory_symlink(tree / "sub", tree / "linkdir");
    fs::create_symlink(tree / "a.txt", tree / "linkfile");
    fs::create_symlink(tree / "nowhere", tree / "dangling");
    fs::create_directories(tree / "drive" / "inner");
    const timespec times[2] = {{1600000000, 123456700}, {1600000000, 123456700}};
    ASSERT_EQ(utimensat(AT_FDCWD, (tree / "a.txt").c_str(), times, 0), 0);
    ASSERT_TRUE(table_.installed());
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
  ScopedDriveTable table_{"C:=/;T:=" + dir_.host().string() +
                          ";N:=" + dir_.host("tree/drive").string()};
};

TEST_F(FileSystemTest, OnlyRegularFilesOpenAndEverythingElseIsRefusedAtOnce) {
  ASSERT_NE(open(u"new.dat", Disposition::kCreateAlways), nullptr);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(dir_.host("new.dat")).permissions()), 0666u & ~mask);
  std::string content(100000, 'q');
  content[99999] = 'z';
  std::ofstream(dir_.host("data.bin"), std::ios::binary) << content;
  EXPECT_EQ(sizeOf(*open(u"data.bin", Disposition::kOpenExisting)), 100000u);
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

  // The pipe has no writer: reading would block. /proc/kmsg is a "regular" file that blocks its
  // reader (root may open it): no file of a pseudo file system is opened.
  const std::pair<std::u16string, uint32_t> refused[] = {
      {u"T:\\absent.dat", platform::kErrorFileNotFound},
      {u"T:\\nodir\\absent.dat", platform::kErrorPathNotFound},
      {u"Q:\\x.dat", platform::kErrorPathNotFound},
      {u"T:\\tree\\sub", platform::kErrorAccessDenied},
      {u"T:\\tree\\pipe", platform::kErrorAccessDenied},
      {u"C:\\proc\\kmsg", platform::kErrorAccessDenied},
      {u"T:\\" + std::u16string(300, u'n'), platform::kErrorFilenameTooLong}};
  for (const auto& [path, error] : refused) {
    SCOPED_TRACE(narrow(path));
    EXPECT_TRUE(failedWith(File::open(path.c_str(), Disposition::kOpenExisting) != nullptr, error));
    EXPECT_TRUE(failedWith(ReadableFile::open(path.c_str()) != nullptr, error));
  }
}

TEST_F(FileSystemTest, ShrinkingWaitsUntilNoOtherHolderInAnyProcessRemains) {
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

TEST_F(FileSystemTest, ViewsAreSharedGrowInPlaceBlockShrinkingAndInjectedFaultsFailTheirCalls) {
  platform::testing::injectFault(Fault::kFileOpen, platform::kErrorTooManyOpenFiles);
  EXPECT_TRUE(failedWith(open(u"map.dat", Disposition::kCreateAlways) != nullptr,
                         platform::kErrorTooManyOpenFiles));
  EXPECT_FALSE(fs::exists(dir_.host("map.dat")));  // failed before the system was asked
  auto file = open(u"map.dat", Disposition::kCreateAlways);
  auto other = open(u"map.dat", Disposition::kOpenExisting);
  ASSERT_TRUE(file != nullptr && other != nullptr);
  EXPECT_EQ(FileMapping::map(*file, 1), nullptr);  // empty file
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull, 2);
  ASSERT_TRUE(file->setSize(1000));
  EXPECT_TRUE(failedWith(file->setSize(2000), platform::kErrorDiskFull));
  platform::testing::injectFault(Fault::kFileSize, platform::kErrorInvalidHandle);
  uint64_t size = 0;
  EXPECT_TRUE(failedWith(file->size(&size), platform::kErrorInvalidHandle));
  EXPECT_EQ(sizeOf(*file), 1000u);
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
  platform::testing::injectFault(Fault::kFileUnmap, platform::kErrorInvalidParameter);
  platform::setLastError(0);
  view.reset();
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
  const Bytes bytes = readBytes(dir_.host("map.dat"));
  ASSERT_EQ(bytes.size(), 40000u);
  EXPECT_EQ(std::string(bytes.begin() + 996, bytes.begin() + 1004) +
                std::string(bytes.end() - 4, bytes.end()),
            "headseamtail");
  EXPECT_TRUE(file->setSize(1));  // the view is gone all the same
}

TEST_F(FileSystemTest, StatReportsRuntimeModeBitsDriveAndTimesAndRemoveTakesFilesOnly) {
  std::ofstream(dir_.host("run.sh")) << "#!/bin/sh\n";
  fs::permissions(dir_.host("run.sh"), fs::perms::owner_read | fs::perms::owner_exec);
  const timespec times[2] = {{1500000000, 0}, {1600000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.host("run.sh").c_str(), times, 0), 0);
  platform::StatInfo info;
  ASSERT_TRUE(platform::statPath(u"t:\\run.sh", &info));
  EXPECT_EQ(info.mode, platform::kStatRegular | platform::kStatRead | platform::kStatExec);
  EXPECT_EQ(info.device, 19u);  // T
  EXPECT_EQ(info.size, 10);
  EXPECT_EQ(info.modificationTime, 1600000000);
  ASSERT_TRUE(platform::statPath(u"T:\\", &info));
  EXPECT_EQ(info.mode & 0xF000, platform::kStatDirectory);
  ASSERT_TRUE(platform::statPath(u"T:\\tree\\pipe", &info));
  EXPECT_EQ(info.mode, platform::kStatCharDevice | platform::kStatRead | platform::kStatWrite);
  EXPECT_TRUE(failedWith(platform::statPath(u"T:\\absent", &info), platform::kErrorFileNotFound));
  EXPECT_TRUE(
      failedWith(platform::statPath(u"T:\\nodir\\absent", &info), platform::kErrorPathNotFound));

  EXPECT_TRUE(platform::removeFile(u"T:\\run.sh"));
  EXPECT_TRUE(failedWith(platform::removeFile(u"T:\\run.sh"), platform::kErrorFileNotFound));
  EXPECT_TRUE(failedWith(platform::removeFile(u"T:\\tree\\sub"), platform::kErrorAccessDenied));
  EXPECT_TRUE(fs::is_directory(dir_.host("tree/sub")));  // a directory is no file to remove
}

TEST_F(FileSystemTest, ReportsWindowsAttributesSizesAndTimesOfAllOrOneEntry) {
  const auto found = search(u"T:\\tree\\*");
  std::string attributes;  // links to directories and the root of drive N are mount points
  for (const auto& [name, data] : found) {
    attributes += name + "=" + std::to_string(data.attributes) + " ";
  }
  EXPECT_EQ(attributes,  // directory 16, hidden 2, normal 128, reparse point 1024, device 64
            ".=16 ..=16 .hidden=2 Makefile=128 a.txt=128 dangling=1024 drive=1040 linkdir=1040 "
            "linkfile=1024 pipe=64 ro.TXT=1 sub=16 ");
  const FindData& file = found.at("a.txt");
  EXPECT_EQ(file.size, 5u);
  EXPECT_EQ(file.lastWriteTime, kKnownFileTime);
  EXPECT_GT(file.creationTime, kKnownFileTime);  // the status change time: now
  EXPECT_EQ(found.at("linkfile").size, 0u);

  const auto exact = search(u"T:\\tree\\sub\\..\\a.txt");  // an exact name: that entry alone
  EXPECT_EQ(exact.size() == 1 ? exact.begin()->second.size : 0, 5u);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\linkdir"), "linkdir"), kMountPoint);  // unfollowed
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\.hidden"), ".hidden"), platform::kAttrHidden);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\sub"), "sub"), platform::kAttrDirectory);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\drive"), "drive"), kMountPoint);
  // A drive root lists no "." and ".."; "N:*" is drive-relative, and the current directory is
  // elsewhere.
  EXPECT_EQ(names(search(u"N:\\*")) + names(search(u"N:*")), "inner inner ");
}

TEST_F(FileSystemTest, MatchesWildcardsWithoutRegardToCaseAndReportsWin32Errors) {
  EXPECT_EQ(names(search(u"T:\\tree\\*.txt")), "a.txt ro.TXT ");
  EXPECT_EQ(names(search(u"T:/tree/?.TXT")), "a.txt ");
  EXPECT_EQ(names(search(u"T:\\tree\\*K*")), "Makefile linkdir linkfile ");
  EXPECT_EQ(names(search(u"T:\\tree\\l*k*")), "linkdir linkfile ");
  EXPECT_EQ(search(u"T:\\tree\\*.*").size(), 12u);  // also names without a dot
  const std::pair<const char16_t*, uint32_t> failures[] = {
      {u"T:\\tree\\*.none", platform::kErrorFileNotFound},
      {u"T:\\tree\\missing\\*", platform::kErrorPathNotFound},
      {u"T:\\tree\\a.txt\\*", platform::kErrorPathNotFound},
      {u"T:\\*\\a.txt", platform::kErrorInvalidName},
      {u"Q:\\*", platform::kErrorPathNotFound},
      {u"T:\\tree\\absent", platform::kErrorFileNotFound},
      {u"T:\\tree\\nodir\\absent", platform::kErrorPathNotFound},
      {u"T:\\tree\\", platform::kErrorFileNotFound},  // a trailing separator: nothing
      {u"", platform::kErrorFileNotFound},
      {u"C:\\proc\\*", platform::kErrorAccessDenied}};  // a pseudo file system
  for (const auto& [pattern, expected] : failures) {
    uint32_t error = 0;
    EXPECT_TRUE(search(pattern, &error).empty()) << narrow(pattern);
    EXPECT_EQ(error, expected) << narrow(pattern);
  }
  FindData data;
  EXPECT_EQ(DirectorySearch::start(nullptr, &data), nullptr);
  EXPECT_EQ(DirectorySearch::start(u"T:\\tree\\*", nullptr), nullptr);
  const auto root = search(u"C:\\*");  // mounts of pseudo file systems are mount points
  EXPECT_EQ(attributesOf(root, "proc") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(search(u"C:\\proc"), "proc") & kMountPoint, kMountPoint);
}

TEST_F(FileSystemTest, NamesThatAreNoTextRoundTripAndVanishedEntriesAreSkipped) {
  for (const std::string name : {"back\\slash", "bad\xFF!", "\xC3\xA9t\xC3\xA9"}) {
    std::ofstream(dir_.host("tree/sub") / name) << name;
  }
  FindData data;
  auto handle = DirectorySearch::start(u"T:\\tree\\sub\\*", &data);
  ASSERT_NE(handle, nullptr);
  int files = 0;
  do {
    if (data.name == u"." || data.name == u"..") continue;
    ++files;  // the reported name leads back to the same file
    auto file = platform::ReadableFile::open((u"T:\\tree\\sub\\" + data.name).c_str());
    ASSERT_NE(file, nullptr);
    char buffer[32] = {};
    EXPECT_EQ(static_cast<uint64_t>(file->read(buffer, sizeof buffer)), data.size);
  } while (handle->next(&data));
  EXPECT_EQ(files, 3);

  constexpr int kFileCount = 1200;  // more than one readdir buffer holds
  const fs::path crowd = dir_.host("crowd");
  fs::create_directory(crowd);
  for (int i = 0; i < kFileCount; ++i) std::ofstream(crowd / ("file-number-" + std::to_string(i)));
  handle = DirectorySearch::start(u"T:\\crowd\\*", &data);
  FindData deferredData;
  // Names first: files vanished meanwhile are listed, and fail when completed.
  auto deferred =
      DirectorySearch::start(u"T:\\crowd\\*", &deferredData, platform::FindDetails::kNamesFirst);
  ASSERT_TRUE(handle != nullptr && deferred != nullptr);
  for (int i = 0; i < kFileCount; ++i) fs::remove(crowd / ("file-number-" + std::to_string(i)));
  int reported = 0;
  while (handle->next(&data)) {
    EXPECT_TRUE(data.name == u"." || data.name == u"..") << narrow(data.name);
    ++reported;
  }
  EXPECT_LE(reported, 2);
  EXPECT_EQ(platform::lastError(), platform::kErrorNoMoreFiles);
  int vanished = 0;
  while (platform::setLastError(0), deferred->next(&deferredData)) {
    const bool pending = deferredData.detailsPending;  // the files, which have all vanished
    EXPECT_NE(deferred->complete(&deferredData), pending) << narrow(deferredData.name);
    EXPECT_EQ(platform::lastError(), pending ? platform::kErrorFileNotFound : 0u);
    vanished += pending ? 1 : 0;
  }
  EXPECT_GT(vanished, 0);
}

TEST_F(FileSystemTest, UnreadableDirectoriesAreRefusedOrListedByTypeOnly) {
  const fs::path tree = dir_.host("tree");
  fs::create_directory(tree / "locked");
  fs::create_directories(tree / "listonly" / "inner");
  std::ofstream(tree / "listonly" / "file") << "content";
  fs::permissions(tree / "locked", fs::perms::none);
  fs::permissions(tree / "listonly", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(dir_.host(), fs::perms::all);  // reachable by the ordinary user
  fs::permissions(tree, fs::perms::all);
  const int failures = runAsOrdinaryUser([] {  // a bit set for each failed check
    uint32_t error = 0;
    int failed = search(u"T:\\tree\\locked\\*", &error).empty() ? 0 : 1;
    if (error != platform::kErrorAccessDenied) failed |= 1;
    // Listable but not searchable: entries are reported from their type alone.
    const auto found = search(u"T:\\tree\\listonly\\*");
    if (attributesOf(found, "inner") != platform::kAttrDirectory) failed |= 2;
    if (attributesOf(found, "file") != platform::kAttrNormal || found.at("file").size != 0) {
      failed |= 4;
    }
    return failed;
  });
  fs::permissions(tree / "locked", fs::perms::owner_all);
  fs::permissions(tree / "listonly", fs::perms::owner_all);
  if (failures == kCannotRunAsUser) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(failures, 0) << "failed checks (bits)";
}

}  // namespace
