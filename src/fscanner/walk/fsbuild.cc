#include "walk/fsbuild.h"

#include <cstring>
#include <string>

#include "ZrLogWrapper.h"
#include "base/trace_as.h"
#include "base/wildcard.h"
#include "base/wstring.h"
#include "criteria/column_reads.h"
#include "fs/file_mode.h"
#include "platform/platform.h"

// Every message of fs_build and fs_scan carries the function name fs_build.
#define WALK_TRACE(...) FS_TRACE_AS(getZrLogFs(), "fs_build", __VA_ARGS__)

namespace {

using platform::kAttrDevice;
using platform::kAttrDirectory;
using platform::kAttrReparsePoint;

// Directory paths live in buffers of this many characters, zero included.
constexpr size_t kPathCapacity = platform::kMaxPath;
// Characters a directory's own path may take: its prefix and the "*" of its search pattern must
// still fit.
constexpr size_t kPatternReserve = 2;

// What stays the same throughout one walk.
struct Walk {
  FsResults* results;
  FsScanFilter* filter;
  bool recursive;
  const PathList* includes;
  const PathList* exclusions;
  bool caseSensitive;
  bool fatDrive;          // no times from directory entries
  uint32_t checksumMask;  // kChecksum* bits; 0 when none is asked for
};

// Describes the file from its directory entry in the directory's reused FsFileInfo.
void describe(const Walk& walk, const platform::FindData& entry, FsFileInfo* info) {
  info->clearItems();
  info->setName(entry.name.c_str());
  info->setSize(static_cast<uint32_t>(entry.size), static_cast<uint32_t>(entry.size >> 32));
  info->setMode(modeFromAttributes(entry.attributes, entry.name.c_str(), entry.shortName.c_str()));
  if (!walk.fatDrive) {
    info->setCreationTime(fileTimeToUnix(entry.creationTime));
    info->setAccessTime(fileTimeToUnix(entry.lastAccessTime));
    info->setModificationTime(fileTimeToUnix(entry.lastWriteTime));
  }
}

// Describes the file, computes the checksums asked for and reports the file when the filter
// accepts it. A file whose details are pending is judged by its name first; one that vanished
// before its details were read is not reported.
void examineFile(const Walk& walk, platform::DirectorySearch* search, platform::FindData* entry,
                 const char16_t* prefix, FsFileInfo* info, ChecksumRequest* request,
                 std::u16string* filePath) {
  if (entry->detailsPending) {
    if (walk.filter->acceptName(entry->name.c_str()) && search->complete(entry)) {
      describe(walk, *entry, info);
      walk.results->addFileInfo(info);
    }
    return;
  }
  describe(walk, *entry, info);
  *request = ChecksumRequest{};
  request->mask = walk.checksumMask;
  // FIFOs, sockets and devices are never opened for reading: their request stays unread
  // (status 0), so no checksum filter can match them.
  if (walk.checksumMask != 0 && (info->mode() & kModeFifo) == 0 &&
      (entry->attributes & kAttrDevice) == 0) {
    filePath->assign(prefix).append(entry->name);
    computeChecksums(request, filePath->c_str());
  }

  if (walk.filter->accept(info, *request, entry->shortName.c_str())) {
    walk.results->addFileInfo(info);
  }
}

int scanDirectory(const Walk& walk, const char16_t* path, int64_t budgetMs) {
  if (budgetMs <= 0) return kWalkTimedOut;
  const size_t pathLength = wcsLength(path);
  if (pathLength + kPatternReserve >= kPathCapacity) {
    WALK_TRACE("::fs_scan - path too long\n");
    return kWalkFinished;
  }

  // One buffer holds the search pattern (prefix + "*"), then the prefix, and the path of each
  // subdirectory (prefix + name) while it is walked.
  char16_t buffer[kPathCapacity];
  std::memcpy(buffer, path, pathLength * sizeof(char16_t));
  size_t prefixLength = pathLength;
  if (prefixLength == 0 || buffer[prefixLength - 1] != u'\\') buffer[prefixLength++] = u'\\';
  buffer[prefixLength] = u'*';
  buffer[prefixLength + 1] = u'\0';

  const bool filesWanted =
      walk.includes->empty() || matchesPathList(path, *walk.includes, walk.caseSensitive, false);
  const bool filesExcluded = !walk.exclusions->empty() &&
                             matchesPathList(path, *walk.exclusions, walk.caseSensitive, false);
  const bool examineFiles = filesWanted && !filesExcluded;
  const bool namesFirst = examineFiles && walk.checksumMask == 0 && walk.filter->decidesByName();

  platform::FindData entry;
  std::unique_ptr<platform::DirectorySearch> search = platform::DirectorySearch::start(
      buffer, &entry,
      namesFirst ? platform::FindDetails::kNamesFirst : platform::FindDetails::kAll);
  if (search == nullptr) {
    WALK_TRACE("::fs_scan - invalid file handle. Error %u opening '%S' path\n",
               platform::lastError(), buffer);
    return kWalkFinished;
  }
  buffer[prefixLength] = u'\0';

  const uint32_t startTick = platform::tickCount();

  FsFileInfo info;
  info.setDirectory(buffer);
  ChecksumRequest request;
  std::u16string filePath;

  int result = kWalkFinished;
  for (;;) {
    if ((entry.attributes & kAttrDirectory) == 0) {
      if (examineFiles) examineFile(walk, search.get(), &entry, buffer, &info, &request, &filePath);
    } else if (walk.recursive && (entry.attributes & kAttrReparsePoint) == 0 &&
               !isDotEntry(entry.name.c_str())) {
      if (prefixLength + entry.name.size() >= kPathCapacity) {
        WALK_TRACE("::fs_scan - path too long\n");
      } else {
        std::memcpy(buffer + prefixLength, entry.name.c_str(),
                    (entry.name.size() + 1) * sizeof(char16_t));
        if (!walk.exclusions->empty() &&
            matchesPathList(buffer, *walk.exclusions, walk.caseSensitive, true)) {
          WALK_TRACE("::fs_scan - path '%S' excluded!\n", buffer);
        } else {
          const uint32_t elapsed = platform::tickCount() - startTick;
          result = scanDirectory(walk, buffer, budgetMs - elapsed);
        }
        buffer[prefixLength] = u'\0';
      }
    }
    if (result != kWalkFinished) break;
    if (!search->next(&entry)) {
      const uint32_t error = platform::lastError();
      if (error != platform::kErrorNoMoreFiles) {
        WALK_TRACE("::fs_scan - FindNextFile error. Error is %u\n", error);
        result = kWalkEnumerationFailed;
      }
      break;
    }
  }
  return result;
}

}  // namespace

