#include "cache/fs_cache.h"

#include <cstdlib>
#include <new>

#include "base/result_codes.h"
#include "base/wstring.h"

namespace {

struct Variable {
  const char16_t* name;
  uint32_t type;
};

// The criteria variables, in their order.
constexpr Variable kVariables[] = {{u"id", FIELD_INT32},
                                   {u"pathid", FIELD_INT32},
                                   {u"parentid", FIELD_INT32},
                                   {u"pathname", FIELD_WSTRING},
                                   {u"shortpathname", FIELD_WSTRING},
                                   {u"filename", FIELD_WSTRING},
                                   {u"shortfilename", FIELD_WSTRING},
                                   {u"md5", FIELD_WSTRING},
                                   {u"crc32", FIELD_INT32},
                                   {u"q32", FIELD_INT32}};

struct Column {
  const char16_t* name;
  uint32_t type;
};

constexpr Column kDirectoryColumns[] = {{u"ID", FIELD_INT32},
                                        {u"PATHNAME", FIELD_WSTRING},
                                        {u"SHORTPATHNAME", FIELD_WSTRING},
                                        {u"PARENTID", FIELD_INT32},
                                        {u"CREATIONTIME", FIELD_INT32}};
constexpr const char16_t* kDirectoryIndexes[] = {u"PATHNAME", u"SHORTPATHNAME", u"ID", u"PARENTID"};

constexpr Column kFileColumns[] = {{u"FILENAME", FIELD_WSTRING}, {u"SHORTFILENAME", FIELD_WSTRING},
                                   {u"ATTR", FIELD_INT32},       {u"SIZE", FIELD_INT64},
                                   {u"PATHID", FIELD_INT32},     {u"MD5", FIELD_WSTRING},
                                   {u"CRC32", FIELD_INT32},      {u"Q32", FIELD_INT32}};
constexpr const char16_t* kFileIndexes[] = {u"FILENAME", u"SHORTFILENAME", u"PATHID"};

constexpr char16_t kMutexSuffix[] = u"_c_mutex";
constexpr char16_t kExHashSuffix[] = u"\\ex_hash";
// Checksums are wanted when the low byte of the host's level is above this.
constexpr int32_t kChecksumLevel = 31;

template <typename T>
T* typedVariable(const FieldList& variables, const char16_t* name, uint32_t type) {
  Field* field = variables.findField(name);
  return field != nullptr && field->type() == type ? static_cast<T*>(field) : nullptr;
}

// Makes a table object with the columns given and creates its files and indexes.
template <size_t kColumns, size_t kIndexes>
bool createTable(std::unique_ptr<Table>* slot, const char16_t* name, const char16_t* directory,
                 bool compact, const Column (&columns)[kColumns],
                 const char16_t* const (&indexes)[kIndexes]) {
  slot->reset(new (std::nothrow) Table(name, directory, compact));
  bool created = *slot != nullptr;
  for (const Column& column : columns) {
    created = created && (*slot)->addColumn(column.name, column.type);
  }
  created = created && (*slot)->create();
  if (!created) {
    slot->reset();
    return false;
  }
  // An index that cannot be made leaves the table usable (lookups then walk every record).
  for (const char16_t* column : indexes) {
    const std::u16string indexName = std::u16string(name) + u"_" + column;
    (*slot)->createIndex(indexName.c_str(), column);
  }
  return true;
}

// True when every index of the schema opened with the table. Records written while one is missing
// would never enter it, and the next process, which opens it, would miss them through it: a
// rebuilt tree would then be reported twice, or a directory could not be resolved.
template <size_t kIndexes>
bool hasEveryIndex(const Table& table, const std::u16string& name,
                   const char16_t* const (&indexes)[kIndexes]) {
  for (const char16_t* column : indexes) {
    if (table.findIndexByName((name + u"_" + column).c_str()) == nullptr) return false;
  }
  return true;
}

}  // namespace

