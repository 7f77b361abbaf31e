// The update marker, the directory-id counter and the exclusion digests of FS_Cache. Reads go
// through the platform's readable file, which refuses anything that is not a regular file
// without blocking; writes replace the whole file.
#include <cstring>
#include <memory>
#include <vector>

#include "cache/fs_cache.h"
#include "fs/md5.h"
#include "tablestore/file_io.h"
#include "tablestore/mapped_file.h"

namespace {

constexpr char16_t kMarkerSuffix[] = u".cuflag";
constexpr char16_t kCounterSuffix[] = u".counter";
constexpr size_t kCounterBytes = 4;
// Bytes of a narrow path in the exclusion digests: a key is shorter, a stored record longer ends
// the load.
constexpr size_t kMaxKeyBytes = 259;
constexpr uint32_t kMaxStoredKeyBytes = 260;

// Reads up to count bytes; fewer only at the end of the file or on a read error.
size_t readFully(platform::ReadableFile* file, void* buffer, size_t count) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    const int64_t got = file->read(bytes + done, count - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

// Creates or empties the file at path and writes bytes into it; false when it cannot.
bool replaceFile(const char16_t* path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<StorageFile> file = newMappedFile(path);
  if (file == nullptr || !file->create()) return false;
  const bool written =
      bytes.empty() ||
      file->write(bytes.data(), static_cast<uint32_t>(bytes.size())) == bytes.size();
  return file->close() && written;
}

}  // namespace

bool FS_Cache::statePath(const char16_t* suffix, std::u16string* out) const {
  if (cachePathName_.empty() || directoriesTableName_.empty()) return false;
  *out = cachePathName_;
  if (out->back() != u'\\') *out += u'\\';
  *out += directoriesTableName_;
  *out += suffix;
  return true;
}

void FS_Cache::beginCacheUpdate() {
  std::u16string path;
  if (!cacheChecker_ || !statePath(kMarkerSuffix, &path)) return;
  FS_TRACE(logger_, "FS_Cache::beginCacheUpdate - begin cache update: %ls\n", path.c_str());
  if (!replaceFile(path.c_str(), {})) {
    FS_TRACE(logger_, "FS_Cache::beginCacheUpdate - cannot create %ls\n", path.c_str());
  }
}

void FS_Cache::endCacheUpdate() {
  std::u16string path;
  if (!cacheChecker_ || !statePath(kMarkerSuffix, &path)) return;
  FS_TRACE(logger_, "FS_Cache::endCacheUpdate - end cache update: %ls\n", path.c_str());
  platform::removeFile(path.c_str());  // a missing marker is no error
}

bool FS_Cache::insideCacheUpdate() {
  if (!cacheChecker_) {
    FS_TRACE(logger_, "FS_Cache::insideCacheUpdate - cacheChecker disabled!\n");
    return false;
  }
  const bool inside = markerPresent();
  FS_TRACE(logger_, "FS_Cache::insideCacheUpdate - inside cache update = %s\n",
           inside ? "true" : "false");
  return inside;
}

bool FS_Cache::markerPresent() const {
  std::u16string path;
  // Anything at the marker's path that is not a readable regular file counts as a marker too: a
  // cache that cannot prove it was closed cleanly is not trusted.
  return statePath(kMarkerSuffix, &path) &&
         (platform::ReadableFile::open(path.c_str()) != nullptr ||
          platform::lastError() != platform::kErrorFileNotFound);
}

bool FS_Cache::readCounter() {
  std::u16string path;
  if (!statePath(kCounterSuffix, &path)) return false;
  std::unique_ptr<platform::ReadableFile> file = platform::ReadableFile::open(path.c_str());
  if (file == nullptr) {
    FS_TRACE(logger_, "FS_Cache::readCounter - cannot open %ls\n", path.c_str());
    return false;
  }
  uint8_t bytes[kCounterBytes + 1];
  // Exactly four bytes: a shorter or longer file is not a counter this cache wrote.
  if (readFully(file.get(), bytes, sizeof bytes) != kCounterBytes) {
    FS_TRACE(logger_, "FS_Cache::readCounter - %ls is not 4 bytes long\n", path.c_str());
    return false;
  }
  directoriesIndex_ = loadU32(bytes);
  return true;
}

bool FS_Cache::saveCounter() {
  std::u16string path;
  if (!statePath(kCounterSuffix, &path)) return false;
  std::vector<uint8_t> bytes(kCounterBytes);
  storeU32(bytes.data(), directoriesIndex_);
  // A counter already there is rewritten in place: another process opening the cache meanwhile
  // (the provider, while the monitor works) never finds it emptied.
  std::unique_ptr<StorageFile> file = newMappedFile(path.c_str());
  uint32_t size = 0;
  if (file != nullptr && file->open() && file->getSize(&size) && size == kCounterBytes &&
      file->seek(0, SEEK_FROM_START) && file->write(bytes.data(), kCounterBytes) == kCounterBytes &&
      file->close()) {
    return true;
  }
  file.reset();
  if (!replaceFile(path.c_str(), bytes)) {
    FS_TRACE(logger_, "FS_Cache::saveCounter - cannot write %ls\n", path.c_str());
    return false;
  }
  return true;
}

void FS_Cache::loadExHash() {
  if (exHashPath_.empty()) return;
  std::unique_ptr<platform::ReadableFile> file = platform::ReadableFile::open(exHashPath_.c_str());
  if (file == nullptr) return;
  char key[kMaxStoredKeyBytes];
  for (;;) {
    uint8_t length[4];
    if (readFully(file.get(), length, sizeof length) != sizeof length) break;
    const uint32_t keyBytes = loadU32(length);
    if (keyBytes >= kMaxStoredKeyBytes) break;
    ExHashEntry entry{};
    if (readFully(file.get(), key, keyBytes) != keyBytes) break;
    if (readFully(file.get(), entry.digest.data(), kMd5DigestBytes) != kMd5DigestBytes) break;
    entry.valid = true;
    exHash_[std::string(key, keyBytes)] = entry;
  }
}

void FS_Cache::saveExHash() {
  if (exHashPath_.empty()) return;
  std::vector<uint8_t> bytes;
  for (const auto& [key, entry] : exHash_) {
    if (!entry.valid) continue;
    const size_t at = bytes.size();
    bytes.resize(at + 4 + key.size() + kMd5DigestBytes);
    storeU32(&bytes[at], static_cast<uint32_t>(key.size()));
    std::memcpy(&bytes[at + 4], key.data(), key.size());
    std::memcpy(&bytes[at + 4 + key.size()], entry.digest.data(), kMd5DigestBytes);
  }
  if (!replaceFile(exHashPath_.c_str(), bytes)) {
    FS_TRACE(logger_, "FS_Cache::saveExHash - cannot write %ls\n", exHashPath_.c_str());
  }
}

Md5Digest FS_Cache::exclusionDigest(const PathList& exclusions) const {
  if (exclusions.empty()) return Md5Digest{};
  Md5 md5;
  std::string narrow;
  for (const PathEntry& entry : exclusions) {
    if (entry.path() == nullptr || !platform::wideToNarrow(entry.path(), &narrow)) continue;
    md5.update(narrow.data(), std::min(narrow.size(), kMaxKeyBytes));
  }
  return md5.finish();
}

bool FS_Cache::exHashKey(const char16_t* path, std::string* key) const {
  if (path == nullptr || !platform::wideToNarrow(path, key)) return false;
  if (key->size() > kMaxKeyBytes) key->resize(kMaxKeyBytes);
  if (!key->empty() && (key->back() == '\\' || key->back() == '/')) key->pop_back();
  return true;
}

void FS_Cache::updateExHash(const PathList& exclusions, const char16_t* path) {
  const Md5Digest digest = exclusionDigest(exclusions);
  std::string key;
  if (!exHashKey(path, &key)) {
    FS_TRACE(logger_, "FS_Cache::updateExHash - path has no narrow form\n");
    return;
  }
  exHash_[key] = ExHashEntry{digest, true};
  for (auto& [other, entry] : exHash_) {
    if (other.size() < key.size() && key.compare(0, other.size(), other) == 0) {
      entry = ExHashEntry{Md5Digest{}, false};
    } else if (other.size() > key.size() && other.compare(0, key.size(), key) == 0) {
      entry = ExHashEntry{digest, true};
    }
  }
  saveExHash();
}

bool FS_Cache::sameExHash(const PathList& exclusions, const char16_t* path) {
  const Md5Digest digest = exclusionDigest(exclusions);
  std::string key;
  if (!exHashKey(path, &key)) {
    FS_TRACE(logger_, "FS_Cache::sameExHash - path has no narrow form\n");
    return false;
  }
  auto found = exHash_.try_emplace(key, ExHashEntry{Md5Digest{}, false}).first;
  return found->second.digest == digest;
}
