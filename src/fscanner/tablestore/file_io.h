// Little-endian byte access and positioned u32 reads and writes on table-store files. Every file
// of the store is little-endian whatever the host, so values are always assembled byte by byte.
#ifndef FSCANNER_TABLESTORE_FILE_IO_H
#define FSCANNER_TABLESTORE_FILE_IO_H

#include <cstdint>

#include "tablestore/storage_file.h"

inline void storeU16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}
inline void storeU32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void storeU64(uint8_t* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint16_t loadU16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }
inline uint32_t loadU32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}
inline uint64_t loadU64(const uint8_t* in) {
  return static_cast<uint64_t>(loadU32(in)) | (static_cast<uint64_t>(loadU32(in + 4)) << 32);
}

// Hints that the bytes at address are read soon, so that fetching them overlaps other work.
inline void prefetchForRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Moves to an absolute offset. StorageFile::seek takes a signed 32-bit offset, so offsets past
// 2 GiB are reached in steps from the current position. False when offset lies past the data.
bool seekTo(StorageFile* file, uint32_t offset);

// The logical size of the file (the position after seeking to its end); the position is left
// there.
uint32_t dataSize(StorageFile* file);

// Reads the u32 at offset; false when it does not lie entirely inside the data.
bool readU32At(StorageFile* file, uint32_t offset, uint32_t* value);

// Overwrites or appends the u32 at offset (which must not lie past the data); false when the
// write fails.
bool writeU32At(StorageFile* file, uint32_t offset, uint32_t value);

#endif  // FSCANNER_TABLESTORE_FILE_IO_H
