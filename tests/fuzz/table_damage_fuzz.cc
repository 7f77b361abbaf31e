// Damaged table files never crash the table store. Once per process a few small, valid tables are
// built; each input is a damage program applied to a fresh copy of one of them, after which the
// table is opened, walked, read, searched through every index, updated, added to and removed
// from. Every operation may fail, but must return: a record walk that does not move forward or an
// index chain whose cursor comes back is reported as a crash, and a call that never returns runs
// into the fuzzer's time-out.
//
// Input: one byte choosing the table (bit 0: compact encoding, bit 1: a short-blob column besides
// the five stored types, bit 2: also create an index over the damaged records), then operations
// until the input ends. An operation is one byte, low three bits the file (0 .dat, 1 .pxx,
// 2 _idx.dat, 3-5 the three .idx files; 6 and 7 count as 0 and 1) and the next two bits the
// kind, followed by its operands (little-endian):
//   0 truncate: u32 n            the file is cut to n modulo (its length + 1) bytes
//   1 extend:   u16 n, u8 fill   n bytes of fill are appended
//   2, 3 xor:   u32 at, u8 count, count bytes
//                                bytes from at modulo the length (wrapping) are XORed with them
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/wstring.h"
#include "fuzz_support.h"
#include "support/narrow_text.h"
#include "tablestore/sample_table.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPristineRecords = 48;
constexpr uint32_t kVariants = 4;
constexpr uint32_t kCompactBit = 1;
constexpr uint32_t kBlobBit = 2;
constexpr uint32_t kCreateIndexBit = 4;
constexpr size_t kFileCount = 6;
constexpr size_t kMaxOperations = 64;
constexpr size_t kMaxXorBytes = 16;
// Keys sought per index and pass, so that an input stays fast.
constexpr size_t kMaxSeekKeys = 24;

// The files of one built table, in the order the damage program numbers them.
struct Variant {
  std::u16string name;
  bool compact = false;
  std::vector<std::u16string> fileNames;
  std::vector<Bytes> pristine;
};

// The work directory: the tables built once per process in its subdirectory "pristine", the
// damaged copies in the directory itself.
class Workspace : public WorkDir {
 public:
  Workspace() {
    fs::create_directory(host("pristine"));
    for (uint32_t v = 0; v < kVariants; ++v) variants_.push_back(build(v));
    for (uint32_t n = 0; n < kPristineRecords; ++n) addKeysOf(n);
  }

  const Variant& variant(uint32_t v) const { return variants_[v]; }
  // Key texts of the pristine records for the index at position i of kSampleIndexes.
  const std::set<std::u16string>& keys(size_t i) const { return keys_[i]; }

 private:
  Variant build(uint32_t v) {
    Variant variant;
    variant.compact = (v & kCompactBit) != 0;
    variant.name = std::u16string(variant.compact ? u"compact" : u"plain") +
                   ((v & kBlobBit) != 0 ? u"_blob" : u"");
    Table table(variant.name.c_str(), drive(u"pristine").c_str(), variant.compact);
    if (!createSampleTable(&table, kPristineRecords, (v & kBlobBit) != 0, true)) {
      fail("cannot create a pristine table");
    }
    FieldList record = table.columns();
    // Removed and moved records leave dead entries in the position file and the chains.
    for (uint32_t n = 3; n < kPristineRecords; n += 9) table.removeRecord(n);
    for (uint32_t n = 5; n < kPristineRecords; n += 10) {
      fillSampleRecord(&record, n + 1, true);
      table.updateRecord(n, record);
    }
    table.close();

    for (const char16_t* suffix : {u".dat", u".pxx", u"_idx.dat"}) {
      variant.fileNames.push_back(variant.name + suffix);
    }
    for (const SampleIndex& index : kSampleIndexes) {
      variant.fileNames.push_back(variant.name + index.suffix + u".idx");
    }
    for (const std::u16string& file : variant.fileNames) {
      variant.pristine.push_back(readBytes(host("pristine") / narrow(file)));
    }
    return variant;
  }

  // Key texts as the search side forms them: upper-cased strings, decimal numbers (low 32 bits).
  void addKeysOf(uint32_t n) {
    FieldList record;
    for (const SampleIndex& index : kSampleIndexes) record.addField(index.column, index.type);
    fillSampleRecord(&record, n, true);
    std::u16string name = static_cast<const WStringField*>(record.at(0))->value();
    wcsUpper(name.data());
    char16_t digits[2][kUintToWideMinCapacity];
    const uint32_t attr =
        static_cast<uint32_t>(static_cast<const Int32Field*>(record.at(1))->value());
    const uint32_t size =
        static_cast<uint32_t>(static_cast<const Int64Field*>(record.at(2))->value());
    const std::u16string texts[] = {name, uintToWide(attr, digits[0]), uintToWide(size, digits[1])};
    for (size_t i = 0; i < std::size(texts); ++i) {
      if (keys_[i].size() < kMaxSeekKeys) keys_[i].insert(texts[i]);
    }
  }

  std::vector<Variant> variants_;
  std::set<std::u16string> keys_[std::size(kSampleIndexes)];
};

Workspace& workspace() {
  static Workspace built;
  return built;
}

