#include "fs/checksums.h"

#include <algorithm>
#include <memory>
#include <new>

#include "ZrLogWrapper.h"
#include "base/trace_as.h"
#include "fs/crc32.h"
#include "fs/q32.h"
#include "platform/platform.h"

namespace {

// Large reads keep the system-call cost far below the hashing cost. One buffer per thread, made
// on first use, so a walk that checksums many files allocates nothing per file.
constexpr size_t kReadChunkBytes = 64 * 1024;

uint8_t* threadReadBuffer() {
  thread_local std::unique_ptr<uint8_t[]> buffer;
  if (buffer == nullptr) buffer.reset(new (std::nothrow) uint8_t[kReadChunkBytes]);
  return buffer.get();
}

void clearResults(ChecksumRequest* request) {
  request->crc32 = 0;
  request->q32 = 0;
  request->md5 = Md5Digest{};
}

// Reads the file until a read returns nothing (or only its start for Q32 alone) and stores the
// checksums of what was read. A failing read ends the reading like the end of the file.
void checksumFile(platform::ReadableFile* file, ChecksumRequest* request) {
  const bool wantCrc32 = (request->mask & kChecksumCrc32) != 0;
  const bool wantQ32 = (request->mask & kChecksumQ32) != 0;
  const bool wantMd5 = (request->mask & kChecksumMd5) != 0;
  const bool q32Only = wantQ32 && !wantCrc32 && !wantMd5;
  uint32_t crc32 = 0;
  Q32 q32;
  Md5 md5;

  uint8_t small[kQ32Bytes];
  uint8_t* buffer = q32Only ? nullptr : threadReadBuffer();
  const size_t capacity = buffer != nullptr ? kReadChunkBytes : sizeof small;
  if (buffer == nullptr) buffer = small;
  for (;;) {
    const int64_t got = file->read(buffer, capacity);
    if (got < 0) {
      FS_TRACE_AS(getZrLogFs(), "computeChecksums", "::computeChecksums - read failed. Error %u\n",
                  platform::lastError());
    }
    if (got <= 0) break;
    const size_t length = static_cast<size_t>(got);
    if (wantMd5) md5.update(buffer, length);
    if (wantCrc32) crc32 = crc32Update(crc32, buffer, length);
    if (wantQ32) q32.update(buffer, length);
    if (q32Only) break;
  }
  request->crc32 = crc32;
  request->q32 = q32.value();
  request->md5 = md5.finish();
}

int hexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 0;
}

}  // namespace

int computeChecksums(ChecksumRequest* request, const char16_t* path) {
  if (request == nullptr) {
    FS_TRACE_AS(getZrLogFs(), "computeChecksums", "::computeChecksums - request is null\n");
    return -1;
  }
  request->status = 1;
  if (request->mask == 0) return 0;
  std::unique_ptr<platform::ReadableFile> file = platform::ReadableFile::open(path);
  if (file == nullptr) {
    FS_TRACE_AS(getZrLogFs(), "computeChecksums",
                "::computeChecksums - cannot open '%S'. Error %u\n", path, platform::lastError());
    request->status = 0;
    clearResults(request);
    return -1;
  }
  checksumFile(file.get(), request);
  return 0;
}

void md5ToText(const Md5Digest& digest, char16_t* text) {
  if (text == nullptr) return;
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (size_t i = 0; i < kMd5DigestBytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0xF];
  }
  text[2 * kMd5DigestBytes] = u'\0';
}

Md5Digest textToMd5(const char16_t* text) {
  Md5Digest digest{};
  if (text == nullptr) return digest;
  for (size_t i = 0; i < 2 * kMd5DigestBytes && text[i] != u'\0'; ++i) {
    const int value = hexDigitValue(text[i]);
    digest[i / 2] = static_cast<uint8_t>(digest[i / 2] + (i % 2 == 0 ? value * 16 : value));
  }
  return digest;
}

bool ChecksumFilter::match(const ChecksumRequest& request) const {
  auto holds = [](const auto& list, const auto& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
  };
  if ((request.mask & kChecksumCrc32) != 0 && holds(crc32Values, request.crc32)) return true;
  if ((request.mask & kChecksumQ32) != 0 && holds(q32Values, request.q32)) return true;
  return (request.mask & kChecksumMd5) != 0 && holds(md5Values, request.md5);
}
