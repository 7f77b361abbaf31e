// The variable-length number encoding of the table store.
//
// A variable-length number is the unsigned value cut into 7-bit groups, most significant group
// first; each group g is stored as the byte (g << 1) | m, with m = 1 on every byte but the last.
// Zero is the single byte 0x00; 300 is 0x05 0x58; a 64-bit value takes at most 10 bytes.
#ifndef FSCANNER_BASE_NUMBERS_H
#define FSCANNER_BASE_NUMBERS_H

#include <cstddef>
#include <cstdint>

// Longest encoding of a 64-bit value.
constexpr size_t kMaxVarintBytes = 10;

// Writes value so that its encoding ends at buffer[length - 1] and returns the index of its
// first byte. When the encoding does not fit, nothing is written and the result is length.
size_t encodeVarint(uint64_t value, uint8_t* buffer, size_t length);

// Reads one encoding from data: the number of bytes it took, or 0 when the input ends before
// the last byte or the encoding runs past kMaxVarintBytes. Groups beyond 64 bits are lost.
size_t decodeVarint(const uint8_t* data, size_t available, uint64_t* value);

#endif  // FSCANNER_BASE_NUMBERS_H
