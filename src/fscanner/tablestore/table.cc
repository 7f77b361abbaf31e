#include "tablestore/table.h"

#include "base/wstring.h"
#include "platform/platform.h"
#include "tablestore/file_io.h"
#include "tablestore/mapped_file.h"
#include "tablestore/record_set.h"

namespace {

constexpr char16_t kRecordSuffix[] = u".dat";
constexpr char16_t kPositionSuffix[] = u".pxx";
constexpr char16_t kCatalogueSuffix[] = u"_idx.dat";
constexpr char16_t kMutexSuffix[] = u"_t_mutex";
// Bytes of a column definition before its name: type code and name length.
constexpr uint32_t kColumnEntryHead = 8;

}  // namespace

Table::Table(const char16_t* name, const char16_t* directory, bool compact) : compact_(compact) {
  if (name == nullptr || directory == nullptr) return;
  char16_t absolute[platform::kMaxPath];
  if (platform::fullPath(absolute, directory, platform::kMaxPath) == nullptr) return;
  name_ = name;
  directory_ = absolute;
  if (directory_.empty() || directory_.back() != u'\\') directory_ += u'\\';
  recordPath_ = directory_ + name_ + kRecordSuffix;
  positionPath_ = directory_ + name_ + kPositionSuffix;
  cataloguePath_ = directory_ + name_ + kCatalogueSuffix;
  mutex_ = createNamedMutex((name_ + kMutexSuffix).c_str());
  valid_ = mutex_ != nullptr;
}

Table::~Table() { close(); }

bool Table::addColumn(const char16_t* name, uint32_t type) {
  if (records_ != nullptr || columns_.count() >= kMaxColumns) return false;
  return columns_.addField(name, type);
}

bool Table::openFiles() {
  records_ = newMappedFile(recordPath_.c_str());
  positions_ = newMappedFile(positionPath_.c_str());
  return records_ != nullptr && positions_ != nullptr && records_->open() && positions_->open();
}

void Table::closeFiles() {
  if (records_ != nullptr) records_->close();
  if (positions_ != nullptr) positions_->close();
  records_.reset();
  positions_.reset();
}

bool Table::create() {
  if (!valid_ || records_ != nullptr) return false;
  records_ = newMappedFile(recordPath_.c_str());
  positions_ = newMappedFile(positionPath_.c_str());
  bool recordsMade = records_ != nullptr && records_->create();
  bool positionsMade = recordsMade && positions_ != nullptr && positions_->create();
  if (!positionsMade || !writeHeader()) {
    // Take back what this call made, so that no table without a header is left behind.
    closeFiles();
    if (recordsMade) platform::removeFile(recordPath_.c_str());
    if (positionsMade) platform::removeFile(positionPath_.c_str());
    return false;
  }
  nullMapSize_ = nullMapBytes(columns_.count());
  platform::removeFile(cataloguePath_.c_str());
  identifyRecordFile();
  return true;
}

bool Table::writeHeader() {
  uint32_t count = columns_.count();
  uint32_t size = kFixedHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    size += kColumnEntryHead + 2 * static_cast<uint32_t>(wcsLength(columns_.at(i)->name()));
  }
  uint8_t* bytes = encoded_.reserve(size);
  if (bytes == nullptr) return false;
  storeU32(bytes, 0);
  storeU32(bytes + 4, 0);
  storeU32(bytes + 8, count);
  uint8_t* out = bytes + kFixedHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const Field* column = columns_.at(i);
    uint32_t units = static_cast<uint32_t>(wcsLength(column->name()));
    storeU32(out, column->type());
    storeU32(out + 4, 2 * units);
    out += kColumnEntryHead;
    for (uint32_t u = 0; u < units; ++u, out += 2) storeU16(out, column->name()[u]);
  }
  return seekTo(records_.get(), 0) && records_->write(bytes, size) == size;
}

bool Table::open() {
  if (!valid_ || records_ != nullptr) return false;
  if (!openFiles() || !readHeader()) {
    close();
    return false;
  }
  nullMapSize_ = nullMapBytes(columns_.count());
  loadCatalogue();
  identifyRecordFile();
  return true;
}

bool Table::readHeader() {
  columns_.clear();
  uint32_t size = dataSize(records_.get());
  uint8_t head[kFixedHeaderSize];
  if (!seekTo(records_.get(), 0) || records_->read(head, sizeof(head)) != sizeof(head)) {
    return false;
  }
  uint32_t count = loadU32(head + 8);
  if (count > kMaxColumns) return false;
  std::u16string name;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t entry[kColumnEntryHead];
    if (records_->read(entry, sizeof(entry)) != sizeof(entry)) return false;
    uint32_t type = loadU32(entry);
    uint32_t nameBytes = loadU32(entry + 4);
    // Checked before reserving, so that a damaged length cannot ask for gigabytes.
    if (nameBytes % 2 != 0 || nameBytes > size - records_->tell()) return false;
    uint8_t* text = encoded_.reserve(nameBytes);
    if (text == nullptr || records_->read(text, nameBytes) != nameBytes) return false;
    name.resize(nameBytes / 2);
    for (size_t u = 0; u < name.size(); ++u) name[u] = loadU16(text + 2 * u);
    if (!columns_.addField(name.c_str(), type)) return false;
  }
  return true;
}

void Table::close() {
  recordSets_.clear();
  closeFiles();
  indexes_.clear();
  columns_.clear();
  stored_.clear();
  nullMapSize_ = 0;
}

bool Table::refreshViews() {
  if (records_ == nullptr || positions_ == nullptr) return false;
  // Another process may have changed any record.
  ++digestGeneration_;
  bool fresh = records_->refresh() && positions_->refresh();
  for (const std::unique_ptr<HashIndex>& index : indexes_) fresh = index->refresh() && fresh;
  return fresh;
}

bool Table::addCounter(uint32_t offset, int32_t delta) {
  uint32_t value = 0;
  if (!readU32At(records_.get(), offset, &value)) return false;
  return writeU32At(records_.get(), offset, value + static_cast<uint32_t>(delta));
}
