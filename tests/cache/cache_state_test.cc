// Opening and creating a cache, its counter, update marker and exclusion-digest files: byte-exact
// layouts, and damaged, missing or non-regular state and table files.
#include <tuple>

#include "cache/fs_cache.h"
#include "cache_fixture.h"
#include "support/trace_capture.h"

namespace {

namespace fs = std::filesystem;

// MD5 of "abc": the digest of the exclusion list {"a", "bc"}, whose paths are fed back to back.
const Bytes kAbcDigest = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                          0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
const Bytes kZeroDigest(16, 0);
const PathList kAbc = {PathEntry(u"a", true), PathEntry(u"bc", false)};

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// One exclusion-digest record: N (little-endian), the key's bytes, the digest.
Bytes record(const std::string& key, const Bytes& digest) {
  const Bytes length = {static_cast<uint8_t>(key.size()), 0, 0, 0};
  return length + Bytes(key.begin(), key.end()) + digest;
}

TEST_F(CacheTest, CreateOpenAndCloseFollowTheMarkerAndCounterAndRefuseDamage) {
  std::unique_ptr<FS_Cache> cache = makeCache(home_);
  std::u16string mutex = std::u16string(cache->cachePathName()) + u"_c_mutex";
  for (char16_t& c : mutex) c = (c == u'\\' || c == u':') ? u'_' : c;
  EXPECT_EQ(std::u16string(cache->accessMutexName()), mutex);

  EXPECT_EQ(cache->create(0, FS_CACHE_OPEN), -53);
  EXPECT_TRUE(cache->corrupted());
  EXPECT_EQ(cache->filesTable(), nullptr);
  EXPECT_EQ(cache->create(0, 7), -53);
  *cache->directoriesIndexSlot() = 9;
  EXPECT_EQ(cache->create(0, FS_CACHE_OPEN_ALWAYS), 0);
  EXPECT_FALSE(cache->corrupted());
  EXPECT_EQ(readBytes(home_.host("mon_dirs.counter")), Bytes({0, 0, 0, 0}));
  EXPECT_TRUE(fs::exists(home_.host("mon_dirs.cuflag")));
  for (const char* index :
       {"mon_dirs_PATHNAME", "mon_dirs_SHORTPATHNAME", "mon_dirs_ID", "mon_dirs_PARENTID",
        "mon_files_FILENAME", "mon_files_SHORTFILENAME", "mon_files_PATHID"}) {
    EXPECT_TRUE(fs::exists(home_.host(std::string(index) + ".idx"))) << index;
  }
  EXPECT_EQ(cache->create(0, FS_CACHE_CREATE), -51);
  *cache->directoriesIndexSlot() = 0x12345678;
  EXPECT_TRUE(cache->saveCounter());
  EXPECT_EQ(readBytes(home_.host("mon_dirs.counter")), Bytes({0x78, 0x56, 0x34, 0x12}));
  EXPECT_TRUE(cache->close());
  EXPECT_FALSE(fs::exists(home_.host("mon_dirs.cuflag")));

  // The fuzz target tries counter values and lengths with and without the marker; here the bound
  // and what is not a regular file.
  const char* refused = "FS_Cache::openCache() - cache corrupted or directoriesIndex invalid\n";
  // A state or table file replaced by bytes, "dir", "fifo" or "missing"; with the checker or not;
  // the open's result, the directory index and a trace.
  const std::tuple<const char*, const char*, bool, int, uint32_t, const char*> cases[] = {
      {"mon_dirs.counter", "333\xF3", true, 0, 4080218931u, nullptr},
      {"mon_dirs.counter", "433\xF3", true, -53, 0, refused},
      {"mon_dirs.counter", "dir", true, -53, 0, refused},
      {"mon_dirs.counter", "fifo", true, -53, 0, refused},
      {"mon_dirs.counter", "missing", true, -53, 0, refused},
      {"mon_dirs.cuflag", "", true, -53, 0, refused},
      {"mon_dirs.cuflag", "dir", true, -53, 0, refused},
      {"mon_dirs.cuflag", "fifo", true, -53, 0, refused},
      {"mon_dirs.cuflag", "", false, 0, 0x12345678,
       "FS_Cache::insideCacheUpdate - cacheChecker disabled!\n"},
      {"mon_files.dat", "\x01\x02", true, -53, 0, "FS_Cache::openCache - open tbFiles failed!\n"},
      {"mon_dirs.pxx", "missing", true, -53, 0,
       "FS_Cache::openCache - open tbDirectories failed!\n"},
  };
  for (const auto& [file, damage, checker, result, directoriesIndex, trace] : cases) {
    SCOPED_TRACE(std::string(file) + " " + damage);
    TempDir home;
    for (const fs::directory_entry& entry : fs::directory_iterator(home_.host())) {
      fs::copy(entry.path(), home.host() / entry.path().filename());
    }
    const fs::path target = home.host(file);
    fs::remove(target);
    const std::string kind = damage;
    if (kind == "dir") {
      fs::create_directory(target);
    } else if (kind == "fifo") {
      if (!makeFifo(target)) continue;
    } else if (kind != "missing") {
      writeBytes(target, Bytes(kind.begin(), kind.end()));
    }
    TraceCapture traces;
    std::unique_ptr<FS_Cache> cache = makeCache(home, checker);
    EXPECT_EQ(cache->create(0, FS_CACHE_OPEN), result);
    EXPECT_TRUE(trace == nullptr || traces.contains(trace));
    EXPECT_EQ(cache->corrupted(), trace == refused);
    EXPECT_EQ(cache->filesTable() != nullptr, result == 0);
    EXPECT_EQ(result == 0 ? cache->directoriesIndex() : 0u, directoriesIndex);
    // An open cache has its marker (with the checker); a clean close removes it, a refused or
    // unchecked cache leaves what was there.
    const bool leftover = std::string(file) == "mon_dirs.cuflag";
    EXPECT_EQ(fs::exists(home.host("mon_dirs.cuflag")), leftover || (checker && result == 0));
    cache->close();
    EXPECT_EQ(fs::exists(home.host("mon_dirs.cuflag")), leftover);
  }
}

TEST_F(CacheTest, ExclusionDigestsAreStoredByteExactLoadedUpToDamageAndPropagateByPrefix) {
  std::unique_ptr<FS_Cache> cache = createdCache(home_);
  const PathList x = {PathEntry(u"x", false)};
  const Bytes xDigest = {0x9d, 0xd4, 0xe4, 0x61, 0x26, 0x8c, 0x80, 0x34,
                         0xf5, 0xc8, 0x56, 0x4e, 0x15, 0x5c, 0x67, 0xa6};  // MD5 of "x"
  for (const char16_t* path : {u"C:\\", u"C:\\data\\sub", u"C:\\database", u"D:\\o"}) {
    cache->updateExHash(x, path);
  }
  cache->updateExHash(kAbc, u"C:\\data\\");
  EXPECT_EQ(readBytes(home_.host("ex_hash")),
            record("C:\\data", kAbcDigest) + record("C:\\data\\sub", kAbcDigest) +
                record("C:\\database", kAbcDigest) + record("D:\\o", xDigest));
  EXPECT_TRUE(cache->sameExHash({PathEntry(u"abc", true)}, u"C:\\data"));
  EXPECT_TRUE(cache->sameExHash(kAbc, u"C:\\data/"));
  EXPECT_FALSE(cache->sameExHash(x, u"C:"));  // reset to the zero digest
  EXPECT_TRUE(cache->sameExHash({}, u"C:"));
  EXPECT_TRUE(cache->sameExHash({}, u"E:\\never"));
  EXPECT_FALSE(cache->sameExHash(x, u"E:\\never"));
  if (narrowTextIsUtf8()) {
    cache->updateExHash({}, u"E:\\\u00e9\U0001D11E");
    const Bytes stored = readBytes(home_.host("ex_hash"));
    EXPECT_EQ(Bytes(stored.end() - 29, stored.end()),
              record("E:\\\xC3\xA9\xF0\x9D\x84\x9E", kZeroDigest));
  }

  // Loading stops at the first bad record; what cannot be read or replaced is no digest.
  const Bytes overLong = Bytes({0x2c, 0x01, 0, 0}) + Bytes(300 + 16, 'k');  // N = 300
  const Bytes k1 = record("C:\\k1", kAbcDigest), k2 = record("C:\\k2", kAbcDigest);
  const std::vector<std::pair<Bytes, int>> files = {
      {k1 + overLong + k2, 1},
      {k1 + k2 + Bytes({5, 0, 0}), 2},
      {k1 + Bytes(k2.begin(), k2.end() - 1), 1},  // a digest cut short
      {k1 + Bytes({5, 0, 0, 0, 'C', ':'}), 1},
      {Bytes(), 0},
  };
  for (const auto& [bytes, kept] : files) {
    TempDir home;
    writeBytes(home.host("ex_hash"), bytes);
    std::unique_ptr<FS_Cache> cache = createdCache(home);
    EXPECT_EQ(cache->sameExHash(kAbc, u"C:\\k1"), kept >= 1);
    EXPECT_EQ(cache->sameExHash(kAbc, u"C:\\k2"), kept >= 2);
  }
  for (const bool directory : {true, false}) {
    TempDir home;
    if (directory) fs::create_directory(home.host("ex_hash"));
    if (!directory && !makeFifo(home.host("ex_hash"))) continue;
    std::unique_ptr<FS_Cache> cache = createdCache(home);
    EXPECT_TRUE(cache->sameExHash({}, u"C:\\k1"));
    cache->updateExHash(kAbc, u"C:\\k1");  // cannot replace what is there: no crash, no hang
  }
}

}  // namespace
