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
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "support/narrow_text.h"
#include "tablestore/table.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kPristineRecords = 48;
constexpr uint32_t kVariants = 4;
constexpr uint32_t kCompactBit = 1;
constexpr uint32_t kBlobBit = 2;
constexpr uint32_t kCreateIndexBit = 4;
constexpr size_t kFileCount = 6;
constexpr char kMemoryDirectory[] = "/dev/shm";
constexpr size_t kMaxOperations = 64;
constexpr size_t kMaxXorBytes = 16;
// Keys sought per index and pass, so that an input stays fast.
constexpr size_t kMaxSeekKeys = 24;

struct IndexSpec {
  const char16_t* suffix;
  const char16_t* column;
  uint32_t type;
};
constexpr IndexSpec kIndexes[] = {{u"_FILENAME", u"FILENAME", FIELD_WSTRING},
                                  {u"_ATTR", u"ATTR", FIELD_INT32},
                                  {u"_SIZE", u"SIZE", FIELD_INT64}};

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "table_damage_fuzz: %s\n", what);
  std::abort();
}

std::u16string driveOf(const fs::path& host) {
  std::u16string drive;
  if (!platform::driveQualifiedPath(host.string(), &drive)) {
    fail("no drive for the temporary directory");
  }
  return drive;
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) fail("cannot write a work file");
}

// Sets every field of record from n, so that records differ, strings take one-, two- and
// three-byte encodings and some values are long enough to leave a field's built-in buffer.
void fillRecord(FieldList* record, uint32_t n) {
  for (uint32_t i = 0; i < record->count(); ++i) {
    Field* field = record->at(i);
    switch (field->type()) {
      case FIELD_BYTE:
        static_cast<ByteField*>(field)->setValue(static_cast<uint8_t>(n * 7));
        break;
      case FIELD_WORD:
        static_cast<WordField*>(field)->setValue(static_cast<uint16_t>(n * 300));
        break;
      case FIELD_INT32:
        static_cast<Int32Field*>(field)->setValue(n % 5 == 0 ? -1 : static_cast<int32_t>(n % 7));
        break;
      case FIELD_INT64:
        static_cast<Int64Field*>(field)->setValue(static_cast<int64_t>(n) << (n % 40));
        break;
      case FIELD_WSTRING: {
        std::u16string text = u"file" + std::u16string(n % 3, u'\u00e9') + u"_" +
                              std::u16string(1, static_cast<char16_t>(u'a' + n % 26));
        if (n % 11 == 0) text += std::u16string(150, u'\u4e2d');
        if (n % 13 == 0) text.clear();
        static_cast<WStringField*>(field)->setValue(text.c_str());
        break;
      }
      default: {
        uint8_t blob[4] = {3, static_cast<uint8_t>(n), 2, 1};
        static_cast<ShortBlobField*>(field)->setValue(blob);
        break;
      }
    }
  }
  if (n % 4 == 1 && record->count() > 0) record->at(n % record->count())->setNull(true);
}

// The files of one built table, in the order the damage program numbers them.
struct Variant {
  std::u16string name;
  bool compact = false;
  std::vector<std::u16string> fileNames;
  std::vector<Bytes> pristine;
};

// The temporary directory with the tables built once per process, removed at exit.
class Workspace {
 public:
  Workspace() {
    std::random_device seed;
    // In memory where possible: on a disk every input would wait for its files to be cut.
    std::error_code error;
    fs::path base = fs::is_directory(kMemoryDirectory, error) ? fs::path(kMemoryDirectory)
                                                              : fs::temp_directory_path();
    do {
      root_ = base / ("fscanner-fuzz-" + std::to_string(seed()));
    } while (!fs::create_directory(root_));
    fs::create_directory(root_ / "pristine");
    fs::create_directory(root_ / "work");
    for (uint32_t v = 0; v < kVariants; ++v) variants_.push_back(build(v));
    for (uint32_t n = 0; n < kPristineRecords; ++n) addKeysOf(n);
  }
  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const Variant& variant(uint32_t v) const { return variants_[v]; }
  fs::path work() const { return root_ / "work"; }
  // Key texts of the pristine records for the index at position i of kIndexes.
  const std::vector<std::u16string>& keys(size_t i) const { return keys_[i]; }

