// The checksums of one file (CRC32, Q32, MD5), computed in one pass over it, and the text form of
// MD5 digests. ChecksumFilter (include/ChecksumFilter.h) tests them against wanted values.
#ifndef FSCANNER_FS_CHECKSUMS_H
#define FSCANNER_FS_CHECKSUMS_H

#include <cstddef>
#include <cstdint>

#include "ChecksumFilter.h"
#include "fs/md5.h"

// Request mask bits.
constexpr uint32_t kChecksumCrc32 = 0x1;
constexpr uint32_t kChecksumQ32 = 0x2;
constexpr uint32_t kChecksumMd5 = 0x4;

// Characters of the MD5 text form: 32 lower-case hexadecimal digits and the terminating zero.
constexpr size_t kMd5TextCapacity = 2 * kMd5DigestBytes + 1;

// One file's checksums: the caller sets the mask, computeChecksums fills the rest.
struct ChecksumRequest {
  uint32_t status = 0;  // 1: computed (or nothing asked); 0: the file could not be opened
  uint32_t mask = 0;    // kChecksum* bits
  uint32_t crc32 = 0;   // CRC-32 of the whole file
  uint32_t q32 = 0;     // see fs/q32.h
  Md5Digest md5 = {};
};

// Reads the file once and computes the checksums the mask asks for; those not asked for get the
// value of no input (0 for CRC32 and Q32, the MD5 of nothing). Q32 alone reads only the first
// kQ32Bytes. A mask of 0: status 1, result 0, the file is not opened. A read error ends the
// reading as the end of the file does: status 1, result 0, the checksums of what was read (traced).
// -1, status 0 and every checksum 0 when the file cannot be opened: directories, FIFOs, sockets
// and devices are refused without being read, so this never blocks.
// The path is drive-qualified (C:\dir\file).
int computeChecksums(ChecksumRequest* request, const char16_t* path);

// Writes the 32 digits of digest, two per byte, high nibble first, and a terminating zero into
// text (kMd5TextCapacity characters). A null text is left alone.
void md5ToText(const Md5Digest& digest, char16_t* text);

// The digest of a text of up to 32 hexadecimal digits (either case): digit i gives the high
// nibble of byte i / 2 when i is even, the low one when odd. A shorter text leaves the remaining
// bytes 0; a character that is not a hexadecimal digit counts as the digit 0; null reads as empty.
Md5Digest textToMd5(const char16_t* text);

#endif  // FSCANNER_FS_CHECKSUMS_H
