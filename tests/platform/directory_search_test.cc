#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::DirectorySearch;
using platform::FindData;

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

// A tree with one entry of every kind, on drive T; N is a drive inside it.
class DirectorySearchTest : public ::testing::Test {
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

  TempDir dir_;
  ScopedDriveTable table_{"C:=/;T:=" + dir_.host().string() +
                          ";N:=" + dir_.host("tree/drive").string()};
};

TEST_F(DirectorySearchTest, ReportsWindowsAttributesSizesAndTimesOfAllOrOneEntry) {
  const auto found = search(u"T:\\tree\\*");
  EXPECT_EQ(names(found),
            ". .. .hidden Makefile a.txt dangling drive linkdir linkfile pipe ro.TXT sub ");
  for (const char* directory : {".", "..", "sub"}) {
    EXPECT_EQ(attributesOf(found, directory), platform::kAttrDirectory) << directory;
  }
  EXPECT_EQ(attributesOf(found, "a.txt"), platform::kAttrNormal);
  EXPECT_EQ(attributesOf(found, ".hidden"), platform::kAttrHidden);
  EXPECT_EQ(attributesOf(found, "ro.TXT"), platform::kAttrReadOnly);
  EXPECT_EQ(attributesOf(found, "pipe"), platform::kAttrDevice);
  EXPECT_EQ(attributesOf(found, "linkdir"), kMountPoint);  // a link to a directory
  EXPECT_EQ(attributesOf(found, "linkfile"), platform::kAttrReparsePoint);
  EXPECT_EQ(attributesOf(found, "dangling"), platform::kAttrReparsePoint);
  EXPECT_EQ(attributesOf(found, "drive"), kMountPoint);  // the root of drive N
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

TEST_F(DirectorySearchTest, MatchesWildcardsWithoutRegardToCaseAndReportsWin32Errors) {
  EXPECT_EQ(names(search(u"T:\\tree\\*.txt")), "a.txt ro.TXT ");
  EXPECT_EQ(names(search(u"T:/tree/?.TXT")), "a.txt ");
  EXPECT_EQ(names(search(u"T:\\tree\\*K*")), "Makefile linkdir linkfile ");
  EXPECT_EQ(names(search(u"T:\\tree\\l*k*")), "linkdir linkfile ");
  EXPECT_EQ(search(u"T:\\tree\\*.*").size(), 12u);  // also names without a dot
  const struct {
    const char16_t* pattern;
    uint32_t error;
  } failures[] = {{u"T:\\tree\\*.none", platform::kErrorFileNotFound},
                  {u"T:\\tree\\missing\\*", platform::kErrorPathNotFound},
                  {u"T:\\tree\\a.txt\\*", platform::kErrorPathNotFound},
                  {u"T:\\*\\a.txt", platform::kErrorInvalidName},
                  {u"Q:\\*", platform::kErrorPathNotFound},
                  {u"T:\\tree\\absent", platform::kErrorFileNotFound},
                  {u"T:\\tree\\nodir\\absent", platform::kErrorPathNotFound},
                  {u"T:\\tree\\", platform::kErrorFileNotFound},  // a trailing separator: nothing
                  {u"T:\\", platform::kErrorFileNotFound},
                  {u"", platform::kErrorFileNotFound},
                  {u"C:\\proc\\*", platform::kErrorAccessDenied}};  // a pseudo file system
  for (const auto& failure : failures) {
    uint32_t error = 0;
    EXPECT_TRUE(search(failure.pattern, &error).empty()) << narrow(failure.pattern);
    EXPECT_EQ(error, failure.error) << narrow(failure.pattern);
  }
  FindData data;
  EXPECT_EQ(DirectorySearch::start(nullptr, &data), nullptr);
  EXPECT_EQ(DirectorySearch::start(u"T:\\tree\\*", nullptr), nullptr);
  const auto root = search(u"C:\\*");  // mounts of pseudo file systems are mount points
  EXPECT_EQ(attributesOf(root, "proc") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(root, "sys") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(search(u"C:\\proc"), "proc") & kMountPoint, kMountPoint);
}

TEST_F(DirectorySearchTest, NamesThatAreNoTextRoundTripAndVanishedEntriesAreSkipped) {
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

// Checks run as an ordinary user; a bit set in the result for each failed one.
int checkUnreadableDirectories() {
  uint32_t error = 0;
  int failures = search(u"T:\\tree\\locked\\*", &error).empty() ? 0 : 1;
  if (error != platform::kErrorAccessDenied) failures |= 1;
  // Listable but not searchable: entries are reported from their type alone.
  const auto found = search(u"T:\\tree\\listonly\\*");
  if (attributesOf(found, "inner") != platform::kAttrDirectory) failures |= 2;
  if (attributesOf(found, "file") != platform::kAttrNormal || found.at("file").size != 0) {
    failures |= 4;
  }
  return failures;
}

TEST_F(DirectorySearchTest, UnreadableDirectoriesAreRefusedOrListedByTypeOnly) {
  const fs::path tree = dir_.host("tree");
  fs::create_directory(tree / "locked");
  fs::create_directories(tree / "listonly" / "inner");
  std::ofstream(tree / "listonly" / "file") << "content";
  fs::permissions(tree / "locked", fs::perms::none);
  fs::permissions(tree / "listonly", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(dir_.host(), fs::perms::all);  // reachable by the ordinary user
  fs::permissions(tree, fs::perms::all);
  const int failures = runAsOrdinaryUser(checkUnreadableDirectories);
  fs::permissions(tree / "locked", fs::perms::owner_all);
  fs::permissions(tree / "listonly", fs::perms::owner_all);
  if (failures == kCannotRunAsUser) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(failures, 0) << "failed checks (bits)";
}

}  // namespace
