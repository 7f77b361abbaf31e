#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
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
constexpr int64_t kKnownSeconds = 1600000000;
constexpr int64_t kKnownNanoseconds = 123456700;
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
    const timespec times[2] = {{kKnownSeconds, kKnownNanoseconds},
                               {kKnownSeconds, kKnownNanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, (tree / "a.txt").c_str(), times, 0), 0);
    table_ = std::make_unique<ScopedDriveTable>("C:=/;T:=" + dir_.host().string());
    ASSERT_TRUE(table_->installed());
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
};

TEST_F(DirectorySearchTest, ReportsWindowsAttributesSizesAndTimes) {
  const auto found = search(u"T:\\tree\\*");
  EXPECT_EQ(found.size(), 11u);
  EXPECT_EQ(attributesOf(found, "."), platform::kAttrDirectory);
  EXPECT_EQ(attributesOf(found, ".."), platform::kAttrDirectory);
  EXPECT_EQ(attributesOf(found, "sub"), platform::kAttrDirectory);
  EXPECT_EQ(attributesOf(found, "a.txt"), platform::kAttrNormal);
  EXPECT_EQ(attributesOf(found, "Makefile"), platform::kAttrNormal);
  EXPECT_EQ(attributesOf(found, ".hidden"), platform::kAttrHidden);
  EXPECT_EQ(attributesOf(found, "ro.TXT"), platform::kAttrReadOnly);
  EXPECT_EQ(attributesOf(found, "pipe"), platform::kAttrDevice);
  EXPECT_EQ(attributesOf(found, "linkdir"), platform::kAttrReparsePoint | platform::kAttrDirectory);
  EXPECT_EQ(attributesOf(found, "linkfile"), platform::kAttrReparsePoint);
  EXPECT_EQ(attributesOf(found, "dangling"), platform::kAttrReparsePoint);

  const FindData& file = found.at("a.txt");
  EXPECT_EQ(file.size, 5u);
  EXPECT_EQ(file.lastWriteTime, kKnownFileTime);
  EXPECT_EQ(file.lastAccessTime, kKnownFileTime);
  EXPECT_GT(file.creationTime, kKnownFileTime);  // the status change time: now
  EXPECT_EQ(found.at("linkfile").size, 0u);
}

TEST_F(DirectorySearchTest, MatchesWildcardsWithoutRegardToCase) {
  auto names = [](const std::map<std::string, FindData>& found) {
    std::string list;
    for (const auto& entry : found) list += entry.first + " ";
    return list;
  };
  EXPECT_EQ(names(search(u"T:\\tree\\*.txt")), "a.txt ro.TXT ");
  EXPECT_EQ(names(search(u"T:/tree/?.TXT")), "a.txt ");
  EXPECT_EQ(names(search(u"T:\\tree\\*K*")), "Makefile linkdir linkfile ");
  EXPECT_EQ(names(search(u"T:\\tree\\l*k*")), "linkdir linkfile ");
  EXPECT_EQ(search(u"T:\\tree\\*.*").size(), 11u);  // also names without a dot
  EXPECT_EQ(names(search(u"T:\\tree\\sub\\*")), ". .. ");

  uint32_t error = 0;
  EXPECT_TRUE(search(u"T:\\tree\\*.none", &error).empty());
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_TRUE(search(u"T:\\tree\\missing\\*", &error).empty());
  EXPECT_EQ(error, platform::kErrorPathNotFound);
  EXPECT_TRUE(search(u"T:\\tree\\a.txt\\*", &error).empty());
  EXPECT_EQ(error, platform::kErrorPathNotFound);
  EXPECT_TRUE(search(u"T:\\*\\a.txt", &error).empty());
  EXPECT_EQ(error, platform::kErrorInvalidName);
  EXPECT_TRUE(search(u"Q:\\*", &error).empty());
  EXPECT_EQ(error, platform::kErrorPathNotFound);
}

TEST_F(DirectorySearchTest, AnExactNameFindsThatEntryAlone) {
  auto found = search(u"T:\\tree\\sub");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(attributesOf(found, "sub"), platform::kAttrDirectory);
  found = search(u"T:\\tree\\linkdir");  // the link itself, not its target
  EXPECT_EQ(attributesOf(found, "linkdir"), platform::kAttrReparsePoint | platform::kAttrDirectory);
  found = search(u"T:\\tree\\sub\\..\\a.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.at("a.txt").size, 5u);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\.hidden"), ".hidden"), platform::kAttrHidden);

  uint32_t error = 0;
  EXPECT_TRUE(search(u"T:\\tree\\absent", &error).empty());
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_TRUE(search(u"T:\\tree\\nodir\\absent", &error).empty());
  EXPECT_EQ(error, platform::kErrorPathNotFound);
  EXPECT_TRUE(search(u"T:\\tree\\", &error).empty());  // a trailing separator names nothing
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_TRUE(search(u"T:\\", &error).empty());
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_TRUE(search(u"", &error).empty());
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  FindData data;
  EXPECT_EQ(DirectorySearch::start(nullptr, &data), nullptr);
  EXPECT_EQ(DirectorySearch::start(u"T:\\tree\\*", nullptr), nullptr);
}

