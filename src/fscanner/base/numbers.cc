#include "base/numbers.h"

namespace {

constexpr unsigned kGroupBits = 7;
constexpr uint64_t kGroupMask = 0x7F;
constexpr uint8_t kMoreBytesFollow = 0x01;

}  // namespace

size_t encodeVarint(uint64_t value, uint8_t* buffer, size_t length) {
  size_t needed = 1;
  for (uint64_t rest = value >> kGroupBits; rest != 0; rest >>= kGroupBits) ++needed;
  if (buffer == nullptr || needed > length) return length;

  size_t position = length - 1;
  buffer[position] = static_cast<uint8_t>((value & kGroupMask) << 1);
  for (value >>= kGroupBits; value != 0; value >>= kGroupBits) {
    buffer[--position] = static_cast<uint8_t>(((value & kGroupMask) << 1) | kMoreBytesFollow);
  }
  return position;
}

size_t decodeVarint(const uint8_t* data, size_t available, uint64_t* value) {
  if (data == nullptr) return 0;
  uint64_t result = 0;
  for (size_t i = 0; i < available && i < kMaxVarintBytes; ++i) {
    result = (result << kGroupBits) | (data[i] >> 1);
    if ((data[i] & kMoreBytesFollow) == 0) {
      if (value != nullptr) *value = result;
      return i + 1;
    }
  }
  return 0;
}
