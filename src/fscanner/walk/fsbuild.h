// The file-system walk used when a query reads the disk rather than the cache: checks the start
// directory, descends it (when the start entry is recursive) subject to exclusions, a length limit
// and a time budget, describes each file by an FsFileInfo taken from its directory entry,
// computes the checksums the filter asks for, and hands every file the filter accepts to the
// host's results. When the criteria read only the name and no checksum is asked for, a file's
// other details are read only once its name has been accepted.
//
// The walk runs on the caller's thread and keeps no state between calls.
#ifndef FSCANNER_WALK_FSBUILD_H
#define FSCANNER_WALK_FSBUILD_H

#include <cstdint>
#include <memory>

#include "FsFileInfo.h"
#include "FsResults.h"
#include "PathEntry.h"
#include "criteria/criteria_evaluator.h"
#include "fs/checksums.h"
#include "paths/pathhelper.h"
#include "tablestore/field.h"

// Results of fs_build and fs_scan.
constexpr int kWalkFinished = 0;  // also after a logged refusal of the start or a subdirectory
constexpr int kWalkEnumerationFailed = 1;
constexpr int kWalkTimedOut = 2;

// The budget the queries give a walk, in milliseconds.
constexpr int64_t kWalkDefaultBudgetMs = 2000000000;

// What a walk asks of each file: the query's criteria over the file's columns FILENAME (5),
// SHORTFILENAME (5), SIZE (4), ATTR (3), PATHID (3), MD5 (5), CRC32 (3), Q32 (3), and optionally
// checksums tested against a checksum filter.
class FsScanFilter {
 public:
  // Option bits that ask for checksums.
  static constexpr uint32_t kOptionMd5 = 0x20;
  static constexpr uint32_t kOptionCrc32 = 0x40;
  static constexpr uint32_t kOptionQ32 = 0x80;
  // The options of a new filter: no checksum asked for.
  static constexpr uint32_t kDefaultOptions = 31;

  // A null criteria text makes a filter that accepts nothing.
  FsScanFilter(const char16_t* criteriaText, bool caseSensitive);
  ~FsScanFilter();
  FsScanFilter(const FsScanFilter&) = delete;
  FsScanFilter& operator=(const FsScanFilter&) = delete;

  bool caseSensitive() const { return caseSensitive_; }
  uint32_t options() const { return options_; }
  void setOptions(uint32_t options) { options_ = options; }
  // The checksums the options ask for, as a checksum request mask (kChecksum* bits).
  uint32_t checksumMask() const;
  // Not owned; null for none. Must outlive the walks that use the filter.
  void setChecksumFilter(const ChecksumFilter* filter) { checksumFilter_ = filter; }

  // Fills the columns from the file (FILENAME, SHORTFILENAME when one is passed, SIZE, ATTR) and
  // the checksum columns with zeros (MD5 the text 0): criteria never see computed checksums, those
  // are tested through the checksum filter only. True when the criteria evaluate to 1 and, with a
  // checksum filter, the request was computed (status 1) and the filter matches it.
  bool accept(FsFileInfo* fileInfo, const ChecksumRequest& request, const char16_t* shortName);
  // True when the criteria read no column but FILENAME: a file's name alone then decides.
  bool decidesByName() const { return decidesByName_; }
  // accept for such a filter, from the name alone, when no checksum is asked for; the other
  // columns keep their values, which the criteria do not read.
  bool acceptName(const char16_t* name);

 private:
  // The criteria over the filled columns, then the checksum filter.
  bool decide(const ChecksumRequest& request);

  bool caseSensitive_;
  bool decidesByName_;
  FieldList columns_;
  std::unique_ptr<CriteriaEvaluator> evaluator_;
  uint32_t options_ = kDefaultOptions;
  const ChecksumFilter* checksumFilter_ = nullptr;
  // The columns, typed, in the order of columns_.
  WStringField* fileName_ = nullptr;
  WStringField* shortFileName_ = nullptr;
  Int64Field* size_ = nullptr;
  Int32Field* attributes_ = nullptr;
  WStringField* md5_ = nullptr;
  Int32Field* crc32_ = nullptr;
  Int32Field* q32_ = nullptr;
};

// True when path is an existing directory that is not a reparse point (symbolic link, junction).
// A drive root of three characters (C:\) is accepted without a disk access. One trailing
// backslash is removed from path in place. False, traced, for a null path or one that cannot be
// found.
bool fs_isValidPath(char16_t* path);

// Walks start: refuses (kWalkFinished, traced) a start directory that matches the exclusions or
// is not a directory or is a reparse point; otherwise fs_scan. Each accepted file goes to
// results->addFileInfo; the FsFileInfo is valid only during that call (one serves a directory).
int fs_build(FsResults* results, FsScanFilter* filter, const ResolvedPath& start,
             const PathList& includes, const PathList& exclusions, bool caseSensitive,
             int64_t budgetMs);

// Walks the directory start.path: the files of a directory are examined when includes is empty
// or matches the directory, and exclusions does not; subdirectories (when start.path is
// recursive) unless they are reparse points, too long (a path of 258 characters or more) or
// match a recursive exclusion. kWalkTimedOut when the budget runs out (noticed when a directory
// is entered); kWalkEnumerationFailed when reading a directory fails part-way; each stops the
// whole walk. A directory that cannot be opened is traced and skipped. Checksums are computed
// only when the filter's options ask for them, and never for FIFOs, sockets or devices.
int fs_scan(FsResults* results, FsScanFilter* filter, const ResolvedPath& start,
            const PathList& includes, const PathList& exclusions, bool caseSensitive,
            int64_t budgetMs);

#endif  // FSCANNER_WALK_FSBUILD_H
