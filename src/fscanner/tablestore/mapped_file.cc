#include "tablestore/mapped_file.h"

#include <cassert>
#include <cstring>
#include <new>

namespace {
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;  // offsets are 32-bit
}  // namespace

MappedFile::MappedFile(const char16_t* path) {
  if (path != nullptr) {
    hasName_ = true;
    name_ = path;
  }
}

MappedFile::~MappedFile() {
  if (file_ != nullptr) close();
}

void MappedFile::assertInvariants() const {
  assert(position_ <= logicalSize_);
  assert(logicalSize_ <= capacity_);
}

void MappedFile::reset() {
  mapping_.reset();
  file_.reset();
  view_ = nullptr;
  logicalSize_ = 0;
  capacity_ = 0;
  position_ = 0;
  endOfData_ = false;
  grown_ = false;
}

bool MappedFile::create() { return openWith(platform::Disposition::kCreateAlways); }

bool MappedFile::open() { return openWith(platform::Disposition::kOpenExisting); }

bool MappedFile::openWith(platform::Disposition disposition) {
  if (!hasName_ || file_ != nullptr) return false;
  file_ = platform::File::open(name_.c_str(), disposition);
  if (file_ == nullptr) return false;
  logicalSize_ = 0;
  capacity_ = 0;
  position_ = 0;
  endOfData_ = false;
  grown_ = false;
  if (disposition == platform::Disposition::kCreateAlways) return true;
  uint32_t length = 0;
  if (!getSize(&length)) return false;
  logicalSize_ = length;
  capacity_ = length;
  return length == 0 || mapWhole();
}

bool MappedFile::mapWhole() {
  mapping_ = platform::FileMapping::map(*file_, capacity_);
  view_ = mapping_ != nullptr ? mapping_->data() : nullptr;
  return view_ != nullptr;
}

bool MappedFile::close() {
  if (file_ == nullptr) return false;
  mapping_.reset();
  view_ = nullptr;
  // Cutting fails while another holder still has the file; its data must stay readable there.
  if (grown_) file_->setSize(logicalSize_);
  reset();
  return true;
}

uint32_t MappedFile::read(void* buffer, uint32_t count) {
  uint32_t available = logicalSize_ - position_;
  uint32_t delivered = count <= available ? count : available;
  if (delivered > 0 && (buffer == nullptr || view_ == nullptr)) return 0;
  if (delivered > 0) std::memcpy(buffer, view_ + position_, delivered);
  endOfData_ = delivered < count;
  position_ += delivered;
  assertInvariants();
  return delivered;
}

uint32_t MappedFile::write(const void* buffer, uint32_t count) {
  if (file_ == nullptr || buffer == nullptr || count == 0) return 0;
  if (static_cast<uint64_t>(position_) + count > logicalSize_) {
    if (!makeRoom(count)) return 0;
  }
  if (view_ == nullptr) return 0;
  std::memcpy(view_ + position_, buffer, count);
  position_ += count;
  assertInvariants();
  return count;
}

bool MappedFile::makeRoom(uint32_t count) {
  uint64_t end = static_cast<uint64_t>(position_) + count;
  if (static_cast<uint64_t>(logicalSize_) + count <= capacity_) {
    logicalSize_ = static_cast<uint32_t>(end);
    return true;
  }
  // The smallest multiple of the step that exceeds count.
  uint64_t increment = (static_cast<uint64_t>(count) / kGrowthStep + 1) * kGrowthStep;
  uint64_t newCapacity = capacity_ + increment;
  if (newCapacity > kMaxFileSize) {
    platform::setLastError(platform::kErrorDiskFull);
    return false;
  }
  // Where the view has room reserved behind it, the file grows under it and the view follows in
  // place; otherwise the view is dropped before the file grows and the whole file mapped anew.
  bool inPlace = mapping_ != nullptr && newCapacity <= mapping_->reservedLength();
  if (!inPlace) {
    mapping_.reset();
    view_ = nullptr;
  }
  uint32_t oldCapacity = capacity_;
  grown_ = true;  // even a failed attempt may have extended the file
  if (file_->setSize(newCapacity)) {
    capacity_ = static_cast<uint32_t>(newCapacity);
    if (inPlace ? mapping_->extend(newCapacity) : mapWhole()) {
      logicalSize_ = static_cast<uint32_t>(end);
      return true;
    }
  }
  // Keep serving the data already held: the next close cuts any extension back.
  capacity_ = oldCapacity;
  if (!inPlace && capacity_ > 0) mapWhole();
  return false;
}

bool MappedFile::seek(int32_t offset, int origin) {
  uint32_t base = 0;
  switch (origin) {
    case SEEK_FROM_START:
      if (offset < 0) return false;
      break;
    case SEEK_FROM_CURRENT:
      base = position_;
      break;
    case SEEK_FROM_END:
      base = logicalSize_;
      break;
    default:
      return false;
  }
  uint32_t target = base + static_cast<uint32_t>(offset);
  if (target > logicalSize_) return false;
  position_ = target;
  assertInvariants();
  return true;
}

bool MappedFile::getSize(uint32_t* size) {
  uint64_t length = 0;
  if (file_ == nullptr || size == nullptr || !file_->size(&length)) return false;
  if (length > kMaxFileSize) {
    platform::setLastError(platform::kErrorFileInvalid);
    return false;
  }
  *size = static_cast<uint32_t>(length);
  return true;
}

bool MappedFile::refresh() {
  if (file_ == nullptr) return false;
  uint32_t length = 0;
  const bool sized = getSize(&length);
  if (sized && length == capacity_ && (length == 0 || view_ != nullptr)) {
    logicalSize_ = length;
    return true;
  }
  const bool inPlace = sized && mapping_ != nullptr && length > capacity_ &&
                       length <= mapping_->reservedLength() && mapping_->extend(length);
  if (!inPlace) {
    mapping_.reset();
    view_ = nullptr;
    capacity_ = 0;
    if (sized && length > 0) {
      capacity_ = length;
      if (!mapWhole()) capacity_ = 0;
    }
  }
  capacity_ = view_ != nullptr ? length : 0;
  logicalSize_ = capacity_;
  if (position_ > logicalSize_) position_ = logicalSize_;
  assertInvariants();
  return sized && (length == 0 || view_ != nullptr);
}

std::unique_ptr<StorageFile> newMappedFile(const char16_t* path) {
  if (path == nullptr) return nullptr;
  return std::unique_ptr<StorageFile>(new (std::nothrow) MappedFile(path));
}
