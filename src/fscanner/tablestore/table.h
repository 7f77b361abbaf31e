// One named table in one directory: a fixed list of typed columns and records appended one after
// another. Files of table N in directory D:
//   D\N.dat      header (record counters, column definitions), then the records
//   D\N.pxx      u32 per record number: the record's offset in N.dat, 0 once removed
//   D\N_idx.dat  index catalogue (deleted when the table is created)
//   D\I.idx      one hash index I per catalogue entry
// Layouts are in docs/formats.md. Every read of a file is checked against the file's data, so a
// damaged or truncated file makes an operation fail instead of reading outside it.
#ifndef FSCANNER_TABLESTORE_TABLE_H
#define FSCANNER_TABLESTORE_TABLE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/win32sync.h"
#include "platform/platform.h"
#include "tablestore/field.h"
#include "tablestore/hash_index.h"
#include "tablestore/record_codec.h"
#include "tablestore/storage_file.h"

class RecordSet;
class RecordSetRef;

class Table {
 public:
  // The null map of a record is built in 32 bytes.
  static constexpr uint32_t kMaxColumns = 256;
  // Header bytes before the column definitions: live count, removed count, column count.
  static constexpr uint32_t kFixedHeaderSize = 12;
  // A record's entry in the position file: its offset in the record file, or kRemovedEntry (no
  // record starts inside the header).
  static constexpr uint32_t kPositionEntrySize = 4;
  static constexpr uint32_t kRemovedEntry = 0;

  // name and directory are copied; the directory is made absolute. With a null name or directory,
  // or a directory that does not resolve within 260 characters, the object is inert: create()
  // and open() fail. Construction creates or opens the named mutex N"_t_mutex", held until
  // destruction; the table's own operations never wait on it (see mutex()).
  Table(const char16_t* name, const char16_t* directory, bool compact);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Appends a column. False once the table is created or opened, beyond kMaxColumns columns, for
  // a null name or a type outside 1-6.
  bool addColumn(const char16_t* name, uint32_t type);
  // Makes a new, empty table from the columns added: empties existing files of the same name and
  // deletes the index catalogue. False when the object is inert or already open, or a file
  // cannot be created or written; the files this call made are then removed again.
  bool create();
  // Opens an existing table; its columns come from the header, its indexes from the catalogue
  // (an index whose file does not open is left out). False when the object is inert or
  // already open, a file is missing, or the header is damaged; the object is then closed.
  bool open();
  // Destroys the record sets, closes the files and indexes and forgets the columns. The object
  // can be opened again afterwards.
  void close();
  // For a reader of a table another process writes (holding mutex()): every file's view follows
  // the file's current length. False when the table is not open or a file cannot be viewed.
  bool refreshViews();
  // The named mutex N"_t_mutex": processes that share the table's files take it around a change
  // or a read of them. Null for an inert object.
  SyncObject* mutex() const { return mutex_.get(); }

  // Reads record `record` into fields (the table's columns, in order); every field read ends up
  // not null. False when the files are not open, the record number has no entry or a removed
  // one, its data is cut off, or a field is a short blob.
  bool readRecord(uint32_t record, FieldList* fields);
  // Reads record `record` as readRecord does, but decodes only the columns the plan (made for
  // this table's columns) wants; part->decodeRest() decodes the others while the table's files
  // stay unchanged. False exactly when readRecord is.
  bool readRecordPart(uint32_t record, const ColumnPlan& plan, FieldList* fields,
                      PartialRecord* part);
  // Appends a record, stores its number in `record` (may be null) and enters it into every index
  // under its column's key (a null column is left out). False, nothing written,
  // when a string encodes to more than 65,535 bytes; false when the files are not open or a
  // write fails.
  bool addRecord(const FieldList& fields, uint32_t* record = nullptr);
  // Rewrites a plain table's record in place when every string keeps its encoded length;
  // otherwise (and always in a compact table) appends the new record and removes the old one,
  // so the record gets a new number. False for the reasons of readRecord and addRecord.
  bool updateRecord(uint32_t record, const FieldList& fields);
  // Marks the record removed (position entry 0) and updates the counters. The bytes stay. False
  // when the files are not open or the record number was never assigned.
  bool removeRecord(uint32_t record);
  // Grows whenever one of the three calls above fails on an open table after its fields were
  // accepted: what it meant to store may be missing or stored in part. A writer that needs every
  // write (the monitor) compares the count before and after its work.
  uint32_t writeFailures() const { return writeFailures_; }

  // Creates the hash index indexName on column columnName, enters every live record and rewrites
  // the catalogue. False when the table is not open, a name is null, the index name is taken,
  // the column is missing or a short blob, or the index file cannot be made or filled.
  bool createIndex(const char16_t* indexName, const char16_t* columnName);
  // The first index on that column / the index of that name (exact names); null when none.
  HashIndex* findIndexByColumn(const char16_t* columnName) const;
  HashIndex* findIndexByName(const char16_t* indexName) const;
  // The first live record in keyText's bucket, and in `cursor` where the chain continues. False
  // when the bucket holds no live record.
  bool indexSeek(HashIndex* index, const char16_t* keyText, uint32_t* record, uint32_t* cursor);
  // The next live record of the chain at `cursor`; false when the chain ends. A damaged chain
  // ends early: the walk always terminates.
  bool indexNext(HashIndex* index, uint32_t* record, uint32_t* cursor);

