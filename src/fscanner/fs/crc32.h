// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial register 0xFFFFFFFF, final
// complement), the checksum of Ethernet, zip and zlib.
//
// Two implementations give identical results: slicing-by-16 tables over interleaved streams,
// which run anywhere, and folding by carry-less multiplication (PCLMULQDQ), chosen at run time
// on x86 processors that have it. crc32Update picks the faster one once per process.
#ifndef FSCANNER_FS_CRC32_H
#define FSCANNER_FS_CRC32_H

#include <cstddef>
#include <cstdint>

// The CRC-32 of the bytes whose CRC-32 is crc followed by data: crc32Update(0, d, n) is the
// CRC-32 of d, and crc32Update(crc32Update(0, a, n), b, m) that of a followed by b. A null data
// with length 0 leaves crc unchanged.
uint32_t crc32Update(uint32_t crc, const void* data, size_t length);

// The implementations themselves, for tests and benchmarks, with the contract of crc32Update.
uint32_t crc32UpdateTables(uint32_t crc, const void* data, size_t length);
// True when this build and processor can run crc32UpdateFolding.
bool crc32FoldingSupported();
// Call only when crc32FoldingSupported() is true.
uint32_t crc32UpdateFolding(uint32_t crc, const void* data, size_t length);

#endif  // FSCANNER_FS_CRC32_H
