// Queries end to end over a drive table with a fixed and a remote drive: which paths the cache
// answers and which are walked, age and exclusion digests in cache-only mode, the monitor mode's
// CREATIONTIME rule, extended reuse, and a build time-out that corrupts the cache for good.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "support/drive_table.h"
#include "support/narrow_text.h"
#include "support/query_objects.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace {

class QueryTest : public DriveTableTest {
 protected:
  QueryTest() : DriveTableTest({{'C', "fixed", "NTFS"}, {'R', "remote", "SMB"}}) {}

  void SetUp() override {
    DriveTableTest::SetUp();
    if (IsSkipped()) return;
    write('C', "data/a.txt");
    write('C', "data/sub/b.txt");
    write('C', "other/c.txt");
    write('C', "top.txt");
    write('R', "share/d.txt");
    std::filesystem::create_directories(drives_.hostRoot('C') / "home");
  }

  void write(char drive, const std::string& relative, const std::string& content = "x") {
    const std::filesystem::path path = drives_.hostRoot(drive) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << content;
  }

  std::unique_ptr<FS_Cache> openCache(bool monitorMode, const FsCacheOptions* options = nullptr) {
    auto cache = std::make_unique<FS_Cache>(u"mon_dirs", u"mon_files", u"C:\\home", monitorMode,
                                            false, false, options);
    EXPECT_EQ(cache->create(0, FS_CACHE_OPEN_ALWAYS), SUCCESS);
    return cache;
  }

  // What the monitor does: records the tree of path.
  static void record(FS_Cache* cache, const char16_t* path) {
    EXPECT_EQ(cache->build(ResolvedPath{PathEntry(path, true), DriveEntry()},
                           cache->directoryRecords(), cache->directoriesIndexSlot(),
                           cache->filesRecords(), cache->directoryRecords2(), {}, {}, false, 60000),
              kBuildDone);
  }

  static std::vector<std::string> run(FS_Cache* cache, const Query& query, bool extended = false,
                                      int* result = nullptr, uint32_t age = 0,
                                      uint32_t timeout = 60000) {
    Sink sink;
    Query copy = query;
    const int answer = extended ? cache->executeQueryEx(&sink, &copy, timeout, age)
                                : cache->executeQuery(&sink, &copy, timeout, age);
    if (result != nullptr) {
      *result = answer;
    } else {
      EXPECT_EQ(answer, SUCCESS);
    }
    // Walked files arrive during the walks, cached ones at the end; within each, directory order.
    auto firstCached = std::find_if(sink.files.begin(), sink.files.end(),
                                    [](const std::string& file) { return file[0] == 'c'; });
    EXPECT_TRUE(std::all_of(firstCached, sink.files.end(),
                            [](const std::string& file) { return file[0] == 'c'; }));
    std::sort(sink.files.begin(), firstCached);
    std::sort(firstCached, sink.files.end());
    return sink.files;
  }
};

using Files = std::vector<std::string>;

TEST_F(QueryTest, MonitorModeServesRecordedFixedPathsFromTheCacheAndWalksTheRest) {
  std::unique_ptr<FS_Cache> cache = openCache(true);
  record(cache.get(), u"C:\\data");
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
}

TEST_F(QueryTest, RemoteOnlyQueriesNeverTouchTheTables) {
  std::unique_ptr<FS_Cache> cache = openCache(false);
  Query query;
  query.included = {PathEntry(u"$remote::R:\\share", true)};
  EXPECT_EQ(run(cache.get(), query), (Files{"disk R:\\share\\d.txt"}));
  EXPECT_EQ(cache->directoriesIndex(), 0u);
}

TEST_F(QueryTest, CacheOnlyModeBuildsOnceThenRebuildsWhenOldOrExcludedDifferently) {
  std::unique_ptr<FS_Cache> cache = openCache(false);
  Query query;
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
  std::unique_ptr<FS_Cache> reopened;
  const uint32_t saved = cache->directoriesIndex();
  cache->close();
  cache.reset();
  reopened = openCache(false);
  EXPECT_EQ(reopened->directoriesIndex(), saved);
}

TEST_F(QueryTest, ABuildTimeOutCorruptsTheCacheForEveryLaterQuery) {
  std::unique_ptr<FS_Cache> cache = openCache(false);
  Query query;
  query.included = {PathEntry(u"C:\\data", true)};
  int result = 0;
  Sink sink;
  EXPECT_EQ(run(cache.get(), query, false, &result, 0, 0), (Files{}));
  EXPECT_EQ(result, CACHE_BUILD_TIMED_OUT);
  EXPECT_TRUE(cache->corrupted());
  EXPECT_EQ(run(cache.get(), query, false, &result), (Files{}));
  EXPECT_EQ(result, CACHE_INVALID);
}

TEST_F(QueryTest, TheExtendedFormReusesItsResolutionWhileTheListsStayTheSame) {
  std::unique_ptr<FS_Cache> cache = openCache(true);
  Query query;
  // The stored lists start empty: a first query with four empty lists resolves nothing.
  EXPECT_EQ(run(cache.get(), query, true), (Files{}));

  query.included = {PathEntry(u"C:\\other", true)};
  {
    TraceCapture traces;
    EXPECT_EQ(run(cache.get(), query, true), (Files{"disk C:\\other\\c.txt"}));
    EXPECT_TRUE(traces.containsText("PathHelper::pathResolver - entering"));
  }
  {
    TraceCapture traces;
    EXPECT_EQ(run(cache.get(), query, true), (Files{"disk C:\\other\\c.txt"}));
    EXPECT_FALSE(traces.containsText("PathHelper::pathResolver - entering"));
  }
  // Only the recursive flag changes: resolved again, now without the subtree's files.
  write('C', "other/deep/e.txt");
  query.included = {PathEntry(u"C:\\other", false)};
  TraceCapture traces;
  EXPECT_EQ(run(cache.get(), query, true), (Files{"disk C:\\other\\c.txt"}));
  EXPECT_TRUE(traces.containsText("PathHelper::pathResolver - entering"));
}

TEST_F(QueryTest, AnUnusableCacheAnswersInvalidWithoutCallingTheHost) {
  FS_Cache unopened(u"mon_dirs", u"mon_files", u"C:\\home", true, false, false, nullptr);
  Query query;
  query.included = {PathEntry(u"C:\\data", true)};
  int result = 0;
  EXPECT_EQ(run(&unopened, query, false, &result), (Files{}));
  EXPECT_EQ(result, CACHE_INVALID);
}

}  // namespace
