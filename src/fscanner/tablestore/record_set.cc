#include "tablestore/record_set.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "base/wstring.h"
#include "tablestore/hash_index.h"
#include "tablestore/record_filter.h"
#include "tablestore/table.h"

RecordSet::RecordSet(Table* table)
    : table_(table), fields_(table->columns()), cursor_(HashIndex::kNone) {}

RecordSet::~RecordSet() {
  if (holder_ != nullptr) holder_->set_ = nullptr;
}

bool RecordSet::setCriteria(RecordFilter* filter, bool caseSensitive) {
  hasKey_ = false;
  keyText_.clear();
  index_ = nullptr;
  filter_ = filter;
  caseSensitive_ = caseSensitive;
  plan_.clear();
  const char16_t* text = filter != nullptr ? filter->text() : nullptr;
  criteria_ = text != nullptr && text[0] != u'\0';
  if (!criteria_) return true;
  filter->setColumns(&fields_);
  chooseColumns();
  RecordFilterKey key;
  if (filter->indexKey(&key)) index_ = table_->findIndexByColumn(key.column);
  if (index_ != nullptr) {
    // The index files keys by the decimal text of their low 32 bits, strings upper-cased.
    if (key.numeric) {
      char16_t digits[kUintToWideMinCapacity];
      keyText_ = uintToWide(static_cast<uint32_t>(key.number), digits);
    } else {
      keyText_.assign(key.string, key.stringLength);
    }
    wcsUpper(keyText_.data());
    hasKey_ = true;
  }
  return true;
}

// Records are read in part when the criteria leave some column unread.
void RecordSet::chooseColumns() {
  std::vector<uint8_t> wanted;
  try {
    wanted.assign(fields_.count(), 0);
  } catch (const std::bad_alloc&) {
    return;  // records are then read whole
  }
  bool partial = false;
  for (uint32_t i = 0; i < fields_.count(); ++i) {
    wanted[i] = filter_->readsColumn(fields_.at(i)->name()) ? 1 : 0;
    partial = partial || wanted[i] == 0;
  }
  // Without a plan (memory ran out) records are read whole.
  if (partial) static_cast<void>(plan_.make(fields_, wanted, table_->isCompact()));
}

bool RecordSet::selects() {
  return !criteria_ || filter_->evaluate(&fields_, nullptr, caseSensitive_) >= 1;
}

bool RecordSet::readAt(uint32_t record, bool* selected) {
  current_ = record;
  if (plan_.empty()) {
    if (!table_->readRecord(record, &fields_)) return false;
    *selected = selects();
    return true;
  }
  if (!table_->readRecordPart(record, plan_, &fields_, &part_)) return false;
  *selected = selects();
  if (*selected) {
    const bool decoded = part_.decodeRest(&fields_);
    resolveText();
    return decoded;
  }
  partlyRead_ = true;
  lastPartlyRead_ = record;
  return true;
}

bool RecordSet::stop(bool readFailed) {
  // The outcomes of these reads are known: the first read succeeded before, the second failed.
  if (partlyRead_) static_cast<void>(table_->readRecord(lastPartlyRead_, &fields_));
  if (readFailed && !plan_.empty()) static_cast<void>(table_->readRecord(current_, &fields_));
  resolveText();
  partlyRead_ = false;
  return false;
}

void RecordSet::resolveText() {
  if (plan_.empty()) return;
  for (uint32_t i = 0; i < fields_.count(); ++i) {
    const Field* field = fields_.at(i);
    if (field->type() == FIELD_WSTRING) static_cast<const WStringField*>(field)->resolve();
  }
}

bool RecordSet::followChain(uint32_t record) {
  for (;;) {
    bool selected = false;
    if (!readAt(record, &selected)) return stop(true);
    if (selected) break;
    if (!table_->indexNext(index_, &record, &cursor_)) return stop(false);
  }
  partlyRead_ = false;
  return true;
}

bool RecordSet::scanFrom(uint32_t record) {
  for (;;) {
    bool selected = false;
    if (!readAt(record, &selected)) return stop(true);
    if (selected) break;
    if (!table_->nextLiveRecord(record, &record)) return stop(false);
  }
  partlyRead_ = false;
  return true;
}

bool RecordSet::moveFirst() {
  uint32_t record = 0;
  bool found;
  if (usesIndex()) {
    found = table_->indexSeek(index_, keyText_.c_str(), &record, &cursor_) && followChain(record);
  } else {
    found = table_->firstLiveRecord(&record) && scanFrom(record);
  }
  if (found) steps_ = 0;
  return found;
}

bool RecordSet::moveNext() {
  uint32_t record = 0;
  bool found;
  if (usesIndex()) {
    found = table_->indexNext(index_, &record, &cursor_) && followChain(record);
  } else {
    found = table_->nextLiveRecord(current_, &record) && scanFrom(record);
  }
  if (found) ++steps_;
  return found;
}

