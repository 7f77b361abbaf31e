// FS_Cache: the persistent cache of directories and files that answers queries. Two tables of the
// table store in one cache directory (a directories table and a files table, with their indexes),
// the directory-id counter, the update marker and the exclusion digests, and the named access
// mutex through which the processes that use the directory serialise.
//
// The object is used by one thread at a time; it has no lock of its own. Every operation reports
// failure by its result and traces first; none throws.
#ifndef FSCANNER_CACHE_FS_CACHE_H
#define FSCANNER_CACHE_FS_CACHE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FsConfig.h"
#include "FsQuery.h"
#include "FsResults.h"
#include "PathEntry.h"
#include "ZrLogWrapper.h"
#include "base/win32sync.h"
#include "cache/cache_disposition.h"
#include "criteria/criteria_evaluator.h"
#include "criteria/criteria_value.h"
#include "fs/md5.h"
#include "paths/drive_entry.h"
#include "paths/pathhelper.h"
#include "platform/platform.h"
#include "tablestore/field.h"
#include "tablestore/record_set.h"
#include "tablestore/table.h"

// Results of build and scan.
constexpr int kBuildDone = 0;
constexpr int kBuildEnumerationFailed = 1;
constexpr int kBuildTimedOut = 2;

class FS_Cache {
 public:
  // Above this the directory ids are nearly used up (95 % of the 32-bit range): the cache is
  // treated as corrupted.
  static constexpr uint32_t kMaxDirectoriesIndex = 0xF3333333u;
  // Capacity, in characters, of the buffer a directory path is rebuilt in.
  static constexpr size_t kDirectoryPathCapacity = 264;
  // The directory-path cache is emptied before a lookup when it holds more entries than this.
  static constexpr size_t kDirectoryPathCacheLimit = 32;

  // The table names and the home directory are copied. A null name or home, a home whose full
  // path does not resolve, or a missing mutex, variable or evaluator leave the object not
  // initialised (traced): create() then answers GENERAL_FAILURE.
  FS_Cache(const char16_t* directoriesTable, const char16_t* filesTable, const char16_t* home,
           bool monitorMode, bool compact, bool cacheChecker, const FsCacheOptions* options);
  ~FS_Cache();
  FS_Cache(const FS_Cache&) = delete;
  FS_Cache& operator=(const FS_Cache&) = delete;

  // ---- Object and tables -----------------------------------------------------------------------
  // Opens (FS_CACHE_OPEN), creates (FS_CACHE_CREATE) or opens else creates (FS_CACHE_OPEN_ALWAYS)
  // the tables and loads the exclusion digests: SUCCESS, CACHE_ALREADY_OPENED or
  // GENERAL_FAILURE. The time-out is traced only.
  int create(int32_t timeout, int disposition);
  bool openCache();
  bool openTable(std::unique_ptr<Table>* slot, const char16_t* name);
  bool createFilesTable(std::unique_ptr<Table>* slot, const char16_t* name);
  bool createDirectoriesTable(std::unique_ptr<Table>* slot, const char16_t* name);
  bool createTables();
  // Takes the access mutex: SUCCESS, CACHE_LOCK_TIMED_OUT or GENERAL_FAILURE.
  int lock(uint32_t timeout);
  void unlock();
  // Closes the tables; removes the update marker unless the cache is corrupted. Always true.
  bool close();

