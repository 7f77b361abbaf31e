// Result extraction: the cached files that satisfy a query, handed to the host's sink.
#include "ChecksumFilter.h"
#include "base/result_codes.h"
#include "base/wildcard.h"
#include "base/wstring.h"
#include "cache/cache_records.h"
#include "cache/fs_cache.h"
#include "fs/checksums.h"
#include "fs/file_mode.h"

namespace {

// The columns a match hands over, bound once: a record set's fields stay the same objects from
// record to record. A column that is missing or of another type reads as null or 0, as the
// record set's getters by name give it.
class FileColumns {
 public:
  explicit FileColumns(RecordSetRef& files)
      : pathId_(typedColumn<Int32Field>(files.get(), u"PATHID", FIELD_INT32)),
        size_(typedColumn<Int64Field>(files.get(), u"SIZE", FIELD_INT64)),
        attributes_(typedColumn<Int32Field>(files.get(), u"ATTR", FIELD_INT32)),
        crc32_(typedColumn<Int32Field>(files.get(), u"CRC32", FIELD_INT32)),
        q32_(typedColumn<Int32Field>(files.get(), u"Q32", FIELD_INT32)),
        name_(typedColumn<WStringField>(files.get(), u"FILENAME", FIELD_WSTRING)),
        md5_(typedColumn<WStringField>(files.get(), u"MD5", FIELD_WSTRING)) {}

  uint32_t pathId() const { return number(pathId_); }
  uint64_t size() const { return size_ != nullptr ? static_cast<uint64_t>(size_->value()) : 0; }
  uint32_t attributes() const { return number(attributes_); }
  uint32_t crc32() const { return number(crc32_); }
  uint32_t q32() const { return number(q32_); }
  const char16_t* name() const { return name_ != nullptr ? name_->value() : nullptr; }
  const char16_t* md5() const { return md5_ != nullptr ? md5_->value() : nullptr; }

 private:
  static uint32_t number(const Int32Field* field) {
    return field != nullptr ? static_cast<uint32_t>(field->value()) : 0;
  }

  const Int32Field* pathId_;
  const Int64Field* size_;
  const Int32Field* attributes_;
  const Int32Field* crc32_;
  const Int32Field* q32_;
  const WStringField* name_;
  const WStringField* md5_;
};

}  // namespace

int FS_Cache::extractResults(FsResults* results, const char16_t* criteria, const DriveList&,
                             const ResolvedPathList&, const PathList& includes,
                             const PathList& excludes, RecordSetRef& files,
                             RecordSetRef& directories, bool caseSensitive, uint32_t timeout) {
  if (includes.empty()) {
    FS_TRACE(logger_, "FS_Cache::extractResults - no included paths specified!\n");
    return SUCCESS;
  }
  std::unique_ptr<CriteriaEvaluator> evaluator(new (std::nothrow) CriteriaEvaluator(criteria));
  if (evaluator == nullptr) {
    FS_TRACE(logger_, "FS_Cache::extractResults - out of memory!\n");
    return GENERAL_FAILURE;
  }
  files.setCriteria(evaluator.get(), caseSensitive);
  const FileColumns columns(files);

  const uint32_t deadline = platform::tickCount() + timeout;
  const ChecksumFilter* filter =
      checksumFilter_ != nullptr && !checksumFilter_->isEmpty() ? checksumFilter_ : nullptr;
  char16_t path[kDirectoryPathCapacity];
  std::u16string directory;
  bool haveDirectory = false;
  uint32_t lastPathId = 0;
  bool included = false;
  int result = SUCCESS;
  for (bool more = files.moveFirst(); more; more = files.moveNext()) {
    if (static_cast<int32_t>(deadline - platform::tickCount()) < 1) {
      FS_TRACE(logger_, "FS_Cache::extractResults - timed out!\n");
      result = QUERY_TIMED_OUT;
      break;
    }
    const uint32_t pathId = columns.pathId();
    if (!haveDirectory || pathId != lastPathId) {
      haveDirectory = true;
      lastPathId = pathId;
      if (!findPathById(directories, pathId, path, kDirectoryPathCapacity)) {
        FS_TRACE(logger_,
                 "FS_Cache::extractResults - findPathById() failed! extract interrupted!\n");
        result = CACHE_INVALID;
        break;
      }
      included = matchesPathList(path, includes, caseSensitive, false) &&
                 (excludes.empty() || !matchesPathList(path, excludes, caseSensitive, false));
      if (included) {
        directory = path;
        if (directory.empty() || directory.back() != u'\\') directory += u'\\';
      }
    }
    if (!included) continue;
    if (filter != nullptr && !keepForChecksums(*filter, files, directory.c_str())) continue;

    const uint64_t size = columns.size();
    results->addFile(directory.c_str(), columns.name(), static_cast<uint32_t>(size),
                     static_cast<uint32_t>(size >> 32), columns.attributes(), columns.md5(),
                     columns.crc32(), columns.q32());
  }
  // The evaluator dies here: the record set must not keep it.
  files.setCriteria(nullptr, caseSensitive);
  return result;
}

bool FS_Cache::keepForChecksums(const ChecksumFilter& filter, RecordSetRef& files,
                                const char16_t* directory) {
  ChecksumRequest request;
  request.mask = kChecksumCrc32 | kChecksumQ32 | kChecksumMd5;
  if (checksumsWanted_) {
    request.crc32 = static_cast<uint32_t>(files.getInt32(u"CRC32"));
    request.q32 = static_cast<uint32_t>(files.getInt32(u"Q32"));
    request.md5 = textToMd5(files.getString(u"MD5"));
  } else if ((static_cast<uint32_t>(files.getInt32(u"ATTR")) & kModeFifo) == 0) {
    const std::u16string path = std::u16string(directory) + files.getString(u"FILENAME");
    computeChecksums(&request, path.c_str());
  }
  return filter.match(request);
}

bool FS_Cache::findPathById(RecordSetRef& directories, uint32_t id, char16_t* buffer,
                            size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  buffer[0] = u'\0';
  for (;;) {
    if (directoryPaths_.size() > kDirectoryPathCacheLimit) directoryPaths_.clear();
    auto found = directoryPaths_.find(id);
    if (found == directoryPaths_.end()) {
      if (!seekId(directories, id)) return false;
      const char16_t* name = directories.getString(u"PATHNAME");
      found = directoryPaths_
                  .emplace(
                      id, CachedDirectory{name != nullptr ? name : u"",
                                          static_cast<uint32_t>(directories.getInt32(u"PARENTID"))})
                  .first;
    }
    const std::u16string& name = found->second.name;
    if (buffer[0] != u'\0' && (name.empty() || name.back() != u'\\') &&
        !wcsPrepend(u"\\", buffer, capacity)) {
      return false;
    }
    if (!wcsPrepend(name.c_str(), buffer, capacity)) return false;
    if (found->second.parentId == 0) return buffer[0] != u'\0';
    id = found->second.parentId;
  }
}