TEST_F(DirectorySearchTest, DriveRootsListNoDotEntries) {
  ScopedDriveTable table("C:=/;S:=" + dir_.host("tree/sub").string());
  std::ofstream(dir_.host("tree/sub/only")) << "o";
  const auto found = search(u"S:\\*");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.count("only"), 1u);
  EXPECT_EQ(search(u"S:*").size(), 1u);  // drive-relative: the current directory is elsewhere
}

TEST_F(DirectorySearchTest, PseudoMountsAndOtherDrivesRootsAreReparsePoints) {
  constexpr uint32_t kMountPoint = platform::kAttrDirectory | platform::kAttrReparsePoint;
  ScopedDriveTable table("C:=/;T:=" + dir_.host().string() +
                         ";N:=" + dir_.host("tree/sub").string());
  const auto root = search(u"C:\\*");
  EXPECT_EQ(attributesOf(root, "proc") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(root, "sys") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(search(u"C:\\proc"), "proc") & kMountPoint, kMountPoint);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\*"), "sub"), kMountPoint);
  EXPECT_EQ(attributesOf(search(u"T:\\tree\\sub"), "sub"), kMountPoint);
  EXPECT_EQ(attributesOf(search(u"T:\\tree"), "tree"), platform::kAttrDirectory);
  uint32_t error = 0;
  EXPECT_TRUE(search(u"C:\\proc\\*", &error).empty());  // never listed
  EXPECT_EQ(error, platform::kErrorAccessDenied);
}

TEST_F(DirectorySearchTest, NamesThatAreNoTextOrHoldBackslashesRoundTrip) {
  const std::string odd[] = {"back\\slash",
                             "bad\xFF"
                             "byte",
                             "\xC3\xA9t\xC3\xA9"};
  for (const std::string& name : odd) {
    std::ofstream(dir_.host("tree/sub") / name) << name;
  }
  FindData data;
  auto handle = DirectorySearch::start(u"T:\\tree\\sub\\*", &data);
  ASSERT_NE(handle, nullptr);
  int files = 0;
  do {
    if (data.name == u"." || data.name == u"..") continue;
    ++files;
    // The reported name leads back to the same file.
    auto file = platform::ReadableFile::open((u"T:\\tree\\sub\\" + data.name).c_str());
    ASSERT_NE(file, nullptr);
    char buffer[32] = {};
    const int64_t length = file->read(buffer, sizeof buffer);
    EXPECT_EQ(static_cast<uint64_t>(length), data.size);
  } while (handle->next(&data));
  EXPECT_EQ(files, 3);
}

TEST_F(DirectorySearchTest, EntriesThatVanishAfterListingAreSkipped) {
  constexpr int kFileCount = 1200;  // more than one readdir buffer holds
  const fs::path crowd = dir_.host("crowd");
  fs::create_directory(crowd);
  for (int i = 0; i < kFileCount; ++i) {
    std::ofstream(crowd / ("file-with-a-long-name-number-" + std::to_string(i)));
  }
  FindData data;
  auto handle = DirectorySearch::start(u"T:\\crowd\\*", &data);
  ASSERT_NE(handle, nullptr);
  for (int i = 0; i < kFileCount; ++i) {
    fs::remove(crowd / ("file-with-a-long-name-number-" + std::to_string(i)));
  }
  int reported = 0;
  while (handle->next(&data)) {
    EXPECT_TRUE(data.name == u"." || data.name == u"..") << narrow(data.name);
    ++reported;
  }
  EXPECT_LE(reported, 2);
  EXPECT_EQ(platform::lastError(), platform::kErrorNoMoreFiles);
}

// Checks run as an ordinary user; a bit set in the result for each failed one.
int checkUnreadableDirectories() {
  int failures = 0;
  uint32_t error = 0;
  if (!search(u"T:\\tree\\locked\\*", &error).empty() || error != platform::kErrorAccessDenied) {
    failures |= 1;
  }
  // Listable but not searchable: entries are reported from their type alone.
  const auto found = search(u"T:\\tree\\listonly\\*");
  if (attributesOf(found, "inner") != platform::kAttrDirectory) failures |= 2;
  const auto file = found.find("file");
  if (file == found.end() || file->second.attributes != platform::kAttrNormal ||
      file->second.size != 0) {
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
  fs::permissions(tree / "listonly",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  struct RestorePermissions {
    fs::path tree;
    ~RestorePermissions() {
      fs::permissions(tree / "locked", fs::perms::owner_all);
      fs::permissions(tree / "listonly", fs::perms::owner_all);
    }
  } restore{tree};
  fs::permissions(dir_.host(), fs::perms::all);  // reachable by the ordinary user
  fs::permissions(tree, fs::perms::all);
  const int failures = runAsOrdinaryUser(checkUnreadableDirectories);
  if (failures == kCannotRunAsUser) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(failures, 0) << "failed checks (bits)";
}

}  // namespace