FS_Cache::FS_Cache(const char16_t* directoriesTable, const char16_t* filesTable,
                   const char16_t* home, bool monitorMode, bool compact, bool cacheChecker,
                   const FsCacheOptions* options)
    : monitorMode_(monitorMode),
      compact_(compact),
      cacheChecker_(cacheChecker),
      logger_(getZrLogFs()),
      threadSlot_(platform::TlsSlot::allocate()) {
  if (options != nullptr) {
    checksumFilter_ = options->checksumFilter;
    level_ = options->level;
    reserved_ = options->reserved;
    cacheAllDriveTypes_ = options->cacheAllDriveTypes;
    checksumsWanted_ = (level_ & 0xFF) > kChecksumLevel;
  }
  if (directoriesTable == nullptr || filesTable == nullptr || home == nullptr) return;
  directoriesTableName_ = directoriesTable;
  filesTableName_ = filesTable;

  PathHelper pathHelper;
  char16_t* fullHome = pathHelper.realPath(home);
  if (fullHome == nullptr) {
    FS_TRACE(logger_,
             "FS_Cache::FS_Cache - cachePathName name is NULL, pathHelper.realPath() failed!\n");
    return;
  }
  cachePathName_ = fullHome;
  std::free(fullHome);

  accessMutexName_ = cachePathName_ + kMutexSuffix;
  for (char16_t& c : accessMutexName_) {
    if (c == u'\\' || c == u':') c = u'_';
  }
  exHashPath_ = cachePathName_ + kExHashSuffix;
  FS_TRACE(logger_, "FS_Cache::FS_Cache - accessMutex name is '%ls'\n", accessMutexName_.c_str());

  accessMutex_ = createNamedMutex(accessMutexName_.c_str());
  if (accessMutex_ == nullptr) {
    FS_TRACE(logger_, "FS_Cache::FS_Cache - accessMutex name is NULL\n");
    return;
  }
  if (!defineVariables()) {
    FS_TRACE(logger_, "FS_Cache::FS_Cache - defaultVariables error!\n");
    return;
  }
  if (!createEvaluators()) {
    FS_TRACE(logger_, "FS_Cache::FS_Cache - criteriaEvaluator creation error!\n");
    return;
  }
  cacheInitialized_ = true;
}

FS_Cache::~FS_Cache() {
  // Record sets belong to the tables; the variables that hold them are emptied when the tables
  // close, before the evaluators they point to are destroyed.
  if (tbFiles_ != nullptr) tbFiles_->close();
  if (tbDirectories_ != nullptr) tbDirectories_->close();
}

bool FS_Cache::defineVariables() {
  for (const Variable& variable : kVariables) {
    defaultVariables_.addField(variable.name, variable.type);
  }
  varId_ = typedVariable<Int32Field>(defaultVariables_, u"id", FIELD_INT32);
  varPathId_ = typedVariable<Int32Field>(defaultVariables_, u"pathid", FIELD_INT32);
  varParentId_ = typedVariable<Int32Field>(defaultVariables_, u"parentid", FIELD_INT32);
  varPathName_ = typedVariable<WStringField>(defaultVariables_, u"pathname", FIELD_WSTRING);
  varShortPathName_ =
      typedVariable<WStringField>(defaultVariables_, u"shortpathname", FIELD_WSTRING);
  varFileName_ = typedVariable<WStringField>(defaultVariables_, u"filename", FIELD_WSTRING);
  varShortFileName_ =
      typedVariable<WStringField>(defaultVariables_, u"shortfilename", FIELD_WSTRING);
  return varId_ != nullptr && varPathId_ != nullptr && varParentId_ != nullptr &&
         varPathName_ != nullptr && varShortPathName_ != nullptr && varFileName_ != nullptr &&
         varShortFileName_ != nullptr;
}

bool FS_Cache::createEvaluators() {
  struct Slot {
    std::unique_ptr<CriteriaEvaluator>* evaluator;
    const char16_t* text;
  };
  const Slot slots[] = {
      {&filesOfDirectory_, u"[PATHID]==pathid"},
      {&subdirectories_, u"[PARENTID]==parentid"},
      {&directoryById_, u"[ID]==id"},
      {&directoryByAnyName_, u"[SHORTPATHNAME]==shortpathname || [PATHNAME]==pathname"},
      {&directoryByName_, u"[PATHNAME]==pathname"},
      {&fileByAnyName_,
       u"[PATHID]==pathid && ([FILENAME]==filename || [SHORTFILENAME]==shortfilename)"},
      {&fileByName_, u"[PATHID]==pathid && [FILENAME]==filename"}};
  for (const Slot& slot : slots) {
    slot.evaluator->reset(new (std::nothrow) CriteriaEvaluator(slot.text));
    if (*slot.evaluator == nullptr || !(*slot.evaluator)->isValid()) return false;
  }
  for (const Slot& slot : slots) (*slot.evaluator)->setVariables(&defaultVariables_);
  return true;
}

