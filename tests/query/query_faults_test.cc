// Every platform call a host's cache-only query makes (file opens, sizes, mappings and their
// growth, reads, the cache's mutexes) fails in turn, one call per run: the query answers a result
// the system defines without crashing, and a healthy system comes back to exact answers by itself:
// the next query that builds the tree again answers exactly, or answers -40 once (the cache found
// damage the failed run left, marked itself and is rebuilt) and the one after it answers exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "support/drive_table.h"
#include "support/query_objects.h"

namespace {

using platform::testing::Fault;

class QueryFaultsTest : public DriveTableTest {
 protected:
  QueryFaultsTest() : DriveTableTest({{'C', "fixed", "NTFS"}}) {}

  void SetUp() override {
    DriveTableTest::SetUp();
    if (IsSkipped()) return;
    for (const char* file : {"data/a.txt", "data/sub/b.txt", "data/sub/deep/c.txt"}) {
      const std::filesystem::path path = drives_.hostRoot('C') / file;
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path) << file;
    }
    std::filesystem::create_directories(drives_.hostRoot('C') / "home");
  }

  // A host's query, as fsquery --cache-only runs it. Each run excludes a path of its own, so
  // that the cached tree is built again and the faults reach the build.
  static int hostQuery(int run, std::vector<std::string>* files) {
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
      result = cache.executeQuery(&sink, &query, 5000, 3600);
      cache.close();
    }
    cache.unlock();
    *files = sink.files;
    std::sort(files->begin(), files->end());
    return result;
  }
};

TEST_F(QueryFaultsTest, EveryFailingCallLeavesTheCacheAnsweringExactly) {
  const std::vector<std::string> expected = {"cache C:\\data\\a.txt", "cache C:\\data\\sub\\b.txt",
                                             "cache C:\\data\\sub\\deep\\c.txt"};
  std::vector<std::string> files;
  ASSERT_EQ(hostQuery(0, &files), SUCCESS);
  ASSERT_EQ(files, expected);
  int run = 1;
  for (Fault point : {Fault::kFileOpen, Fault::kFileSize, Fault::kFileMap, Fault::kFileRead,
                      Fault::kMutexCreate}) {
    int calls = 0;
    for (int n = 1; n <= 400; ++n, ++run) {
      platform::testing::injectFault(point, platform::kErrorAccessDenied, n);
      const int result = hostQuery(run, &files);
      const bool fired = !platform::testing::faultArmed(point);
      platform::testing::clearFaults();
      if (!fired) break;
      calls = n;
      EXPECT_TRUE(result == SUCCESS || result == GENERAL_FAILURE || result == CACHE_INVALID ||
                  result == CACHE_BUILD_TIMED_OUT || result == MUTEX_FAILED)
          << "fault " << static_cast<int>(point) << " at call " << n << ": " << result;
      int healthy = hostQuery(++run, &files);
      if (healthy == CACHE_INVALID) healthy = hostQuery(++run, &files);
      EXPECT_EQ(healthy, SUCCESS) << "fault " << static_cast<int>(point) << " at call " << n;
      EXPECT_EQ(files, expected) << "fault " << static_cast<int>(point) << " at call " << n;
    }
    EXPECT_GT(calls, 0) << "the query never reached fault point " << static_cast<int>(point);
  }
}

}  // namespace