 private:
  Variant build(uint32_t v) {
    Variant variant;
    variant.compact = (v & kCompactBit) != 0;
    variant.name = std::u16string(variant.compact ? u"compact" : u"plain") +
                   ((v & kBlobBit) != 0 ? u"_blob" : u"");
    fs::path directory = root_ / "pristine";
    Table table(variant.name.c_str(), driveOf(directory).c_str(), variant.compact);
    table.addColumn(u"FILENAME", FIELD_WSTRING);
    table.addColumn(u"FLAGS", FIELD_BYTE);
    table.addColumn(u"KIND", FIELD_WORD);
    table.addColumn(u"ATTR", FIELD_INT32);
    table.addColumn(u"SIZE", FIELD_INT64);
    if ((v & kBlobBit) != 0) table.addColumn(u"TAG", FIELD_SHORT_BLOB);
    table.addColumn(u"SHORTNAME", FIELD_WSTRING);
    if (!table.create()) fail("cannot create a pristine table");
    for (const IndexSpec& index : kIndexes) {
      if (!table.createIndex((variant.name + index.suffix).c_str(), index.column)) {
        fail("cannot create a pristine index");
      }
    }
    FieldList record = table.columns();
    for (uint32_t n = 0; n < kPristineRecords; ++n) {
      fillRecord(&record, n);
      if (!table.addRecord(record)) fail("cannot add a pristine record");
    }
    // Removed and moved records leave dead entries in the position file and the chains.
    for (uint32_t n = 3; n < kPristineRecords; n += 9) table.removeRecord(n);
    for (uint32_t n = 5; n < kPristineRecords; n += 10) {
      fillRecord(&record, n + 1);
      table.updateRecord(n, record);
    }
    table.close();

    for (const char16_t* suffix : {u".dat", u".pxx", u"_idx.dat"}) {
      variant.fileNames.push_back(variant.name + suffix);
    }
    for (const IndexSpec& index : kIndexes) {
      variant.fileNames.push_back(variant.name + index.suffix + u".idx");
    }
    for (const std::u16string& file : variant.fileNames) {
      variant.pristine.push_back(readFile(directory / narrow(file)));
    }
    return variant;
  }

  // Key texts as the search side forms them: upper-cased strings, decimal numbers.
  void addKeysOf(uint32_t n) {
    FieldList record;
    for (const IndexSpec& index : kIndexes) record.addField(index.column, index.type);
    fillRecord(&record, n);
    const auto* name = static_cast<const WStringField*>(record.at(0));
    std::u16string key(name->value(), name->length());
    for (char16_t& unit : key) {
      if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
    }
    addKey(0, key);
    addKey(1, decimal(static_cast<const Int32Field*>(record.at(1))->value()));
    addKey(2, decimal(static_cast<const Int64Field*>(record.at(2))->value()));
  }
  static std::u16string decimal(int64_t value) {
    std::string digits = std::to_string(static_cast<uint32_t>(value));
    return std::u16string(digits.begin(), digits.end());
  }
  void addKey(size_t index, const std::u16string& key) {
    std::vector<std::u16string>& keys = keys_[index];
    if (keys.size() < kMaxSeekKeys && std::find(keys.begin(), keys.end(), key) == keys.end()) {
      keys.push_back(key);
    }
  }

  fs::path root_;
  std::vector<Variant> variants_;
  std::vector<std::u16string> keys_[std::size(kIndexes)];
};

Workspace& workspace() {
  static Workspace built;
  return built;
}

