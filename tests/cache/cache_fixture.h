// A cache in a temporary home for each test, the bytes of its state files, directory and file
// records written straight into its tables, and extraction into a map of what was reported.
#ifndef FSCANNER_TESTS_CACHE_CACHE_FIXTURE_H
#define FSCANNER_TESTS_CACHE_CACHE_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_records.h"
#include "cache/fs_cache.h"
#include "support/file_bytes.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using Paths = std::vector<std::string>;
// Reported files by full path (directory + name): "size attr crc32".
using Reported = std::map<std::string, std::string>;

// A FIFO at path; false where there are none (Windows).
inline bool makeFifo([[maybe_unused]] const std::filesystem::path& path) {
#ifdef _WIN32
  return false;
#else
  return mkfifo(path.c_str(), 0600) == 0;
#endif
}

inline Paths pathsOf(const Reported& files) {
  Paths out;
  for (const auto& file : files) out.push_back(file.first);
  return out;
}

class CollectingSink : public FsResults {
 public:
  void addFileInfo(FsFileInfo*) override { ADD_FAILURE() << "the cache reports through addFile"; }
  void addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow, uint32_t sizeHigh,
               uint32_t attributes, const char16_t*, uint32_t crc32, uint32_t) override {
    const uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    files[narrow(directory) + narrow(name)] =
        std::to_string(size) + " " + std::to_string(attributes) + " " + std::to_string(crc32);
  }
  Reported files;
};

class CacheTest : public ::testing::Test {
 public:
  std::unique_ptr<FS_Cache> makeCache(const TempDir& home, bool checker = true,
                                      const FsCacheOptions* options = nullptr) {
    return std::make_unique<FS_Cache>(u"mon_dirs", u"mon_files", home.drive().c_str(), false, false,
                                      checker, options);
  }
  // A new cache with empty tables in home.
  std::unique_ptr<FS_Cache> createdCache(const TempDir& home,
                                         const FsCacheOptions* options = nullptr) {
    std::unique_ptr<FS_Cache> cache = makeCache(home, true, options);
    EXPECT_EQ(cache->create(0, FS_CACHE_CREATE), 0);
    return cache;
  }
  static void addDirectory(FS_Cache* cache, uint32_t id, const char16_t* name, uint32_t parent,
                           const char16_t* shortName = u"") {
    EXPECT_TRUE(addDirectoryRecord(cache->directoryRecords(), id, name, shortName, parent, 1));
  }
  // A file of 0x100000002 bytes, mode 0x21B6, whose CRC-32 is crc32.
  static void addFile(FS_Cache* cache, const char16_t* name, uint32_t pathId, uint32_t crc32 = 0) {
    RecordSetRef& rs = cache->filesRecords();
    rs.setString(u"FILENAME", name);
    rs.setString(u"SHORTFILENAME", u"");
    rs.setInt32(u"ATTR", 0x21B6);
    rs.setInt64(u"SIZE", 0x100000002);
    rs.setInt32(u"PATHID", static_cast<int32_t>(pathId));
    rs.setString(u"MD5", u"0");
    rs.setInt32(u"CRC32", static_cast<int32_t>(crc32));
    rs.setInt32(u"Q32", 0);
    rs.addNew();
  }
  // Builds root (drive-qualified) into the cache's tables, without includes.
  static int build(FS_Cache* cache, const std::u16string& root, bool recursive,
                   const PathList& excludes = {}) {
    return cache->build(ResolvedPath{PathEntry(root.c_str(), recursive), DriveEntry()},
                        cache->directoryRecords(), cache->directoriesIndexSlot(),
                        cache->filesRecords(), cache->directoryRecords2(), {}, excludes, false,
                        60000);
  }
  // What extraction reports; its result goes to *result, or must be SUCCESS.
  static Reported extract(FS_Cache* cache, const PathList& includes, const char16_t* criteria = u"",
                          const PathList& excludes = {}, uint32_t timeout = 60000,
                          int* result = nullptr) {
    CollectingSink sink;
    const int answer =
        cache->extractResults(&sink, criteria, {}, {}, includes, excludes, cache->filesRecords(),
                              cache->directoryRecords(), false, timeout);
    if (result != nullptr) *result = answer;
    EXPECT_TRUE(result != nullptr || answer == 0) << answer;
    return sink.files;
  }
  // Every file the cache holds below the drive-qualified root.
  static Paths extractAll(FS_Cache* cache, const std::u16string& root) {
    return pathsOf(extract(cache, {PathEntry(root.c_str(), true)}));
  }
  // Directories d0 to d<dirs-1> of tree, each with a subdirectory sub of files f0 to f<files-1>.
  static void fillTree(const TempDir& tree, int dirs, int files) {
    for (int d = 0; d < dirs; ++d) {
      const std::string sub = "d" + std::to_string(d) + "/sub";
      std::filesystem::create_directories(tree.host(sub));
      for (int f = 0; f < files; ++f) writeBytes(tree.host(sub + "/f" + std::to_string(f)), {1});
    }
  }
  // A cache in home_ holding tree, left as the monitor leaves it after a build; what it extracts.
  std::unique_ptr<FS_Cache> builtCache(const TempDir& tree, Paths* files) {
    std::unique_ptr<FS_Cache> writer = createdCache(home_);
    EXPECT_EQ(build(writer.get(), tree.drive(), true), 0);
    EXPECT_TRUE(writer->saveCounter());
    writer->endCacheUpdate();
    *files = extractAll(writer.get(), tree.drive());
    return writer;
  }
  // A reader's look at the tables and its extraction of root, as a provider's query makes them:
  // nothing when the tables are not usable or extraction failed.
  static Paths readerAnswer(FS_Cache* reader, const std::u16string& root) {
    EXPECT_TRUE(reader->acquireTables(60000));
    reader->refreshSharedTables();
    Reported answer;
    int result = -1;
    if (reader->tablesUsable()) {
      answer = extract(reader, {PathEntry(root.c_str(), true)}, u"", {}, 60000, &result);
    }
    reader->releaseTables();
    return result == 0 ? pathsOf(answer) : Paths{};
  }
  // How many records rs walks under the criteria it holds.
  static size_t walked(RecordSetRef& rs) {
    size_t count = 0;
    for (bool more = rs.moveFirst(); more; more = rs.moveNext()) ++count;
    return count;
  }

 protected:
  TempDir home_;
};

#endif  // FSCANNER_TESTS_CACHE_CACHE_FIXTURE_H
