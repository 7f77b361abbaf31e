// Driver of compare_cache_build.sh: builds a new cache of a tree, or extracts from one into a
// counting sink, once, so that an outside tool can time it and read its peak memory.
//   bench_cache_build build HOME TREE           prints the number of directory ids handed out
//   bench_cache_build extract HOME ROOT CRITERIA prints the number of files reported and the
//                                                 entries left in the directory-path cache
// HOME, TREE and ROOT are host paths; the drive table (FSCANNER_DRIVES, default C:=/) maps them.
#include <cstdio>
#include <cstring>
#include <string>

#include "FsResults.h"
#include "cache/fs_cache.h"
#include "platform/platform.h"

namespace {

class CountingSink : public FsResults {
 public:
  void addFileInfo(FsFileInfo*) override {}
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {
    ++count;
  }
  unsigned long long count = 0;
};

std::u16string drive(const char* host) {
  std::u16string path;
  if (!platform::driveQualifiedPath(host, &path)) std::fprintf(stderr, "no drive for %s\n", host);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const bool build = argc == 4 && std::strcmp(argv[1], "build") == 0;
  const bool extract = argc == 5 && std::strcmp(argv[1], "extract") == 0;
  if (!build && !extract) {
    std::fprintf(stderr, "usage: %s build HOME TREE | extract HOME ROOT CRITERIA\n", argv[0]);
    return 2;
  }
  const std::u16string home = drive(argv[2]);
  const std::u16string root = drive(argv[3]);
  FS_Cache cache(u"mon_dirs", u"mon_files", home.c_str(), false, false, false, nullptr);
  if (cache.create(0, build ? FS_CACHE_CREATE : FS_CACHE_OPEN) != 0) return 1;
  int result = 0;
  if (build) {
    result =
        cache.build(ResolvedPath{PathEntry(root.c_str(), true), DriveEntry()},
                    cache.directoryRecords(), cache.directoriesIndexSlot(), cache.filesRecords(),
                    cache.directoryRecords2(), {}, {}, false, 24u * 3600 * 1000);
    cache.saveCounter();
    std::printf("%u\n", cache.directoriesIndex());
  } else {
    std::u16string criteria;
    platform::narrowToWide(argv[4], &criteria);
    CountingSink sink;
    result = cache.extractResults(&sink, criteria.c_str(), {}, {}, {PathEntry(root.c_str(), true)},
                                  {}, cache.filesRecords(), cache.directoryRecords(), false,
                                  24u * 3600 * 1000);
    std::printf("%llu %zu\n", sink.count, cache.directoryPathCacheSize());
  }
  cache.close();
  return result == 0 ? 0 : 1;
}