class Program {
 public:
  Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  bool take(size_t count, uint64_t* value) {
    if (size_ - at_ < count) return false;
    *value = 0;
    for (size_t i = 0; i < count; ++i) *value |= static_cast<uint64_t>(data_[at_ + i]) << (8 * i);
    at_ += count;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Applies the damage program to the files; stops at the first operation cut off by the input.
void applyDamage(Program* program, std::vector<Bytes>* files) {
  for (size_t op = 0; op < kMaxOperations && !program->done(); ++op) {
    uint64_t code = 0;
    program->take(1, &code);
    Bytes& file = (*files)[(code & 7) % kFileCount];
    uint64_t a = 0;
    uint64_t b = 0;
    switch ((code >> 3) & 3) {
      case 0:
        if (!program->take(4, &a)) return;
        file.resize(a % (file.size() + 1));
        break;
      case 1:
        if (!program->take(2, &a) || !program->take(1, &b)) return;
        file.insert(file.end(), a, static_cast<uint8_t>(b));
        break;
      default:
        if (!program->take(4, &a) || !program->take(1, &b)) return;
        for (size_t i = 0; i < b % kMaxXorBytes + 1; ++i) {
          uint64_t mask = 0;
          if (!program->take(1, &mask)) return;
          if (!file.empty()) file[(a + i) % file.size()] ^= static_cast<uint8_t>(mask);
        }
        break;
    }
  }
}

uint64_t fileLength(const fs::path& path) {
  std::error_code ignored;
  uint64_t length = fs::file_size(path, ignored);
  return length == static_cast<uint64_t>(-1) ? 0 : length;
}

// Walks every live record number, which must rise strictly and stay below the position file's
// entry count, and reads each record.
void walkAndRead(Table* table, FieldList* record, uint64_t positionBytes) {
  uint64_t entries = positionBytes / 4;
  uint32_t number = 0;
  uint64_t previous = 0;
  bool first = true;
  for (bool more = table->firstLiveRecord(&number); more;
       more = table->nextLiveRecord(number, &number)) {
    if (number >= entries || (!first && number <= previous)) fail("the record walk does not end");
    first = false;
    previous = number;
    table->readRecord(number, record);
  }
}

// Seeks keys in every index and follows each chain to its end, reading the records it names. The
// cursor is all the state a chain walk keeps, so a cursor that comes back means a walk that never
// ends.
void searchIndexes(Table* table, FieldList* record) {
  std::unordered_set<uint32_t> visited;
  for (size_t i = 0; i < std::size(kIndexes); ++i) {
    HashIndex* index = table->findIndexByColumn(kIndexes[i].column);
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

void exercise(Table* table, bool createIndex, const fs::path& directory,
              const std::u16string& name) {
  FieldList record = table->columns();
  fs::path positions = directory / (narrow(name) + ".pxx");
  walkAndRead(table, &record, fileLength(positions));
  searchIndexes(table, &record);
  for (uint32_t bogus : {0xFFFFFFFFu, 0x3FFFFFFFu, 0x40000000u, kPristineRecords}) {
    table->readRecord(bogus, &record);
    table->removeRecord(bogus);
  }

  fillRecord(&record, 7);
  uint32_t added = 0;
  if (table->addRecord(record, &added)) table->readRecord(added, &record);
  uint32_t first = 0;
  if (table->firstLiveRecord(&first)) {
    fillRecord(&record, first);  // same lengths as stored when undamaged: an in-place update
    table->updateRecord(first, record);
    fillRecord(&record, first + 2);
    table->updateRecord(first, record);
  }
  uint32_t second = 0;
  if (table->firstLiveRecord(&second)) table->removeRecord(second);
  if (createIndex) table->createIndex((name + u"_EXTRA").c_str(), u"SHORTNAME");

  walkAndRead(table, &record, fileLength(positions));
  searchIndexes(table, &record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace& space = workspace();
  Program program(data, size);
  uint64_t choice = 0;
  program.take(1, &choice);
  const Variant& variant = space.variant(static_cast<uint32_t>(choice % kVariants));
  // Kept from input to input, so that copying the files needs no new memory.
  static std::vector<Bytes> files(kFileCount);
  for (size_t i = 0; i < kFileCount; ++i) {
    files[i].assign(variant.pristine[i].begin(), variant.pristine[i].end());
  }
  applyDamage(&program, &files);
  fs::path work = space.work();
  for (size_t i = 0; i < files.size(); ++i) {
    writeFile(work / narrow(variant.fileNames[i]), files[i]);
  }

  Table table(variant.name.c_str(), driveOf(work).c_str(), variant.compact);
  if (table.open()) {
    exercise(&table, (choice & kCreateIndexBit) != 0, work, variant.name);
    table.close();
  }
  // A second object opens what the first one left behind.
  Table again(variant.name.c_str(), driveOf(work).c_str(), variant.compact);
  if (again.open()) {
    FieldList record = again.columns();
    walkAndRead(&again, &record, fileLength(work / (narrow(variant.name) + ".pxx")));
  }
  return 0;
}
