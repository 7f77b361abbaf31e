// Compaction of a cache's tables while another cache object reads them, as the monitor and a
// provider do: the reader follows the new files and answers stay exact; a replacement that fails
// at once changes nothing, and one that fails part way leaves tables that are built anew.
#include "cache/fs_cache.h"
#include "cache_fixture.h"
#include "platform/platform_testing.h"
#include "support/trace_capture.h"

namespace {

using Compaction = FS_Cache::Compaction;

// Records and removes enough files to make the tables due for compaction.
void churn(FS_Cache* cache) {
  for (uint32_t i = 0; i < FS_Cache::kCompactionMinRemoved; ++i) {
    CacheTest::addFile(cache, u"gone", 999);
  }
  cache->removeFiles(cache->filesTable(), 999);
}

Compaction compactAsTheMonitor(FS_Cache* cache, bool markerKept) {
  EXPECT_TRUE(cache->acquireTables(60000));
  cache->beginCacheUpdate();
  const Compaction result = cache->compactTables();
  if (!markerKept) cache->endCacheUpdate();
  cache->releaseTables();
  return result;
}

TEST_F(CacheTest, CompactionKeepsTheLiveRecordsAndReadersFollowTheNewFiles) {
  TempDir tree;
  fillTree(tree, 3, 10);
  Paths expected;
  std::unique_ptr<FS_Cache> writer = builtCache(tree, &expected);
  ASSERT_EQ(expected.size(), 30u);
  std::unique_ptr<FS_Cache> reader = makeCache(home_);
  ASSERT_EQ(reader->create(0, FS_CACHE_OPEN), 0);

  EXPECT_FALSE(writer->compactionDue());
  churn(writer.get());
  EXPECT_TRUE(writer->compactionDue());
  EXPECT_EQ(compactAsTheMonitor(writer.get(), false), Compaction::kDone);
  EXPECT_FALSE(writer->compactionDue());
  EXPECT_EQ(extractAll(writer.get(), tree.drive()), expected);
  EXPECT_FALSE(std::filesystem::exists(home_.host("compact")));
  // A file recorded after the compaction is only in the new files.
  writeBytes(tree.host("d0/sub/late"), {});
  ASSERT_TRUE(writer->acquireTables(60000));
  ASSERT_EQ(writer->refreshDirectory(tree.drive(u"d0\\sub").c_str(), {}), 0);
  writer->releaseTables();
  Paths withLate = expected;
  withLate.insert(withLate.begin() + 10, narrow(tree.drive(u"d0\\sub\\late")));
  {
    TraceCapture traces;
    EXPECT_EQ(readerAnswer(reader.get(), tree.drive()), withLate);
    EXPECT_TRUE(
        traces.contains("FS_Cache::refreshSharedTables - tables rewritten, opened again\n"));
  }

  // A first file that cannot be replaced (on Windows: one a reader maps) defers the compaction.
  churn(writer.get());
  platform::testing::injectFault(platform::testing::Fault::kFileReplace,
                                 platform::kErrorAccessDenied, 1);
  EXPECT_EQ(compactAsTheMonitor(writer.get(), false), Compaction::kDeferred);
  EXPECT_TRUE(writer->compactionDue());
  EXPECT_EQ(extractAll(writer.get(), tree.drive()), withLate);
  EXPECT_EQ(readerAnswer(reader.get(), tree.drive()), withLate);

  // Files replaced in part: the marker stays, the reader lets the tables go until they are new.
  platform::testing::injectFault(platform::testing::Fault::kFileReplace,
                                 platform::kErrorAccessDenied, 3);
  EXPECT_EQ(compactAsTheMonitor(writer.get(), true), Compaction::kBroken);
  platform::testing::clearFaults();
  EXPECT_TRUE(readerAnswer(reader.get(), tree.drive()).empty());
  EXPECT_FALSE(reader->tablesUsable());
  ASSERT_TRUE(writer->acquireTables(60000));
  ASSERT_TRUE(writer->createTables());
  ASSERT_EQ(build(writer.get(), tree.drive(), true), 0);
  writer->endCacheUpdate();
  writer->releaseTables();
  EXPECT_EQ(readerAnswer(reader.get(), tree.drive()), withLate);
}

}  // namespace