int FS_Cache::create(int32_t timeout, int disposition) {
  FS_TRACE_ENTRY(logger_, "FS_Cache::create - entering... [timeout = %d]\n", timeout);
  int result = GENERAL_FAILURE;
  if (!cacheInitialized_) {
    FS_TRACE_EXIT(logger_, "FS_Cache::create - exit. %d\n", result);
    return result;
  }
  if (opened_) {
    FS_TRACE(logger_, "FS_Cache::create - retValue is CACHE_ALREADY_OPENED!\n");
    result = CACHE_ALREADY_OPENED;
    FS_TRACE_EXIT(logger_, "FS_Cache::create - exit. %d\n", result);
    return result;
  }
  bool done = false;
  bool ran = true;
  switch (disposition) {
    case FS_CACHE_CREATE:
      FS_TRACE(logger_, "FS_Cache::create - creationDisposition is FS_CACHE_CREATE\n");
      done = createTables();
      break;
    case FS_CACHE_OPEN:
      FS_TRACE(logger_, "FS_Cache::create - creationDisposition is FS_CACHE_OPEN\n");
      done = openCache();
      break;
    case FS_CACHE_OPEN_ALWAYS:
      FS_TRACE(logger_, "FS_Cache::create - creationDisposition is FS_CACHE_OPEN_ALWAYS\n");
      done = openCache() || createTables();
      break;
    default:
      ran = false;
      break;
  }
  if (ran && done) {
    FS_TRACE(logger_, "FS_Cache::create - retValue is SUCCESS\n");
    opened_ = true;
    result = SUCCESS;
  }
  loadExHash();
  FS_TRACE_EXIT(logger_, "FS_Cache::create - exit. %d\n", result);
  return result;
}

bool FS_Cache::openCache() {
  FS_TRACE_ENTRY(logger_, "FS_Cache::openCache - entering...\n");
  bool result = false;
  if (cacheInitialized_) {
    FS_TRACE(logger_, "FS_Cache::openCache - cacheInitialized is true\n");
    if (insideCacheUpdate() || !readCounter() || directoriesIndex_ > kMaxDirectoriesIndex) {
      FS_TRACE(logger_, "FS_Cache::openCache() - cache corrupted or directoriesIndex invalid\n");
      corrupted_ = true;
    } else if (!openTable(&tbFiles_, filesTableName_.c_str())) {
      FS_TRACE(logger_, "FS_Cache::openCache - open tbFiles failed!\n");
    } else if (!openTable(&tbDirectories_, directoriesTableName_.c_str())) {
      FS_TRACE(logger_, "FS_Cache::openCache - open tbDirectories failed!\n");
      tbFiles_.reset();
    } else if (!hasEveryIndex(*tbFiles_, filesTableName_, kFileIndexes) ||
               !hasEveryIndex(*tbDirectories_, directoriesTableName_, kDirectoryIndexes)) {
      FS_TRACE(logger_, "FS_Cache::openCache - an index of the tables did not open!\n");
      tbFiles_.reset();
      tbDirectories_.reset();
    } else {
      FS_TRACE(logger_, "FS_Cache::openCache() - directoriesIndex = %d\n", directoriesIndex_);
      beginCacheUpdate();
      corrupted_ = false;
      openRecordSets();
      FS_TRACE(logger_, "FS_Cache::openCache - cache opened!\n");
      result = true;
    }
  }
  FS_TRACE_EXIT(logger_, "FS_Cache::openCache - exit. %d\n", result ? 1 : 0);
  return result;
}

bool FS_Cache::openTable(std::unique_ptr<Table>* slot, const char16_t* name) {
  FS_TRACE_ENTRY(logger_, "FS_Cache::openTable - entering... [%ls]\n", name);
  slot->reset(new (std::nothrow) Table(name, cachePathName_.c_str(), compact_));
  const bool opened = *slot != nullptr && (*slot)->open();
  if (!opened) slot->reset();
  FS_TRACE_EXIT(logger_, "FS_Cache::openTable - exit. [retValue is %d]\n", opened ? 1 : 0);
  return opened;
}