  // ---- Queries (defined in query/) -------------------------------------------------------------
  // Answers a query from the cache and the disk: SUCCESS or a negative internal result code.
  // CACHE_INVALID, without touching the host objects, while the cache is not initialised, not
  // opened or corrupted; a result of CACHE_BUILD_TIMED_OUT or CACHE_INVALID marks it corrupted.
  // The extended form keeps its prepared lists and reuses them while the query's lists stay the
  // same. Note the order: the time-out comes before the age.
  int executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age);
  int executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age);
  // The strategies: the cache refreshed by the queries themselves, or kept by the monitor.
  int executeQueryCacheOnly(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age);
  int executeQueryCacheOnlyEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age);
  int executeQueryCacheOnlyAndMonitor(FsResults* results, FsQuery* query, uint32_t timeout,
                                      uint32_t age);
  int executeQueryCacheOnlyAndMonitorEx(FsResults* results, FsQuery* query, uint32_t timeout,
                                        uint32_t age);

  // ---- Build and scan --------------------------------------------------------------------------
  // The ancestor paths of entry, from the path itself up to its top component (each with the
  // entry's recursive flag), and the last component of each.
  static void splitPath(const PathEntry& entry, PathList* paths,
                        std::vector<std::u16string>* names);
  // Positions rs on the directory record of path, walking up through rs2; false when none.
  bool findPath(RecordSetRef& rs, RecordSetRef& rs2, const char16_t* path, bool caseSensitive);
  // Makes the records from the drive down to root.path exist, stamps root's record with the
  // current time and scans it: kBuildDone, kBuildEnumerationFailed or kBuildTimedOut.
  int build(const ResolvedPath& root, RecordSetRef& directories, uint32_t* directoriesIndex,
            RecordSetRef& files, RecordSetRef& directories2, const PathList& includes,
            const PathList& excludes, bool caseSensitive, uint32_t timeout);
  // Records the entries of directory (id parentId) and, when it is recursive, its subtree.
  int scan(const PathEntry& directory, RecordSetRef& directories, uint32_t* directoriesIndex,
           RecordSetRef& files, uint32_t parentId, const PathList& includes,
           const PathList& excludes, bool caseSensitive, int64_t remaining);

  // What refreshTree did, for the monitor's report.
  struct RefreshCounts {
    uint32_t visited = 0;    // directories checked
    uint32_t rescanned = 0;  // directories read again
    uint32_t removed = 0;    // directories gone from the disk
    uint32_t rebuilt = 0;    // trees built anew (no usable record)
  };
  // Budget of the scans a refresh makes, in milliseconds.
  static constexpr int64_t kRefreshBudgetMs = 2000000000;
  // Brings the recorded tree of root (a drive root or directory, recursive) up to date with the
  // disk: a tree without a scanned record is built; otherwise every recorded directory is
  // checked, and one whose modification time is not older than its recorded scan is read again
  // (its files replaced, new subdirectories built, vanished ones removed; one that cannot be read
  // keeps its records and is read again next time). kBuildDone, or the failure of a tree build or
  // a time-out.
  int refreshTree(const ResolvedPath& root, const PathList& excludes, RefreshCounts* counts);

  // Brings one directory's records in line with the disk after a change report: its files and
  // its subdirectories (new ones recorded with their trees, gone ones removed), not the
  // subdirectories' contents. A directory without a record, or gone from the disk, is handled by
  // its nearest recorded ancestor that exists. kBuildDone, or the failure of a scan it made.
  int refreshDirectory(const char16_t* path, const PathList& excludes);
  // Records a directory renamed or moved from one recorded place to another (drive-qualified
  // paths) as one record change, its subtree untouched. False, nothing written, when from is not
  // recorded, to's parent is not, or to is recorded already: the parents' refreshDirectory then
  // does the work.
  bool moveDirectory(const char16_t* from, const char16_t* to);

  // ---- Extraction ------------------------------------------------------------------------------
  // Hands every cached file that satisfies criteria, lies in an included and not excluded
  // directory and matches the host's checksum filter to results->addFile: SUCCESS,
  // QUERY_TIMED_OUT or CACHE_INVALID (a directory chain that does not resolve).
  int extractResults(FsResults* results, const char16_t* criteria, const DriveList& drives,
                     const ResolvedPathList& scanList, const PathList& includes,
                     const PathList& excludes, RecordSetRef& files, RecordSetRef& directories,
                     bool caseSensitive, uint32_t timeout);
  // The full path of directory id (the PATHNAME chain from its top entry down, joined by
  // backslashes) into buffer; false when the chain does not resolve or does not fit.
  bool findPathById(RecordSetRef& directories, uint32_t id, char16_t* buffer, size_t capacity);

  // ---- Markers and persisted state -------------------------------------------------------------
  void beginCacheUpdate();
  void endCacheUpdate();
  bool insideCacheUpdate();
  bool readCounter();
  bool saveCounter();
  void loadExHash();
  void saveExHash();
  void updateExHash(const PathList& exclusions, const char16_t* path);
  bool sameExHash(const PathList& exclusions, const char16_t* path);

  // ---- Tables shared with the monitor ----------------------------------------------------------
  // The monitor changes the tables only while it holds both table mutexes, in short batches with
  // the update marker set; a reader takes both around one query and lets its views follow first.
  // Takes both mutexes (directories, then files: the same order in every process) within timeout
  // milliseconds in all; false, nothing held, when they could not both be taken.
  bool acquireTables(uint32_t timeout);
  void releaseTables();
  // For a reader that holds the tables: every view follows its file, and the tables count as
  // usable unless a view cannot follow or the update marker is set. The marker means a batch the
  // monitor did not finish: the tables may be half changed, and the reader closes them until the
  // marker is gone (the next monitor can only rebuild files nobody holds), then opens them again.
  void refreshSharedTables();
  bool tablesUsable() const { return tablesUsable_; }
  // True when the files at the tables' paths are no longer the ones this cache has open: someone
  // removed the cache directory or put other files there.
  bool tablesReplacedOnDisk() const;
  // Record writes of both tables that failed so far (Table::writeFailures): a writer that finds
  // the count changed by its work cannot trust the tables to hold what it wrote.
  uint32_t tableWriteFailures() const;

  // ---- Compaction ------------------------------------------------------------------------------
  // Removed records and their index cells are never reused: tables that change all the time grow
  // and their chains lengthen. The monitor rewrites them as copies of their live records once
  // removed record numbers outnumber live ones (and pass kCompactionMinRemoved) in either table.
  static constexpr uint32_t kCompactionMinRemoved = 4096;
  bool compactionDue();
  enum class Compaction {
    kDone,      // both tables rewritten and open again
    kDeferred,  // nothing changed (a copy could not be written or the first file not replaced)
    kBroken,    // files were replaced in part: the tables must be built anew
  };
  // For the monitor, holding both table mutexes with the update marker set: writes compacted
  // copies of both tables into the staging directory "compact" of the home, puts them in place
  // of the tables' files, and opens the tables again. Readers notice the new files by their
  // identity (Table::replacedOnDisk) and open them again.
  Compaction compactTables();

  // ---- Removal ---------------------------------------------------------------------------------
  void removeFiles(Table* files, uint32_t id);
  void removeTree(Table* directories, Table* files, uint32_t id);

  // ---- State -----------------------------------------------------------------------------------
  bool initialized() const { return cacheInitialized_; }
  bool opened() const { return opened_; }
  bool corrupted() const { return corrupted_; }
  void setCorrupted(bool corrupted) { corrupted_ = corrupted; }
  bool monitorMode() const { return monitorMode_; }
  bool checksumsWanted() const { return checksumsWanted_; }
  bool cacheAllDriveTypes() const { return cacheAllDriveTypes_; }
  // The host's checksum filter; null when none.
  const ChecksumFilter* checksumFilter() const { return checksumFilter_; }
  uint32_t directoriesIndex() const { return directoriesIndex_; }
  uint32_t* directoriesIndexSlot() { return &directoriesIndex_; }
  const char16_t* cachePathName() const { return cachePathName_.c_str(); }
  const char16_t* accessMutexName() const { return accessMutexName_.c_str(); }
  Table* filesTable() const { return tbFiles_.get(); }
  Table* directoriesTable() const { return tbDirectories_.get(); }
  RecordSetRef& filesRecords() { return rsFiles_; }
  RecordSetRef& directoryRecords() { return rsDirectories_; }
  RecordSetRef& directoryRecords2() { return rsDirectories2_; }
  platform::TlsSlot* threadSlot() const { return threadSlot_.get(); }
  // The directory-path cache's size, for its bound.
  size_t directoryPathCacheSize() const { return directoryPaths_.size(); }

 private:
  struct CachedDirectory {
    std::u16string name;
    uint32_t parentId;
  };
  struct ExHashEntry {
    Md5Digest digest;
    bool valid;
  };

  struct ChildDirectory {
    uint32_t id;
    std::u16string name;
    uint32_t scanTime;
  };

  bool defineVariables();
  // The recorded subdirectories of directory id.
  void childDirectories(uint32_t id, std::vector<ChildDirectory>* out);
  // Sets the CREATIONTIME of directory id.
  bool stampDirectory(uint32_t id, uint32_t time);
  // Compares directory id (base ends with a backslash) with the disk and writes only the
  // differences; children holds its recorded subdirectories and keeps those still on disk.
  // kBuildEnumerationFailed, the directory left unstamped, when it cannot be read or a read error
  // cuts its listing off (nothing written) or the scan of a new subdirectory (that tree not kept).
  int syncDirectory(uint32_t id, const std::u16string& base, const PathList& excludes,
                    std::vector<ChildDirectory>* children);
  bool createEvaluators();
  // Opens the one files and two directories record sets the cache keeps.
  void openRecordSets();
  // Positions rs, a record set of the directories table, on the directory record of id: through
  // the table's key search where the ID index exists, else as seekNumber does.
  bool seekId(RecordSetRef& rs, uint32_t id);
  // Positions rs on the first record whose column equals value, seeking through the column's
  // index with evaluator (whose variable is set to value first).
  bool seekNumber(RecordSetRef& rs, CriteriaEvaluator* evaluator, const char16_t* column,
                  Int32Field* variable, uint32_t value);
  // The path of the marker or counter file (suffix ".cuflag" / ".counter"); false when a part is
  // missing.
  bool statePath(const char16_t* suffix, std::u16string* out) const;
  // True when something stands at the update marker's path, whatever the checker setting.
  bool markerPresent() const;
  int scanEntries(platform::DirectorySearch* search, platform::FindData* entry,
                  std::u16string* base, RecordSetRef& directories, uint32_t* directoriesIndex,
                  RecordSetRef& files, uint32_t parentId, bool recursive, const PathList& includes,
                  const PathList& excludes, bool caseSensitive, bool recordFiles,
                  uint32_t startTick, int64_t remaining);
  void recordFile(const platform::FindData& entry, const std::u16string& base, RecordSetRef& files,
                  uint32_t parentId);
  bool keepForChecksums(const ChecksumFilter& filter, RecordSetRef& files,
                        const char16_t* directory);
  Md5Digest exclusionDigest(const PathList& exclusions) const;
  // The narrow key of path for the exclusion digests (at most 259 bytes, one trailing separator
  // removed); false when it cannot be converted.
  bool exHashKey(const char16_t* path, std::string* key) const;

  std::unique_ptr<SyncObject> accessMutex_;
  std::unique_ptr<Table> tbFiles_;
  RecordSetRef rsFiles_;
  std::u16string filesTableName_;
  uint32_t directoriesIndex_ = 0;
  std::unique_ptr<Table> tbDirectories_;
  RecordSetRef rsDirectories_;
  RecordSetRef rsDirectories2_;
  std::u16string directoriesTableName_;
  std::u16string cachePathName_;
  std::u16string accessMutexName_;
  bool cacheInitialized_ = false;
  bool opened_ = false;
  bool corrupted_ = false;
  bool tablesUsable_ = true;
  bool sharedTablesClosed_ = false;
  bool monitorMode_;
  bool compact_;
  bool cacheChecker_;
  std::map<uint32_t, CachedDirectory> directoryPaths_;
  FieldList defaultVariables_;
  Int32Field* varId_ = nullptr;
  Int32Field* varPathId_ = nullptr;
  Int32Field* varParentId_ = nullptr;
  WStringField* varPathName_ = nullptr;
  WStringField* varShortPathName_ = nullptr;
  WStringField* varFileName_ = nullptr;
  WStringField* varShortFileName_ = nullptr;
  // The seven evaluators, in the order of their texts in fs_cache.cc.
  std::unique_ptr<CriteriaEvaluator> filesOfDirectory_;
  std::unique_ptr<CriteriaEvaluator> subdirectories_;
  std::unique_ptr<CriteriaEvaluator> directoryById_;
  std::unique_ptr<CriteriaEvaluator> directoryByAnyName_;
  std::unique_ptr<CriteriaEvaluator> directoryByName_;
  std::unique_ptr<CriteriaEvaluator> fileByAnyName_;
  std::unique_ptr<CriteriaEvaluator> fileByName_;
  CriteriaValue indexKey_;
  ZrLogWrapper* logger_;
  std::map<std::string, ExHashEntry> exHash_;
  std::u16string exHashPath_;
  const ChecksumFilter* checksumFilter_ = nullptr;
  int32_t level_ = 0;
  uint32_t reserved_ = 0;
  bool cacheAllDriveTypes_ = false;
  bool checksumsWanted_ = false;
  std::unique_ptr<platform::TlsSlot> threadSlot_;
};

#endif  // FSCANNER_CACHE_FS_CACHE_H
