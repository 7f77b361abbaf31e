// Hostile queries through the reference host's front door: each input becomes one query object
// (paths, media words, folder tokens, criteria, file-system lists; any UTF-16 text, unpaired
// surrogates and NULs included) answered by a cache-only host over a small tree that two drives
// map. Checked after every input: the result is one the query operations define, every reported
// path is terminated text on one of the drives, and an ordinary query that rebuilds the tree still
// answers exactly its files (the tables took no damage). The ordinary query excludes a path that
// no input names, so that the tree is built again: a hostile query may legitimately rebuild a
// subtree under its own exclusions, which the enclosing tree, still fresh, then answers without.
//
// Input: one flag byte (bit 0 case-sensitive, bit 1 the extended form, bit 2 a cache age of an
// hour instead of 0, bit 3 a 1 ms time-out), then UTF-16 units (little-endian byte pairs) split
// into fields by the unit 0xFFFF: the criteria, then up to 16 lists entries whose first unit
// chooses the list (low two bits: 0 included, 1 included and not recursive, 2 excluded, 3 a file
// system: included when bit 2 is clear) and whose other units are the text.
#include <cstdint>
#include <fstream>
#include <set>
#include <string>

#include "FsFileInfo.h"
#include "FsResults.h"
#include "base/result_codes.h"
#include "cache_only_host.h"
#include "fuzz_support.h"
#include "host_objects.h"
#include "platform/platform_testing.h"

namespace {

constexpr size_t kMaxEntries = 16;
constexpr char16_t kFieldEnd = 0xFFFF;

std::string narrowed(const char16_t* text) {
  std::string out;
  for (; *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

// Collects what the host receives; every path must name a file on drive C: or D:.
class CheckingSink final : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override { add(info->directory(), info->name()); }
  void addFile(const char16_t* directory, const char16_t* name, uint32_t, uint32_t, uint32_t,
               const char16_t* md5, uint32_t, uint32_t) override {
    if (md5 != nullptr) narrowed(md5);
    add(directory, name);
  }
  std::set<std::string> files;

 private:
  void add(const char16_t* directory, const char16_t* name) {
    if (directory == nullptr || name == nullptr) fail("a file without a directory or a name");
    std::string path = narrowed(directory);
    if (path.size() < 3 || (path.compare(0, 3, "C:\\") != 0 && path.compare(0, 3, "D:\\") != 0)) {
      fail("a file outside the drives: " + path);
    }
    if (path.back() != '\\') path += '\\';
    files.insert(path + narrowed(name));
  }
};

// A tree on drive C: (fixed) with a remote drive D: beside it, and the cache home inside C:'s
// excluded corner.
struct World : WorkDir {
  World() {
    for (const char* file : {"c/a.txt", "c/sub/b.h", "c/sub/deep/c.H", "c/x y/d", "d/e.txt"}) {
      std::filesystem::create_directories(host(file).parent_path());
      std::ofstream(host(file)) << file;
    }
    std::filesystem::create_directories(host("home"));
    const std::string drives = "C:=" + host("c").string() + ",fixed;D:=" + host("d").string() +
                               ",remote;E:=" + host().string() + ",fixed";
    if (!platform::testing::setDriveTable(drives.c_str())) fail("no drive table");
    expected = answer(everyFile(), 3600, 5000, nullptr);
    if (expected.size() != 4)
      fail("the tree's first answer holds " + std::to_string(expected.size()));
  }

  // Every file of drive C:, built again from the disk.
  static HostQuery everyFile() {
    static uint64_t serial = 0;
    const std::string unseen = "C:\\~sanity-" + std::to_string(++serial);
    HostQuery query;
    query.included.push_back(PathEntry(u"C:\\", true));
    query.excluded.push_back(PathEntry(std::u16string(unseen.begin(), unseen.end()).c_str(), true));
    query.criteriaText = u"[FILENAME]==\"*\"";
    return query;
  }

  std::set<std::string> answer(HostQuery query, uint32_t age, uint32_t timeout, int* result,
                               bool extended = false) {
    CheckingSink sink;
    const int code = runCacheOnlyQuery(home, nullptr, &sink, &query, age, timeout, extended);
    if (result != nullptr) *result = code;
    return sink.files;
  }

  const std::u16string home = u"E:\\home";
  std::set<std::string> expected;
};

HostQuery decode(const uint8_t* data, size_t size) {
  HostQuery query;
  query.caseSensitiveFlag = (data[0] & 1) != 0;
  std::u16string field;
  size_t fields = 0;
  const auto finish = [&] {
    if (fields == 0) {
      query.criteriaText = field;
    } else if (fields <= kMaxEntries && !field.empty()) {
      const unsigned list = field[0] & 3;
      const std::u16string text = field.substr(1);
      if (list < 2) query.included.push_back(PathEntry(text.c_str(), list == 0));
      if (list == 2) query.excluded.push_back(PathEntry(text.c_str(), true));
      if (list == 3) ((field[0] & 4) == 0 ? query.includedFs : query.excludedFs).push_back(text);
    }
    ++fields;
    field.clear();
  };
  for (size_t i = 1; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == kFieldEnd) {
      finish();
    } else {
      field += unit;
    }
  }
  finish();
  return query;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  if (size < 1) return 0;
  const bool extended = (data[0] & 2) != 0;
  const uint32_t age = (data[0] & 4) != 0 ? 3600 : 0;
  const uint32_t timeout = (data[0] & 8) != 0 ? 1 : 5000;
  int result = 0;
  world.answer(decode(data, size), age, timeout, &result, extended);
  if (result != SUCCESS && result != QUERY_TIMED_OUT && result != CACHE_BUILD_TIMED_OUT &&
      result != GENERAL_FAILURE) {
    fail("result " + std::to_string(result));
  }
  int after = 0;
  if (world.answer(World::everyFile(), 3600, 5000, &after) != world.expected || after != SUCCESS) {
    fail("the cache answers other files after a query");
  }
  return 0;
}
