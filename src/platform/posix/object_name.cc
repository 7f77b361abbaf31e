#include "platform/posix/object_name.h"

#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace platform {
namespace internal {
namespace {

constexpr char kSegmentDirectory[] = "/dev/shm/";
constexpr char kFilePrefix[] = "fscanner.";
constexpr char16_t kGlobalPrefix[] = u"Global\\";
constexpr char16_t kLocalPrefix[] = u"Local\\";
// File names stay well below NAME_MAX (255); longer escaped names are hashed.
constexpr size_t kMaxEscapedLength = 180;
constexpr size_t kHashedPrefixLength = 140;
// Separates the kept prefix from the hash; never produced by escaping.
constexpr char kHashMarker = '~';

bool isPlainCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'-' || c == u'.';
}

// Letters, digits, '_', '-' and '.' stay; every other UTF-16 unit (a lone surrogate too) becomes
// '%' and four hex digits, so distinct names give distinct file names.
std::string escape(const std::u16string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char16_t c : name) {
    if (isPlainCharacter(c)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    out.push_back('%');
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
  }
  return out;
}

// FNV-1a, 128-bit, over the UTF-16 units of the name.
std::string hash128(const std::u16string& name) {
  using U128 = unsigned __int128;
  const U128 kOffset = (static_cast<U128>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
  const U128 kPrime = (static_cast<U128>(0x0000000001000000ULL) << 64) | 0x000000000000013BULL;
  U128 hash = kOffset;
  for (char16_t c : name) {
    hash ^= static_cast<uint8_t>(c & 0xFF);
    hash *= kPrime;
    hash ^= static_cast<uint8_t>(c >> 8);
    hash *= kPrime;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int shift = 124; shift >= 0; shift -= 4) out.push_back(kHex[(hash >> shift) & 0xF]);
  return out;
}

bool startsWith(const std::u16string& text, const char16_t* prefix) {
  return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

}  // namespace

bool namedObjectPath(const char16_t* name, std::string* path) {
  if (name == nullptr || name[0] == u'\0') {
    setLastError(kErrorInvalidName);
    return false;
  }
  const std::u16string full(name);
  char scope = 'L';
  std::u16string rest = full;
  if (startsWith(full, kGlobalPrefix)) {
    scope = 'G';
    rest = full.substr(std::char_traits<char16_t>::length(kGlobalPrefix));
  } else if (startsWith(full, kLocalPrefix)) {
    rest = full.substr(std::char_traits<char16_t>::length(kLocalPrefix));
  } else if (full.find(u'\\') != std::u16string::npos) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  if (rest.empty() || rest.find(u'\\') != std::u16string::npos) {
    setLastError(kErrorInvalidName);
    return false;
  }
  std::string escaped = escape(rest);
  if (escaped.size() > kMaxEscapedLength) {
    escaped = escaped.substr(0, kHashedPrefixLength) + kHashMarker + hash128(rest);
  }
  *path = std::string(kSegmentDirectory) + kFilePrefix + std::to_string(geteuid()) + '.' + scope +
          '.' + escaped;
  return true;
}

}  // namespace internal
}  // namespace platform