FsScanFilter::FsScanFilter(const char16_t* criteriaText, bool caseSensitive)
    : caseSensitive_(caseSensitive),
      decidesByName_(readsOnlyColumn(criteriaText, u"FILENAME")),
      evaluator_(std::make_unique<CriteriaEvaluator>(criteriaText)) {
  columns_.addField(u"FILENAME", FIELD_WSTRING);
  columns_.addField(u"SHORTFILENAME", FIELD_WSTRING);
  columns_.addField(u"SIZE", FIELD_INT64);
  columns_.addField(u"ATTR", FIELD_INT32);
  columns_.addField(u"PATHID", FIELD_INT32);
  columns_.addField(u"MD5", FIELD_WSTRING);
  columns_.addField(u"CRC32", FIELD_INT32);
  columns_.addField(u"Q32", FIELD_INT32);
  fileName_ = static_cast<WStringField*>(columns_.at(0));
  shortFileName_ = static_cast<WStringField*>(columns_.at(1));
  size_ = static_cast<Int64Field*>(columns_.at(2));
  attributes_ = static_cast<Int32Field*>(columns_.at(3));
  md5_ = static_cast<WStringField*>(columns_.at(5));
  crc32_ = static_cast<Int32Field*>(columns_.at(6));
  q32_ = static_cast<Int32Field*>(columns_.at(7));
  evaluator_->setColumns(&columns_);
}

FsScanFilter::~FsScanFilter() = default;

