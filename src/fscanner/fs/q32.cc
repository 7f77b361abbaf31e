#include "fs/q32.h"

#include "fs/crc32.h"

size_t Q32::update(const void* data, size_t length) {
  if (data == nullptr) return 0;
  const size_t take = length < kQ32Bytes - taken_ ? length : kQ32Bytes - taken_;
  crc_ = crc32Update(crc_, data, take);
  taken_ += take;
  return take;
}

uint32_t Q32::of(const void* data, size_t length) {
  Q32 q32;
  q32.update(data, length);
  return q32.value();
}
