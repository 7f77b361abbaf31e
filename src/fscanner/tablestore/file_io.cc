#include "tablestore/file_io.h"

#include <limits>

namespace {
constexpr uint32_t kMaxSeekStep = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
}  // namespace

bool seekTo(StorageFile* file, uint32_t offset) {
  uint32_t step = offset < kMaxSeekStep ? offset : kMaxSeekStep;
  if (!file->seek(static_cast<int32_t>(step), SEEK_FROM_START)) return false;
  for (uint32_t rest = offset - step; rest > 0; rest -= step) {
    step = rest < kMaxSeekStep ? rest : kMaxSeekStep;
    if (!file->seek(static_cast<int32_t>(step), SEEK_FROM_CURRENT)) return false;
  }
  return true;
}

uint32_t dataSize(StorageFile* file) {
  file->seek(0, SEEK_FROM_END);
  return file->tell();
}

bool readU32At(StorageFile* file, uint32_t offset, uint32_t* value) {
  uint8_t bytes[4];
  if (!seekTo(file, offset) || file->read(bytes, sizeof(bytes)) != sizeof(bytes)) return false;
  *value = loadU32(bytes);
  return true;
}

bool writeU32At(StorageFile* file, uint32_t offset, uint32_t value) {
  uint8_t bytes[4];
  storeU32(bytes, value);
  return seekTo(file, offset) && file->write(bytes, sizeof(bytes)) == sizeof(bytes);
}
