// The cache's state files never crash or mislead it. Once per process a cache with empty tables is
// created; each input then replaces its counter, update marker and exclusion-digest files, after
// which the cache is opened, asked about and made to rewrite its exclusion digests, twice.
//
// Input: one flag byte (bit 0: a marker file exists, bit 1: the marker checker is on), one byte n
// (the counter file is the next n % 9 bytes), then the exclusion-digest file up to the end.
// Checked: the open succeeds exactly when the checker finds no marker and the counter is 4 bytes
// at most 0xF3333333, whose value becomes the directory index; a digest file that one cache wrote
// is written back byte for byte by the next cache that loads it.
#include <algorithm>
#include <cstdint>

#include "cache/fs_cache.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMaxCounter = 0xF3333333u;
constexpr size_t kMaxCounterBytes = 9;

// The cache home, with empty tables.
struct Home : WorkDir {
  Home() {
    FS_Cache cache(u"mon_dirs", u"mon_files", drive().c_str(), false, false, true, nullptr);
    if (cache.create(0, FS_CACHE_CREATE) != 0) fail("cannot create the cache");
    cache.close();
  }
};

// Opens a cache on home, rewrites its digests with one more entry and returns the file written.
Bytes reopenAndRewrite(const Home& home, bool checker, int* opened, uint32_t* index) {
  FS_Cache cache(u"mon_dirs", u"mon_files", home.drive().c_str(), false, false, checker, nullptr);
  *opened = cache.create(0, FS_CACHE_OPEN);
  *index = cache.directoriesIndex();
  const PathList exclusions = {PathEntry(u"C:\\x", true)};
  cache.sameExHash(exclusions, u"C:\\fuzz");
  cache.updateExHash(exclusions, u"C:\\fuzz\\");
  if (!cache.sameExHash(exclusions, u"C:\\fuzz")) fail("an updated digest does not compare equal");
  cache.setCorrupted(false);
  cache.close();
  return readBytes(home.host("ex_hash"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Home home;
  if (size < 2) return 0;
  const bool marker = (data[0] & 1) != 0;
  const bool checker = (data[0] & 2) != 0;
  const size_t counterBytes = std::min<size_t>(data[1] % kMaxCounterBytes, size - 2);
  const uint8_t* counter = data + 2;
  writeBytes(home.host("mon_dirs.counter"), Bytes(counter, counter + counterBytes));
  std::error_code ignored;
  fs::remove(home.host("mon_dirs.cuflag"), ignored);
  if (marker) writeBytes(home.host("mon_dirs.cuflag"), {});
  writeBytes(home.host("ex_hash"), Bytes(counter + counterBytes, data + size));

  uint32_t value = 0;  // little-endian, when the counter has the 4 bytes an open accepts
  for (size_t i = counterBytes == 4 ? 4 : 0; i > 0; --i) value = value << 8 | counter[i - 1];
  const bool acceptable = !(marker && checker) && counterBytes == 4 && value <= kMaxCounter;
  int opened = 0;
  uint32_t index = 0;
  const Bytes first = reopenAndRewrite(home, checker, &opened, &index);
  if ((opened == 0) != acceptable) fail("the open does not follow the marker and the counter");
  if (opened == 0 && index != value) fail("the counter was read wrong");
  // The marker is gone now (close of an uncorrupted cache); the second cache loads `first`.
  fs::remove(home.host("mon_dirs.cuflag"), ignored);
  writeBytes(home.host("mon_dirs.counter"), Bytes(4, 0));
  const Bytes second = reopenAndRewrite(home, checker, &opened, &index);
  if (opened != 0) fail("a clean cache was refused");
  if (first != second) fail("a digest file is not written back as it was read");
  return 0;
}
