// The monitor's batch work on a cache (a moved directory, then a directory compared with the disk)
// while the Nth growth of a table file or the Nth directory read fails: either the tables hold
// every change, or they count a failed write, on which the monitor keeps the update marker and
// builds them anew, or the read failed and wrote nothing until it is made again. No change is
// lost silently.
#include "cache/fs_cache.h"
#include "cache_fixture.h"
#include "platform/platform_testing.h"

namespace {

using platform::testing::Fault;

// The batch's changes: new files with long names (400 grow the table files), one grown, one
// removed, a subdirectory renamed.
void changeTree(const TempDir& tree, int newFiles) {
  for (int i = 0; i < newFiles; ++i) {
    writeBytes(tree.host("d/" + std::string(200, 'n') + std::to_string(i)), {2});
  }
  writeBytes(tree.host("d/f1"), std::vector<uint8_t>(5000, 1));
  std::filesystem::remove(tree.host("d/f2"));
  std::filesystem::rename(tree.host("d/sub"), tree.host("d/moved"));
}

TEST_F(CacheTest, AFailedWriteInAMonitorBatchIsCountedAndTheRebuildAnswersExactly) {
  const TempDir truthHome;
  for (Fault point : {Fault::kFileSetSize, Fault::kFileMap, Fault::kDirectoryRead}) {
    int calls = 0;
    for (int n = 1; n <= 100; ++n) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(point)) + " at call " +
                   std::to_string(n));
      const TempDir tree;
      const TempDir home;
      std::filesystem::create_directories(tree.host("d/sub"));
      for (int i = 0; i < 10; ++i) writeBytes(tree.host("d/f" + std::to_string(i)), {1});
      writeBytes(tree.host("d/sub/inner"), {1});
      std::unique_ptr<FS_Cache> writer = createdCache(home);
      ASSERT_EQ(build(writer.get(), tree.drive(), true), 0);
      // Every read of the directory fails in turn: fewer entries keep the runs short.
      const int newFiles = point == Fault::kDirectoryRead ? 20 : 400;
      changeTree(tree, newFiles);

      const uint32_t failures = writer->tableWriteFailures();
      platform::testing::injectFault(point, platform::kErrorDiskFull, n);
      writer->moveDirectory(tree.drive(u"d\\sub").c_str(), tree.drive(u"d\\moved").c_str());
      const int refreshed = writer->refreshDirectory(tree.drive(u"d").c_str(), {});
      const bool fired = !platform::testing::faultArmed(point);
      platform::testing::clearFaults();
      if (!fired) break;
      calls = n;
      if (refreshed != kBuildDone) {
        // A read that failed wrote nothing; the monitor's next read brings every change.
        EXPECT_EQ(point, Fault::kDirectoryRead);
        EXPECT_EQ(extract(writer.get(), {PathEntry(tree.drive().c_str(), true)}).size(), 11u);
        EXPECT_EQ(writer->refreshDirectory(tree.drive(u"d").c_str(), {}), kBuildDone);
      }

      std::unique_ptr<FS_Cache> truth = createdCache(truthHome);
      ASSERT_EQ(build(truth.get(), tree.drive(), true), 0);
      const Reported expected = extract(truth.get(), {PathEntry(tree.drive().c_str(), true)});
      truth.reset();
      ASSERT_EQ(expected.size(), 10u + newFiles);
      int result = 0;
      const Reported held =
          extract(writer.get(), {PathEntry(tree.drive().c_str(), true)}, u"", {}, 60000, &result);
      if (writer->tableWriteFailures() == failures) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(held, expected);
        continue;
      }
      ASSERT_TRUE(writer->createTables());
      ASSERT_EQ(build(writer.get(), tree.drive(), true), 0);
      EXPECT_EQ(extract(writer.get(), {PathEntry(tree.drive().c_str(), true)}), expected);
    }
    EXPECT_GT(calls, 0) << "the batch never grew a table file";
  }
}

}  // namespace
