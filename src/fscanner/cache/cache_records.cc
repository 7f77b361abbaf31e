#include "cache/cache_records.h"

#include "fs/checksums.h"
#include "fs/file_mode.h"
#include "fs/md5.h"

namespace {

constexpr char16_t kNoChecksum[] = u"0";

void setText(WStringField* field, const std::u16string& text) {
  if (field != nullptr) field->setValue(text.data(), text.size());
}

void setNumber(Int32Field* field, uint32_t value) {
  if (field != nullptr) field->setValue(static_cast<int32_t>(value));
}

}  // namespace

bool addDirectoryRecord(RecordSetRef& directories, uint32_t id, const char16_t* name,
                        const char16_t* shortName, uint32_t parentId, uint32_t scanTime) {
  RecordSet* records = directories.get();
  if (records == nullptr) return false;
  records->setInt32(u"ID", static_cast<int32_t>(id));
  records->setString(u"PATHNAME", name);
  records->setString(u"SHORTPATHNAME", shortName);
  records->setInt32(u"PARENTID", static_cast<int32_t>(parentId));
  records->setInt32(u"CREATIONTIME", static_cast<int32_t>(scanTime));
  return records->addNew();
}

FileRecordWriter::FileRecordWriter(RecordSetRef& files, bool checksums)
    : records_(files.get()),
      checksums_(checksums),
      name_(typedColumn<WStringField>(records_, u"FILENAME", FIELD_WSTRING)),
      shortName_(typedColumn<WStringField>(records_, u"SHORTFILENAME", FIELD_WSTRING)),
      size_(typedColumn<Int64Field>(records_, u"SIZE", FIELD_INT64)),
      attributes_(typedColumn<Int32Field>(records_, u"ATTR", FIELD_INT32)),
      pathId_(typedColumn<Int32Field>(records_, u"PATHID", FIELD_INT32)),
      md5_(typedColumn<WStringField>(records_, u"MD5", FIELD_WSTRING)),
      crc32_(typedColumn<Int32Field>(records_, u"CRC32", FIELD_INT32)),
      q32_(typedColumn<Int32Field>(records_, u"Q32", FIELD_INT32)) {}

bool FileRecordWriter::add(const platform::FindData& entry, const std::u16string& base,
                           uint32_t parentId) {
  if (records_ == nullptr) return false;
  setText(name_, entry.name);
  setText(shortName_, entry.shortName);
  if (size_ != nullptr) size_->setValue(static_cast<int64_t>(entry.size));
  setNumber(attributes_,
            modeFromAttributes(entry.attributes, entry.name.c_str(), entry.shortName.c_str()));
  setNumber(pathId_, parentId);
  ChecksumRequest request;
  request.mask = checksums_ ? kChecksumCrc32 | kChecksumQ32 | kChecksumMd5 : 0;
  const bool computed =
      request.mask != 0 && computeChecksums(&request, (base + entry.name).c_str()) == 0;
  if (md5_ != nullptr) {
    char16_t md5Text[kMd5TextCapacity];
    if (computed) md5ToText(request.md5, md5Text);
    md5_->setValue(computed ? md5Text : kNoChecksum);
  }
  setNumber(crc32_, computed ? request.crc32 : 0);
  setNumber(q32_, computed ? request.q32 : 0);
  return records_->addNew();
}