  // Searches the chain of key's bucket for records whose indexed column holds key's value
  // (strings compared as wcsCompare does with caseSensitive, numbers by value): the next one
  // from `cursor` on (0 to start; the call moves it on), read into fields. False when the chain
  // ends or a record on the way cannot be read. Records found as with indexSeek, indexNext and
  // readRecord; this process's memory of the chains (ChainDigest) spares reading the others. The
  // cursor counts steps of the chain as it was: a record added to the bucket meanwhile moves
  // the later steps one on.
  bool indexFind(HashIndex* index, const Field& key, bool caseSensitive, FieldList* fields,
                 uint32_t* record, uint32_t* cursor);

  // Makes a record set on this table, owned by it, and stores it in *ref (record_set.h).
  void openRecordSet(RecordSetRef* ref);
  // Destroys the record set *ref holds and empties *ref. False when this table does not own it.
  bool closeRecordSet(RecordSetRef* ref);

  // Record numbers ever assigned (live or removed) and the header's count of live records. False
  // when the table is not open or its header cannot be read.
  bool recordCounts(uint32_t* assigned, uint32_t* live);
  // Writes a copy of this open table into another directory under the same file names: the same
  // columns, encoding and indexes, and every live record's bytes in record-number order,
  // numbered anew from 0, without the removed ones and the index cells they held. A record too
  // damaged to read is left out. The paths of the copy's files go to *copied, in the order of
  // filePaths(). False when a file cannot be written; the copy's files are then removed.
  bool writeCompactedCopy(const char16_t* directory, std::vector<std::u16string>* copied);
  // The table's files: records, positions, catalogue, then each index's.
  std::vector<std::u16string> filePaths() const;
  // True when the table's record file is no longer the one this object opened (another process
  // put a new table in its place) or cannot be identified. False when the table is not open.
  bool replacedOnDisk() const;

  // The first live record number; false when there is none.
  bool firstLiveRecord(uint32_t* record);
  // The first live record number after `after`; false when there is none.
  bool nextLiveRecord(uint32_t after, uint32_t* record);

  // Null for an inert object.
  const char16_t* name() const { return valid_ ? name_.c_str() : nullptr; }
  // D with a trailing backslash; null for an inert object.
  const char16_t* directory() const { return valid_ ? directory_.c_str() : nullptr; }
  bool isCompact() const { return compact_; }
  bool isOpen() const { return records_ != nullptr && positions_ != nullptr; }
  const FieldList& columns() const { return columns_; }

 private:
  bool openFiles();
  void closeFiles();
  bool writeHeader();
  bool readHeader();
  bool addCounter(uint32_t offset, int32_t delta);
  // The record's entry in the position file; false when the file holds none for it.
  bool readPositionEntry(uint32_t record, uint32_t* entry);
  bool readStored(uint32_t record, FieldList* fields, std::vector<uint32_t>* stringBytes);
  bool storedData(uint32_t record, const uint8_t** data, uint32_t* size);
  bool appendEncoded(const FieldList& fields, uint32_t size, uint32_t* record);
  // Counts a failed write in writeFailures_; returns written.
  bool counted(bool written);
  void identifyRecordFile();
  bool moveRecord(uint32_t record, const FieldList& fields, uint32_t size);
  bool storedLengthsMatch(const FieldList& fields) const;
  bool nextLiveEntry(uint64_t from, uint32_t* record);
  HashIndex* indexNamed(const char16_t* indexName, bool caseSensitive) const;
  void loadCatalogue();
  void writeCatalogue();
  bool enterIntoIndexes(const FieldList& fields, uint32_t record);
  bool extendChain(HashIndex* index, uint32_t bucket, uint32_t column, ChainDigest::Chain* chain,
                   bool kept, FieldList* fields);

  bool valid_ = false;
  uint32_t writeFailures_ = 0;
  bool compact_;
  std::u16string name_;
  std::u16string directory_;
  std::u16string recordPath_;
  std::u16string positionPath_;
  std::u16string cataloguePath_;
  std::unique_ptr<StorageFile> records_;
  std::unique_ptr<StorageFile> positions_;
  platform::FileIdentity recordFileIdentity_;
  bool recordFileIdentified_ = false;
  uint32_t nullMapSize_ = 0;
  FieldList columns_;
  std::vector<std::unique_ptr<HashIndex>> indexes_;
  std::unique_ptr<SyncObject> mutex_;
  std::vector<std::unique_ptr<RecordSet>> recordSets_;

  // Scratch space reused from record to record.
  ByteBuffer encoded_;
  FieldList stored_;
  std::vector<uint32_t> storedStringBytes_;
  ChainDigest::Chain unkeptChain_;
  // Changes when records may have changed in place: chain digests of older ones are stale.
  uint64_t digestGeneration_ = 0;
};

#endif  // FSCANNER_TABLESTORE_TABLE_H