bool RecordSet::seekNumber(const char16_t* column, int32_t value) {
  HashIndex* index = table_->findIndexByColumn(column);
  if (index == nullptr) return false;
  Int32Field key(column);
  key.setValue(value);
  uint32_t cursor = 0;
  return table_->indexFind(index, key, true, &fields_, &current_, &cursor);
}

bool RecordSet::addNew() { return table_->addRecord(fields_); }
bool RecordSet::update() { return table_->updateRecord(current_, fields_); }
bool RecordSet::remove() { return table_->removeRecord(current_); }

template <typename T>
T* RecordSet::typedField(const char16_t* column, uint32_t type) const {
  Field* field = fields_.findField(column);
  return field != nullptr && field->type() == type ? static_cast<T*>(field) : nullptr;
}

const char16_t* RecordSet::getString(const char16_t* column) const {
  const auto* field = typedField<WStringField>(column, FIELD_WSTRING);
  return field != nullptr ? field->value() : nullptr;
}

uint8_t RecordSet::getByte(const char16_t* column) const {
  const auto* field = typedField<ByteField>(column, FIELD_BYTE);
  return field != nullptr ? field->value() : 0;
}

uint16_t RecordSet::getWord(const char16_t* column) const {
  const auto* field = typedField<WordField>(column, FIELD_WORD);
  return field != nullptr ? field->value() : 0;
}

int32_t RecordSet::getInt32(const char16_t* column) const {
  const auto* field = typedField<Int32Field>(column, FIELD_INT32);
  return field != nullptr ? field->value() : 0;
}

int64_t RecordSet::getInt64(const char16_t* column) const {
  const auto* field = typedField<Int64Field>(column, FIELD_INT64);
  return field != nullptr ? field->value() : 0;
}

void RecordSet::setString(const char16_t* column, const char16_t* text) {
  if (auto* field = typedField<WStringField>(column, FIELD_WSTRING)) field->setValue(text);
}

void RecordSet::setInt32(const char16_t* column, int32_t value) {
  if (auto* field = typedField<Int32Field>(column, FIELD_INT32)) field->setValue(value);
}

void RecordSet::setInt64(const char16_t* column, int64_t value) {
  auto* field = typedField<Int64Field>(column, FIELD_INT64);
  if (field == nullptr) return;
  uint64_t bits = static_cast<uint64_t>(value);
  field->setValue(static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32));
}

RecordSetRef::~RecordSetRef() { detach(); }

void RecordSetRef::attach(RecordSet* set) {
  detach();
  set_ = set;
  if (set_ != nullptr) set_->holder_ = this;
}

void RecordSetRef::detach() {
  if (set_ != nullptr) set_->holder_ = nullptr;
  set_ = nullptr;
}

bool RecordSetRef::setCriteria(RecordFilter* filter, bool caseSensitive) {
  return set_ != nullptr && set_->setCriteria(filter, caseSensitive);
}
bool RecordSetRef::moveFirst() { return set_ != nullptr && set_->moveFirst(); }
bool RecordSetRef::moveNext() { return set_ != nullptr && set_->moveNext(); }
void RecordSetRef::addNew() {
  if (set_ != nullptr) set_->addNew();
}
void RecordSetRef::update() {
  if (set_ != nullptr) set_->update();
}
void RecordSetRef::remove() {
  if (set_ != nullptr) set_->remove();
}
const char16_t* RecordSetRef::getString(const char16_t* column) const {
  return set_ != nullptr ? set_->getString(column) : nullptr;
}
int32_t RecordSetRef::getInt32(const char16_t* column) const {
  return set_ != nullptr ? set_->getInt32(column) : 0;
}
int64_t RecordSetRef::getInt64(const char16_t* column) const {
  return set_ != nullptr ? set_->getInt64(column) : 0;
}
void RecordSetRef::setString(const char16_t* column, const char16_t* text) {
  if (set_ != nullptr) set_->setString(column, text);
}
void RecordSetRef::setInt32(const char16_t* column, int32_t value) {
  if (set_ != nullptr) set_->setInt32(column, value);
}
void RecordSetRef::setInt64(const char16_t* column, int64_t value) {
  if (set_ != nullptr) set_->setInt64(column, value);
}

void Table::openRecordSet(RecordSetRef* ref) {
  if (ref == nullptr) return;
  recordSets_.push_back(std::make_unique<RecordSet>(this));
  ref->attach(recordSets_.back().get());
}

bool Table::closeRecordSet(RecordSetRef* ref) {
  if (ref == nullptr || ref->set_ == nullptr) return false;
  auto found =
      std::find_if(recordSets_.begin(), recordSets_.end(),
                   [ref](const std::unique_ptr<RecordSet>& set) { return set.get() == ref->set_; });
  if (found == recordSets_.end()) return false;
  recordSets_.erase(found);
  return true;
}