// The input, read from the front in little-endian numbers of `count` bytes.
struct Program {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool take(size_t count, uint64_t* value) {
    if (size - at < count) return false;
    *value = 0;
    for (size_t i = 0; i < count; ++i) *value |= static_cast<uint64_t>(data[at + i]) << (8 * i);
    at += count;
    return true;
  }
};

// Applies the damage program to the files; stops at the first operation cut off by the input.
void applyDamage(Program* program, std::vector<Bytes>* files) {
  for (size_t op = 0; op < kMaxOperations && program->at < program->size; ++op) {
    uint64_t code = 0;
    program->take(1, &code);
    Bytes& file = (*files)[(code & 7) % kFileCount];
    uint64_t a = 0, b = 0;
    const uint64_t kind = (code >> 3) & 3;
    if (kind == 0) {
      if (!program->take(4, &a)) return;
      file.resize(a % (file.size() + 1));
    } else if (kind == 1) {
      if (!program->take(2, &a) || !program->take(1, &b)) return;
      file.insert(file.end(), a, static_cast<uint8_t>(b));
    } else {
      if (!program->take(4, &a) || !program->take(1, &b)) return;
      for (size_t i = 0; i < b % kMaxXorBytes + 1; ++i) {
        uint64_t mask = 0;
        if (!program->take(1, &mask)) return;
        if (!file.empty()) file[(a + i) % file.size()] ^= static_cast<uint8_t>(mask);
      }
    }
  }
}

// Walks every live record number, which must rise strictly and stay below the entry count of the
// position file (when its length can be read), and reads each record.
void walkAndRead(Table* table, FieldList* record, const fs::path& positions) {
  std::error_code unknown;
  const uint64_t entries = fs::file_size(positions, unknown) / 4;
  uint32_t number = 0;
  int64_t previous = -1;
  for (bool more = table->firstLiveRecord(&number); more;
       more = table->nextLiveRecord(number, &number)) {
    if (number >= entries || number <= previous) fail("the record walk does not end");
    previous = number;
    table->readRecord(number, record);
  }
}

// Seeks keys in every index and follows each chain to its end, reading the records it names. The
// cursor is all the state a chain walk keeps, so a cursor that comes back means a walk that never
// ends.
void searchIndexes(Table* table, FieldList* record) {
  std::unordered_set<uint32_t> visited;
  for (size_t i = 0; i < std::size(kSampleIndexes); ++i) {
    HashIndex* index = table->findIndexByColumn(kSampleIndexes[i].column);
    if (index == nullptr) continue;
    for (const std::u16string& key : workspace().keys(i)) {
      uint32_t number = 0;
      uint32_t cursor = 0;
      visited.clear();
      for (bool more = table->indexSeek(index, key.c_str(), &number, &cursor); more;
           more = table->indexNext(index, &number, &cursor)) {
        if (cursor != HashIndex::kNone && !visited.insert(cursor).second) {
          fail("an index chain cycles");
        }
        table->readRecord(number, record);
      }
    }
  }
}

void exercise(Table* table, bool createIndex, const fs::path& positions,
              const std::u16string& name) {
  FieldList record = table->columns();
  walkAndRead(table, &record, positions);
  searchIndexes(table, &record);
  for (uint32_t bogus : {0xFFFFFFFFu, 0x3FFFFFFFu, 0x40000000u, kPristineRecords}) {
    table->readRecord(bogus, &record);
    table->removeRecord(bogus);
  }

  fillSampleRecord(&record, 7, true);
  uint32_t added = 0;
  if (table->addRecord(record, &added)) table->readRecord(added, &record);
  uint32_t first = 0;
  if (table->firstLiveRecord(&first)) {
    fillSampleRecord(&record, first, true);  // as stored when undamaged: an in-place update
    table->updateRecord(first, record);
    fillSampleRecord(&record, first + 2, true);
    table->updateRecord(first, record);
  }
  uint32_t second = 0;
  if (table->firstLiveRecord(&second)) table->removeRecord(second);
  if (createIndex) table->createIndex((name + u"_EXTRA").c_str(), u"SHORTNAME");

  walkAndRead(table, &record, positions);
  searchIndexes(table, &record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace& space = workspace();
  Program program{data, size};
  uint64_t choice = 0;
  program.take(1, &choice);
  const Variant& variant = space.variant(static_cast<uint32_t>(choice % kVariants));
  // Kept from input to input, so that copying the files needs no new memory.
  static std::vector<Bytes> files(kFileCount);
  for (size_t i = 0; i < kFileCount; ++i) {
    files[i].assign(variant.pristine[i].begin(), variant.pristine[i].end());
  }
  applyDamage(&program, &files);
  for (size_t i = 0; i < files.size(); ++i) {
    if (!writeBytes(space.host(narrow(variant.fileNames[i])), files[i])) fail("cannot write");
  }

  const fs::path positions = space.host(narrow(variant.fileNames[1]));
  Table table(variant.name.c_str(), space.drive().c_str(), variant.compact);
  if (table.open()) {
    exercise(&table, (choice & kCreateIndexBit) != 0, positions, variant.name);
    table.close();
  }
  // A second object opens what the first one left behind.
  Table again(variant.name.c_str(), space.drive().c_str(), variant.compact);
  if (again.open()) {
    FieldList record = again.columns();
    walkAndRead(&again, &record, positions);
  }
  return 0;
}
