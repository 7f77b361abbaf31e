// Queries end to end over a drive table with a fixed and a remote drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "support/drive_table.h"
#include "support/query_objects.h"
#include "support/trace_capture.h"

namespace {

using platform::testing::Fault;

class QueryTest : public DriveTableTest {
 protected:
  QueryTest() : DriveTableTest({{'C', "fixed", "NTFS"}, {'R', "remote", "SMB"}}) {}

  void SetUp() override {
    DriveTableTest::SetUp();
    if (IsSkipped()) return;
    for (const char* file : {"data/a.txt", "data/sub/b.txt", "other/c.txt", "top.txt"}) {
      write('C', file);
    }
    write('R', "share/d.txt");
    std::filesystem::create_directories(drives_.hostRoot('C') / "home");
  }

  void write(char drive, const std::string& relative) {
    const std::filesystem::path path = drives_.hostRoot(drive) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }

  std::unique_ptr<FS_Cache> openCache(bool monitorMode) {
    auto cache = std::make_unique<FS_Cache>(u"mon_dirs", u"mon_files", u"C:\\home", monitorMode,
                                            false, false, nullptr);
    EXPECT_EQ(cache->create(0, FS_CACHE_OPEN_ALWAYS), SUCCESS);
    return cache;
  }

  static std::vector<std::string> run(FS_Cache* cache, const Query& query, bool extended = false,
                                      int* result = nullptr, uint32_t age = 0,
                                      uint32_t timeout = 60000) {
    Sink sink;
    Query copy = query;
    const int answer = extended ? cache->executeQueryEx(&sink, &copy, timeout, age)
                                : cache->executeQuery(&sink, &copy, timeout, age);
    EXPECT_TRUE(result != nullptr || answer == SUCCESS) << answer;
    if (result != nullptr) *result = answer;
    // Walked files arrive during the walks, cached ones at the end; within each, directory order.
    const auto walked = [](const std::string& file) { return file[0] == 'd'; };
    EXPECT_TRUE(std::is_partitioned(sink.files.begin(), sink.files.end(), walked));
    const auto firstCached = std::partition_point(sink.files.begin(), sink.files.end(), walked);
    std::sort(sink.files.begin(), firstCached);
    std::sort(firstCached, sink.files.end());
    return sink.files;
  }