bool FS_Cache::createFilesTable(std::unique_ptr<Table>* slot, const char16_t* name) {
  FS_TRACE_ENTRY(logger_, "FS_Cache::createFilesTable - entering...\n");
  const bool created =
      createTable(slot, name, cachePathName_.c_str(), compact_, kFileColumns, kFileIndexes);
  FS_TRACE_EXIT(logger_, "FS_Cache::createFilesTable - exit. [retValue is %d]\n", created ? 1 : 0);
  return created;
}

bool FS_Cache::createDirectoriesTable(std::unique_ptr<Table>* slot, const char16_t* name) {
  FS_TRACE_ENTRY(logger_, "FS_Cache::createDirectoriesTable - entering...\n");
  const bool created = createTable(slot, name, cachePathName_.c_str(), compact_, kDirectoryColumns,
                                   kDirectoryIndexes);
  FS_TRACE_EXIT(logger_, "FS_Cache::createDirectoriesTable - exit. [retValue is %d]\n",
                created ? 1 : 0);
  return created;
}

bool FS_Cache::createTables() {
  if (!cacheInitialized_) return false;
  if (!createFilesTable(&tbFiles_, filesTableName_.c_str())) return false;
  if (!createDirectoriesTable(&tbDirectories_, directoriesTableName_.c_str())) {
    tbFiles_.reset();
    return false;
  }
  beginCacheUpdate();
  corrupted_ = false;
  openRecordSets();
  directoriesIndex_ = 0;
  saveCounter();
  return true;
}

void FS_Cache::openRecordSets() {
  // Ids may be handed out again by new tables: no directory path learnt before stays valid.
  directoryPaths_.clear();
  tbFiles_->openRecordSet(&rsFiles_);
  tbDirectories_->openRecordSet(&rsDirectories_);
  tbDirectories_->openRecordSet(&rsDirectories2_);
}

int FS_Cache::lock(uint32_t timeout) {
  if (accessMutex_ == nullptr) return GENERAL_FAILURE;
  FS_TRACE(logger_, "FS_Cache::lock - waiting for accessMutex [timeout: %d]...\n", timeout);
  int result;
  switch (accessMutex_->wait(timeout)) {
    case SUCCESS:
      FS_TRACE(logger_, "FS_Cache::lock - accessMutex SUCCESS!\n");
      result = SUCCESS;
      break;
    case MUTEX_TIMED_OUT:
      FS_TRACE(logger_, "FS_Cache::lock - accessMutex TIMED_OUT!\n");
      result = CACHE_LOCK_TIMED_OUT;
      break;
    default:
      FS_TRACE(logger_, "FS_Cache::lock - accessMutex FAILED!\n");
      result = GENERAL_FAILURE;
      break;
  }
  FS_TRACE_EXIT(logger_, "FS_Cache::lock - exit. [retValue is %d]\n", result);
  return result;
}

void FS_Cache::unlock() {
  if (accessMutex_ == nullptr) return;
  // The system traces unlock under the name of its pair.
  logger_->traceMAX(__LINE__, __FILE__, "lock", "FS_Cache::unlock - accessMutex RELEASED!\n");
  if (accessMutex_->release() == 0) {
    logger_->traceMAX(__LINE__, __FILE__, "lock", "FS_Cache::unlock - release failed!\n");
  }
}

bool FS_Cache::close() {
  if (!cacheInitialized_) return true;
  if (tbFiles_ != nullptr) tbFiles_->close();
  if (tbDirectories_ != nullptr) tbDirectories_->close();
  if (!corrupted_) endCacheUpdate();
  return true;
}

bool FS_Cache::seekId(RecordSetRef& rs, uint32_t id) {
  RecordSet* records = rs.get();
  if (records == nullptr) return false;
  if (tbDirectories_ != nullptr && tbDirectories_->findIndexByColumn(u"ID") != nullptr) {
    return records->seekNumber(u"ID", static_cast<int32_t>(id));
  }
  return seekNumber(rs, directoryById_.get(), u"ID", varId_, id);
}

bool FS_Cache::seekNumber(RecordSetRef& rs, CriteriaEvaluator* evaluator, const char16_t* column,
                          Int32Field* variable, uint32_t value) {
  indexKey_.clear();
  indexKey_.setName(column);
  indexKey_.setNumeric(value);
  variable->setValue(static_cast<int32_t>(value));
  evaluator->setIndexKey(indexKey_);
  rs.setCriteria(evaluator, true);
  return rs.moveFirst();
}
