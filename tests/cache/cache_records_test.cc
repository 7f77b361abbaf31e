// Directory chains written straight into the tables: locating a path, rebuilding a directory's
// path, extraction with includes, excludes, criteria, time-out and checksum filter.
#include "ChecksumFilter.h"
#include "cache/fs_cache.h"
#include "cache_fixture.h"
#include "support/trace_capture.h"

namespace {

// C: 1 > data 5 > sub 9; C: 1 > Program Files (PROGRA~1) 12; D: 20 > data 21. One file in each
// directory but C:, whose CRC-32 is its directory id.
void addChains(FS_Cache* cache) {
  CacheTest::addDirectory(cache, 1, u"C:", 0);
  CacheTest::addDirectory(cache, 5, u"data", 1);
  CacheTest::addDirectory(cache, 9, u"sub", 5);
  CacheTest::addDirectory(cache, 12, u"Program Files", 1, u"PROGRA~1");
  CacheTest::addDirectory(cache, 20, u"D:", 0);
  CacheTest::addDirectory(cache, 21, u"data", 20);
  for (auto [name, id] : {std::pair{u"a.txt", 5}, {u"b.txt", 9}, {u"c.txt", 12}, {u"d.txt", 21}}) {
    CacheTest::addFile(cache, name, id, id);
  }
}

TEST_F(CacheTest, FindPathWalksUpAndFindPathByIdWalksDown) {
  std::unique_ptr<FS_Cache> cache = createdCache(home_);
  addChains(cache.get());
  CacheTest::addDirectory(cache.get(), 30, u"data", 77);  // a parent that does not exist
  const struct {
    const char16_t* path;
    bool caseSensitive;
    int32_t id;  // 0: not found
  } cases[] = {{u"C:\\data\\sub", true, 9},
               {u"c:\\DATA\\", false, 5},
               {u"c:\\DATA", true, 0},
               {u"C:\\PROGRA~1", true, 12},
               {u"C:\\progra~1", false, 12},
               {u"D:\\data", true, 21},
               {u"C:", true, 1},
               {u"data", true, 0},
               {u"E:\\data", true, 0},
               {u"C:\\sub", true, 0},
               {u"C:\\data\\sub\\x", true, 0},
               {u"", true, 0}};
  for (const auto& c : cases) {
    const bool found = cache->findPath(cache->directoryRecords(), cache->directoryRecords2(),
                                       c.path, c.caseSensitive);
    EXPECT_EQ(found ? cache->directoryRecords().getInt32(u"ID") : 0, c.id) << narrow(c.path);
  }
  std::u16string deep = u"C:";
  for (uint32_t id = 100; id < 140; ++id) {
    const std::string digits = "d" + std::to_string(id);
    const std::u16string name(digits.begin(), digits.end());
    addDirectory(cache.get(), id, name.c_str(), id == 100 ? 1 : id - 1);
    deep += u"\\" + name;
  }
  addDirectory(cache.get(), 200, std::u16string(270, u'n').c_str(), 1);
  char16_t buffer[FS_Cache::kDirectoryPathCapacity];
  RecordSetRef& rs = cache->directoryRecords();
  ASSERT_TRUE(cache->findPathById(rs, 9, buffer, std::size(buffer)));
  EXPECT_EQ(std::u16string(buffer), u"C:\\data\\sub");
  ASSERT_TRUE(cache->findPathById(rs, 139, buffer, std::size(buffer)));
  EXPECT_EQ(std::u16string(buffer), deep);
  EXPECT_LE(cache->directoryPathCacheSize(), FS_Cache::kDirectoryPathCacheLimit + 1);
  // wcsPrepend keeps room for two characters beyond the text.
  EXPECT_TRUE(cache->findPathById(rs, 9, buffer, 13));
  EXPECT_FALSE(cache->findPathById(rs, 9, buffer, 12));
  EXPECT_FALSE(cache->findPathById(rs, 200, buffer, std::size(buffer)));
  EXPECT_FALSE(cache->findPathById(rs, 77, buffer, std::size(buffer)));
  EXPECT_FALSE(cache->findPathById(rs, 9, nullptr, 10));
}

TEST_F(CacheTest, ExtractionKeepsIncludedFilesAndReportsThemAsStored) {
  ChecksumFilter filter;  // inactive until the end
  filter.crc32Values = {9, 21};
  FsCacheOptions options;
  options.checksumFilter = &filter;
  options.level = 0x120;  // low byte 0x20: checksums wanted, compared as stored
  std::unique_ptr<FS_Cache> cache = createdCache(home_, &options);
  addChains(cache.get());
  const PathEntry data(u"C:\\data", false), dataTree(u"C:\\data", true),
      sub(u"C:\\data\\sub", true);
  const struct {
    const char16_t* criteria;
    PathList includes, excludes;
    Paths files;
    uint32_t timeout = 1000;
    int result = 0;
  } cases[] = {
      {u"", {}, {}, {}},
      {u"", {data}, {}, {"C:\\data\\a.txt"}},
      {u"", {dataTree}, {}, {"C:\\data\\a.txt", "C:\\data\\sub\\b.txt"}},
      {u"", {dataTree}, {sub}, {"C:\\data\\a.txt"}},
      {u"[SIZE]>4294967296",
       {PathEntry(u"?:\\DATA", true)},
       {},
       {"C:\\data\\a.txt", "C:\\data\\sub\\b.txt", "D:\\data\\d.txt"}},
      {u"[FILENAME]==\"b.txt\"", {dataTree}, {}, {"C:\\data\\sub\\b.txt"}},
      {u"[CRC32]==12", {PathEntry(u"C:\\PROGRAM FILES", false)}, {}, {"C:\\Program Files\\c.txt"}},
      {u"", {dataTree}, {}, {}, 0, -41},
  };
  for (const auto& c : cases) {
    int result = 1;
    EXPECT_EQ(pathsOf(extract(cache.get(), c.includes, c.criteria, c.excludes, c.timeout, &result)),
              c.files)
        << narrow(c.criteria);
    EXPECT_EQ(result, c.result);
    // The query's evaluator is gone: the files record set walks every record again.
    EXPECT_EQ(walked(cache->filesRecords()), 4u);
  }
  EXPECT_EQ(extract(cache.get(), {dataTree})["C:\\data\\a.txt"], "4294967298 8630 5");
  filter.active = 1;
  EXPECT_EQ(extractAll(cache.get(), u"?:"), Paths({"C:\\data\\sub\\b.txt", "D:\\data\\d.txt"}));
  filter.active = 0;

  addFile(cache.get(), u"orphan.txt", 77);
  addFile(cache.get(), u"late.txt", 5);
  TraceCapture traces;
  int result = 0;
  EXPECT_EQ(extract(cache.get(), {PathEntry(u"?:", true)}, u"", {}, 1000, &result).size(), 4u);
  EXPECT_EQ(result, -40);
  EXPECT_TRUE(
      traces.contains("FS_Cache::extractResults - findPathById() failed! extract interrupted!\n"));
  EXPECT_EQ(walked(cache->filesRecords()), 6u);
}

}  // namespace