uint32_t FsScanFilter::checksumMask() const {
  uint32_t mask = 0;
  if ((options_ & kOptionCrc32) != 0) mask |= kChecksumCrc32;
  if ((options_ & kOptionQ32) != 0) mask |= kChecksumQ32;
  if ((options_ & kOptionMd5) != 0) mask |= kChecksumMd5;
  return mask;
}

bool FsScanFilter::accept(FsFileInfo* fileInfo, const ChecksumRequest& request,
                          const char16_t* shortName) {
  if (fileInfo == nullptr) return false;
  fileName_->setValue(fileInfo->name());
  if (shortName != nullptr) shortFileName_->setValue(shortName);
  size_->setValue(static_cast<int64_t>(fileInfo->getSize()));
  attributes_->setValue(static_cast<int32_t>(fileInfo->getMode()));
  md5_->setValue(u"0");
  crc32_->setValue(0);
  q32_->setValue(0);
  return decide(request);
}

bool FsScanFilter::acceptName(const char16_t* name) {
  fileName_->setValue(name);
  return decide(ChecksumRequest{});
}

bool FsScanFilter::decide(const ChecksumRequest& request) {
  if (evaluator_->evaluate(caseSensitive_) != 1) return false;
  if (checksumFilter_ == nullptr) return true;
  // A file whose checksums were not computed (it did not open, or it is a FIFO or device) holds
  // no checksums of its own: its zeros must not pass for wanted values.
  return request.status == 1 && checksumFilter_->match(request);
}

bool fs_isValidPath(char16_t* path) {
  if (path == nullptr) {
    FS_TRACE(getZrLogFs(), "::isValidPath - path name specified is null\n");
    return false;
  }
  const size_t length = wcsLength(path);
  if (length == 3 && path[0] != u'0' && path[1] == u':' && path[2] == u'\\') return true;
  if (length > 0 && path[length - 1] == u'\\') path[length - 1] = u'\0';

  platform::FindData entry;
  if (platform::DirectorySearch::start(path, &entry) == nullptr) {
    FS_TRACE(getZrLogFs(), "::isValidPath - invalid file handle. Error %u opening '%S' path\n",
             platform::lastError(), path);
    return false;
  }
  return (entry.attributes & kAttrDirectory) != 0 && (entry.attributes & kAttrReparsePoint) == 0;
}

int fs_build(FsResults* results, FsScanFilter* filter, const ResolvedPath& start,
             const PathList& includes, const PathList& exclusions, bool caseSensitive,
             int64_t budgetMs) {
  const char16_t* path = start.path.path();
  if (!exclusions.empty() &&
      matchesPathList(path, exclusions, caseSensitive, start.path.recursive())) {
    WALK_TRACE("::fs_build - path '%S' excluded!\n", path);
    return kWalkFinished;
  }
  // fs_isValidPath drops a trailing backslash; the walk starts from what it checked.
  std::u16string checked = path != nullptr ? path : u"";
  if (!fs_isValidPath(path != nullptr ? &checked[0] : nullptr)) {
    WALK_TRACE("::fs_build - '%S' is a symbolic link or is not a directory!\n", path);
    return kWalkFinished;
  }
  checked.resize(wcsLength(checked.c_str()));
  return fs_scan(results, filter,
                 ResolvedPath{PathEntry(checked.c_str(), start.path.recursive()), start.drive},
                 includes, exclusions, caseSensitive, budgetMs);
}

int fs_scan(FsResults* results, FsScanFilter* filter, const ResolvedPath& start,
            const PathList& includes, const PathList& exclusions, bool caseSensitive,
            int64_t budgetMs) {
  const char16_t* path = start.path.path();
  if (results == nullptr || filter == nullptr || path == nullptr) {
    WALK_TRACE("::fs_scan - results, filter or path is null!\n");
    return kWalkFinished;
  }
  const Walk walk{results,     filter,        start.path.recursive(),       &includes,
                  &exclusions, caseSensitive, isFatFileSystem(start.drive), filter->checksumMask()};
  return scanDirectory(walk, path, budgetMs);
}