  // A host's query, as fsquery --cache-only runs it. Each run excludes a path of its own, so
  // that the cached tree is built again and the faults reach the build.
  static int hostQuery(int run, std::vector<std::string>* files, uint32_t age = 3600) {
    const std::u16string unseen = u"C:\\data\\unseen" + std::u16string(1, u'a' + run % 26) +
                                  std::u16string(1, u'a' + run / 26 % 26);
    Query query;
    query.included.push_back(PathEntry(u"C:\\data", true));
    query.excluded.push_back(PathEntry(unseen.c_str(), true));
    Sink sink;
    FS_Cache cache(u"mon_dirs", u"mon_files", u"C:\\home", false, false, true, nullptr);
    int result = cache.lock(5000);
    if (result != SUCCESS) return result;
    result = cache.create(5000, FS_CACHE_OPEN_ALWAYS);
    if (result == SUCCESS) {
      result = cache.executeQuery(&sink, &query, 5000, age);
      cache.close();
    }
    cache.unlock();
    *files = sink.files;
    std::sort(files->begin(), files->end());
    return result;
  }
};

using Files = std::vector<std::string>;

TEST_F(QueryTest, MonitorModeServesRecordedFixedPathsFromTheCacheWalksTheRestAndReusesLists) {
  std::unique_ptr<FS_Cache> cache = openCache(true);
  // What the monitor does: records the tree of C:\data.
  EXPECT_EQ(cache->build(ResolvedPath{PathEntry(u"C:\\data", true), DriveEntry()},
                         cache->directoryRecords(), cache->directoriesIndexSlot(),
                         cache->filesRecords(), cache->directoryRecords2(), {}, {}, false, 60000),
            kBuildDone);
  Query query;
  query.included = {PathEntry(u"C:\\data", true), PathEntry(u"C:\\other", true),
                    PathEntry(u"$remote::R:\\share", true)};
  EXPECT_EQ(run(cache.get(), query),
            (Files{"disk C:\\other\\c.txt", "disk R:\\share\\d.txt", "cache C:\\data\\a.txt",
                   "cache C:\\data\\sub\\b.txt"}));

  // A record with CREATIONTIME 0 (an ancestor only) does not count as recorded.
  query.included = {PathEntry(u"C:\\", false)};
  EXPECT_EQ(run(cache.get(), query), (Files{"disk C:\\top.txt"}));

  // Exclusions and a flat include reach the cached answer too.
  query.included = {PathEntry(u"C:\\data", false)};
  EXPECT_EQ(run(cache.get(), query), (Files{"cache C:\\data\\a.txt"}));
  query.included = {PathEntry(u"C:\\data", true)};
  query.excluded = {PathEntry(u"C:\\data\\sub", true)};
  EXPECT_EQ(run(cache.get(), query), (Files{"cache C:\\data\\a.txt"}));

  // The extended form resolves its lists again only when they changed, here the recursive flag.
  query.excluded.clear();
  int pass = 0;
  for (const bool recursive : {true, true, false}) {
    query.included = {PathEntry(u"C:\\other", recursive)};
    TraceCapture traces;
    EXPECT_EQ(run(cache.get(), query, true), (Files{"disk C:\\other\\c.txt"}));
    EXPECT_EQ(traces.containsText("PathHelper::pathResolver - entering"), pass++ != 1);
  }
}

TEST_F(QueryTest, CacheOnlyModeBuildsOnceThenRebuildsWhenOldOrExcludedDifferently) {
  std::unique_ptr<FS_Cache> cache = openCache(false);
  Query query;
  // A remote path alone never touches the tables.
  query.included = {PathEntry(u"$remote::R:\\share", true)};
  EXPECT_EQ(run(cache.get(), query), (Files{"disk R:\\share\\d.txt"}));
  EXPECT_EQ(cache->directoriesIndex(), 0u);

  query.included = {PathEntry(u"C:\\data", true)};
  const Files both{"cache C:\\data\\a.txt", "cache C:\\data\\sub\\b.txt"};
  TraceCapture traces;
  EXPECT_EQ(run(cache.get(), query), both);
  EXPECT_TRUE(traces.containsText("tree builded!"));
  const uint32_t built = cache->directoriesIndex();
  EXPECT_EQ(built, 3u);  // C:, data, sub

  // Fresh: answered as stored, even after the disk changed.
  write('C', "data/new.txt");
  EXPECT_EQ(run(cache.get(), query), both);
  EXPECT_EQ(cache->directoriesIndex(), built);

  // An age beyond the current time makes every tree old: removed and built again.
  EXPECT_EQ(
      run(cache.get(), query, false, nullptr, 0xFFFFFFFFu),
      (Files{"cache C:\\data\\a.txt", "cache C:\\data\\new.txt", "cache C:\\data\\sub\\b.txt"}));
  EXPECT_GT(cache->directoriesIndex(), built);

  // Other exclusions than those the tree was built under: built again without the subtree.
  query.excluded = {PathEntry(u"C:\\data\\sub", true)};
  EXPECT_EQ(run(cache.get(), query), (Files{"cache C:\\data\\a.txt", "cache C:\\data\\new.txt"}));

  // The counter on disk follows the ids handed out.
  const uint32_t saved = cache->directoriesIndex();
  cache->close();
  cache = openCache(false);
  EXPECT_EQ(cache->directoriesIndex(), saved);

  // A build that times out corrupts the cache for every later query; a cache never opened answers
  // CACHE_INVALID too, neither calling the host.
  query.included = {PathEntry(u"C:\\other", true)};
  int result = 0;
  EXPECT_EQ(run(cache.get(), query, false, &result, 0, 0), (Files{}));
  EXPECT_EQ(result, CACHE_BUILD_TIMED_OUT);
  EXPECT_TRUE(cache->corrupted());
  FS_Cache unopened(u"mon_dirs", u"mon_files", u"C:\\home", true, false, false, nullptr);
  for (FS_Cache* invalid : {cache.get(), &unopened}) {
    EXPECT_EQ(run(invalid, query, false, &result), (Files{}));
    EXPECT_EQ(result, CACHE_INVALID);
  }
}

// Every platform call a host's cache-only query makes fails in turn, one call per run: the query
// answers a result the system defines, and the next query that builds the tree again answers
// exactly, or answers -40 once (the cache found the damage the failed run left and marked itself)
// and the one after it exactly.
TEST_F(QueryTest, EveryFailingCallLeavesTheCacheAnsweringExactly) {
  const std::vector<std::string> expected = {"cache C:\\data\\a.txt", "cache C:\\data\\sub\\b.txt"};
  std::vector<std::string> files;
  ASSERT_EQ(hostQuery(0, &files), SUCCESS);
  ASSERT_EQ(files, expected);
  int run = 1;
  for (Fault point : {Fault::kFileOpen, Fault::kFileSize, Fault::kFileMap, Fault::kFileRead,
                      Fault::kDirectoryRead, Fault::kMutexCreate}) {
    int calls = 0;
    for (int n = 1; n <= 400; ++n, ++run) {
      platform::testing::injectFault(point, platform::kErrorAccessDenied, n);
      // Directories are read when the tree is built, which an age beyond the clock forces.
      const int result = hostQuery(run, &files, point == Fault::kDirectoryRead ? ~0u : 3600);
      const bool fired = !platform::testing::faultArmed(point);
      platform::testing::clearFaults();
      if (!fired) break;
      calls = n;
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(point)) + " at call " +
                   std::to_string(n));
      EXPECT_TRUE(result == SUCCESS || result == GENERAL_FAILURE || result == CACHE_INVALID ||
                  result == CACHE_BUILD_TIMED_OUT || result == MUTEX_FAILED)
          << result;
      int healthy = hostQuery(++run, &files);
      if (healthy == CACHE_INVALID) healthy = hostQuery(++run, &files);
      EXPECT_EQ(healthy, SUCCESS);
      EXPECT_EQ(files, expected);
    }
    EXPECT_GT(calls, 0) << "the query never reached fault point " << static_cast<int>(point);
  }
}

}  // namespace
