#include "criteria/pattern_set.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <ctime>

#include "base/wildcard.h"
#include "base/wstring.h"

namespace {

// Well-mixed values below 2^30, one per low byte of a unit.
constexpr uint32_t kUnitWeights[256] = {
    0x0FBD68D3, 0x1C25BC00, 0x1EEC53FA, 0x1C7C0B81, 0x0E300EB0, 0x2A53EE83, 0x30385AC5, 0x2242B363,
    0x2CE22762, 0x1A80E639, 0x0120D13B, 0x3C5D73FA, 0x0E473BBC, 0x12EBE32B, 0x0D51DD11, 0x3673CAC5,
    0x2587EB31, 0x00252AD2, 0x38C8478D, 0x18BF9B09, 0x16B0C2CC, 0x0514160B, 0x1E8C3F31, 0x15503D6E,
    0x05B3BC15, 0x0B3E3C52, 0x3272498E, 0x35BFE482, 0x14C649A5, 0x1CFAA6E6, 0x0409C4FE, 0x3D060E83,
    0x1C6D8F8C, 0x36987D5C, 0x11BADD02, 0x2C8EB5A4, 0x19F23F84, 0x1FAD1985, 0x2601DD51, 0x07B98CCD,
    0x2F0D4D95, 0x338E2632, 0x0996C708, 0x3F465232, 0x365DA24E, 0x0CDB9DE9, 0x05BE255B, 0x369F3611,
    0x07A33E17, 0x0FA9A04A, 0x2820281D, 0x111A6867, 0x2F56E4D4, 0x2D1A9D27, 0x01F69C53, 0x0E4EA12E,
    0x2CEB823C, 0x190A8D43, 0x151EF7B0, 0x1DE37AEC, 0x2C789B62, 0x127ED665, 0x178916F3, 0x07DA0639,
    0x2B5A5158, 0x37B5F0C9, 0x038607BE, 0x19D51236, 0x3C11F86D, 0x38F67E2C, 0x1899236D, 0x179DCB9A,
    0x1AF0BA8C, 0x0A62D631, 0x226850B9, 0x01EC5C35, 0x1D52E74A, 0x24D2640C, 0x286AD22A, 0x3FD6A8B5,
    0x0CA96881, 0x3665C388, 0x3674065E, 0x10DE8BB5, 0x0C3E9217, 0x2AAD9E41, 0x19424644, 0x146E43C1,
    0x20A27440, 0x222B9FA1, 0x020CE988, 0x38B9550C, 0x377A4DC7, 0x15D46A36, 0x2FC7C678, 0x1D4DD3C4,
    0x27C72993, 0x0E04DBCE, 0x351E58F6, 0x361D0A3F, 0x0981FA2F, 0x0F1EA13E, 0x231FD2FE, 0x3B528912,
    0x0DB25C4E, 0x0236054D, 0x2B1F1565, 0x37C6E218, 0x1883B9FC, 0x0E3477CE, 0x39C6425E, 0x27B1B349,
    0x3D52F662, 0x19262F18, 0x06639958, 0x290FF577, 0x0D6B597F, 0x0BC004E7, 0x0557D076, 0x0FCADAA3,
    0x12DC9906, 0x2898597D, 0x2DE9BCFC, 0x2381A491, 0x08C8D369, 0x19187670, 0x271132B1, 0x24F783A3,
    0x2232114A, 0x1C36AB50, 0x1EAE1571, 0x32379EA0, 0x17D589F7, 0x37582FE0, 0x0F3F06E9, 0x1016A4C2,
    0x1379FAC8, 0x21B94499, 0x03C4A1BB, 0x0722B28D, 0x076A3922, 0x06243734, 0x0AC6ABE5, 0x2CCAC589,
    0x27ED7C2F, 0x0F5E3DE4, 0x06106563, 0x2862A16A, 0x18C7A6AE, 0x0F6AD852, 0x005C082E, 0x3E9676A1,
    0x0A736045, 0x23457214, 0x2542CEF7, 0x20DB2E3C, 0x10197BF7, 0x2E6EBB2D, 0x1ECDE324, 0x13774975,
    0x29CCB58E, 0x1D723424, 0x19E16804, 0x3FF2A179, 0x31BC84A4, 0x0FB4AF0D, 0x34372345, 0x144FE3B6,
    0x10C90E53, 0x1F2FA9BB, 0x1A5C1C49, 0x3752E9EA, 0x04008429, 0x2BC44079, 0x05028CEC, 0x338DD23A,
    0x1D8EE508, 0x03A0821F, 0x228FE646, 0x0C6CE67D, 0x3D43A8B1, 0x1B009127, 0x1E452994, 0x2DD7E1BD,
    0x06F6C931, 0x01B93946, 0x3FF988B6, 0x3C9E4BC4, 0x0AAB5BFD, 0x0359274A, 0x0ABBE2B1, 0x2E1B2795,
    0x3A178F3E, 0x2CFED19B, 0x2B2340F0, 0x2A7BB126, 0x3D1EF80C, 0x293DD22D, 0x3006EC42, 0x2241E779,
    0x35C01EEA, 0x313686ED, 0x260616E9, 0x1090B246, 0x01E597C6, 0x00D6732A, 0x39E952FC, 0x0CCEA873,
    0x25306360, 0x3B80C0EB, 0x2EF0E1C1, 0x315E9AEF, 0x2EBA939A, 0x27C7B672, 0x0E116A5A, 0x07C09893,
    0x12082D38, 0x1DF44966, 0x29257D3F, 0x17390878, 0x037F58EB, 0x15C0116E, 0x16DCC5F3, 0x1B7BEC4F,
    0x2749500D, 0x37FC74F6, 0x29E1B036, 0x2722AA15, 0x0B57566D, 0x1CFEFEFF, 0x381165A6, 0x2CDD2CC7,
    0x3B94F076, 0x00BB85BD, 0x10F45C02, 0x345FD6EB, 0x2F77C8A2, 0x3E6E6035, 0x33741772, 0x2B9B7DF7,
    0x29A8399D, 0x36149A6D, 0x10EC2154, 0x1C5AA8D0, 0x3D807634, 0x2738713C, 0x23975202, 0x173590F2,
    0x113B3E8A, 0x0E43CBB7, 0x37FA99C5, 0x2DCD0A5C, 0x30FCDC03, 0x100F2B80, 0x08E14EC0, 0x18F70A12,
};

// Whether a table slot needs a full comparison: lengths first, then the units.
bool sameText(const std::u16string& pattern, const char16_t* text, size_t length,
              bool caseSensitive) {
  return pattern.size() == length && wcsCompareN(pattern.c_str(), text, length, caseSensitive) == 0;
}

}  // namespace

PatternHash::PatternHash(const std::vector<std::u16string>* strings, bool caseSensitive,
                         std::vector<uint32_t>* refused)
    : caseSensitive_(caseSensitive), strings_(strings) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  seed_ = static_cast<uint32_t>(std::rand());
  uint64_t size = kMinSize;
  while (size <= 3 * static_cast<uint64_t>(strings->size())) size *= 2;
  slots_.assign(size, kEmpty);
  mask_ = static_cast<uint32_t>(size - 1);
  for (uint32_t i = 0; i < strings->size(); ++i) {
    if (!insert(i)) refused->push_back(i);
  }
}

uint32_t PatternHash::weight(char16_t c) { return kUnitWeights[c & 0xFF]; }

uint32_t PatternHash::extend(uint32_t hash, char16_t c) { return weight(c) + 2 * hash; }

uint32_t PatternHash::hashOf(const char16_t* text, size_t length) {
  uint32_t hash = 0;
  for (size_t i = 0; i < length; ++i) hash = extend(hash, text[i]);
  return hash;
}

bool PatternHash::insert(uint32_t index) {
  const std::u16string& text = (*strings_)[index];
  uint32_t hash = hashOf(text.data(), text.size());
  for (uint32_t probe = 0; probe < kMaxProbes; ++probe) {
    uint32_t& slot = slots_[slotAt(hash, probe)];
    if (slot == kEmpty) {
      slot = index;
      ++count_;
      return true;
    }
    if (sameText((*strings_)[slot], text.data(), text.size(), caseSensitive_)) return true;
  }
  return false;
}

bool PatternHash::contains(const char16_t* text, size_t length, uint32_t hash) const {
  for (uint32_t probe = 0; probe < kMaxProbes; ++probe) {
    uint32_t slot = slots_[slotAt(hash, probe)];
    if (slot == kEmpty) return false;
    if (sameText((*strings_)[slot], text, length, caseSensitive_)) return true;
  }
  return false;
}

PatternSet::PatternSet() = default;
PatternSet::~PatternSet() = default;

uint8_t PatternSet::add(const char16_t* pattern) { return add(pattern, wcsLength(pattern)); }

uint8_t PatternSet::add(const char16_t* pattern, size_t length) {
  if (matchAll_ || pattern == nullptr) return 0;
  ++count_;
  if (length == 0) return 0;
  size_t wildcards = 0;
  for (size_t i = 0; i < length; ++i) {
    if (pattern[i] == u'*' || pattern[i] == u'?') ++wildcards;
  }
  bool leadingStar = pattern[0] == u'*';
  bool trailingStar = pattern[length - 1] == u'*';
  // Patterns too long for the per-length flags are matched like any general pattern.
  bool flagged = length < kLengthSlots;
  if (wildcards == 0 && flagged) {
    flagLength(length, kExact);
    kinds_ |= kExact;
    exact_.emplace_back(pattern, length);
    return kExact;
  }
  if (wildcards == 1 && leadingStar) {
    if (length == 1) {
      matchAll_ = true;
      return 0;
    }
    if (flagged) {
      flagLength(length - 1, kSuffix);
      longestSuffix_ = std::max(longestSuffix_, length - 1);
      kinds_ |= kSuffix;
      suffix_.emplace_back(pattern + 1, length - 1);
      return kSuffix;
    }
  } else if (wildcards == 1 && trailingStar && flagged) {
    flagLength(length - 1, kPrefix);
    longestPrefix_ = std::max(longestPrefix_, length - 1);
    kinds_ |= kPrefix;
    prefix_.emplace_back(pattern, length - 1);
    return kPrefix;
  }
  kinds_ |= kGeneral;
  general_.emplace_back(pattern, length);
  return kGeneral;
}

void PatternSet::flagLength(size_t length, uint8_t kind) {
  assert(length < kLengthSlots);
  if (length >= lengthFlags_.size()) lengthFlags_.resize(length + 1, 0);
  lengthFlags_[length] |= kind;
}

void PatternSet::addQuoted(const char16_t* text, size_t length) {
  if (text == nullptr) return;
  size_t i = 0;
  while (i < length) {
    if (text[i++] != u'"') continue;
    size_t start = i;
    while (i < length && text[i] != u'"') ++i;
    add(text + start, i - start);
    ++i;
  }
}

void PatternSet::build(bool caseSensitive) {
  caseSensitive_ = caseSensitive;
  for (auto* list : {&exact_, &suffix_, &prefix_, &general_}) {
    for (std::u16string& pattern : *list) wcsLower(pattern.data());
  }
  if (kinds_ & kExact) exactHash_ = makeHash(&exact_, u"", u"");
  if (kinds_ & kSuffix) suffixHash_ = makeHash(&suffix_, u"*", u"");
  if (kinds_ & kPrefix) prefixHash_ = makeHash(&prefix_, u"", u"*");
  built_ = true;
}

std::unique_ptr<PatternHash> PatternSet::makeHash(std::vector<std::u16string>* list,
                                                  const char16_t* lead, const char16_t* trail) {
  std::vector<uint32_t> refused;
  auto hash = std::make_unique<PatternHash>(list, caseSensitive_, &refused);
  for (uint32_t index : refused) general_.push_back(lead + (*list)[index] + trail);
  if (!refused.empty()) kinds_ |= kGeneral;
  return hash;
}

size_t PatternSet::footprint() const {
  size_t bytes = sizeof(*this) + lengthFlags_.capacity();
  for (const auto* list : {&exact_, &suffix_, &prefix_, &general_}) {
    bytes += list->capacity() * sizeof(std::u16string);
    for (const std::u16string& pattern : *list) {
      // Short strings live inside the string object.
      if (pattern.capacity() > sizeof(std::u16string) / sizeof(char16_t)) {
        bytes += (pattern.capacity() + 1) * sizeof(char16_t);
      }
    }
  }
  for (const auto* hash : {&exactHash_, &suffixHash_, &prefixHash_}) {
    if (*hash != nullptr) bytes += sizeof(PatternHash) + (*hash)->size() * sizeof(uint32_t);
  }
  return bytes;
}

const std::vector<std::u16string>& PatternSet::patterns(uint8_t kind) const {
  switch (kind) {
    case kExact:
      return exact_;
    case kSuffix:
      return suffix_;
    case kPrefix:
      return prefix_;
    default:
      return general_;
  }
}

bool PatternSet::match(const char16_t* text) const { return match(text, wcsLength(text)); }

bool PatternSet::match(const char16_t* text, size_t length) const {
  if (!built_ || text == nullptr) return false;
  if (matchAll_) return true;
  if ((kinds_ & kExact) && lengthHas(length, kExact) &&
      exactHash_->contains(text, length, PatternHash::hashOf(text, length))) {
    return true;
  }
  if ((kinds_ & kSuffix) && matchSuffix(text, length)) return true;
  if ((kinds_ & kPrefix) && matchPrefix(text, length)) return true;
  return (kinds_ & kGeneral) && matchGeneral(text);
}

// Every suffix of the text up to the longest pattern is a candidate. Their hashes come from one
// pass from the right end: the unit at position i weighs 2^(length - 1 - i) in the hash of the
// suffix starting at i.
bool PatternSet::matchSuffix(const char16_t* text, size_t length) const {
  uint32_t hash = 0;
  uint32_t scale = 1;
  size_t stop = length > longestSuffix_ ? length - longestSuffix_ : 0;
  for (size_t i = length; i-- > stop;) {
    hash += PatternHash::weight(text[i]) * scale;
    scale *= 2;
    size_t suffixLength = length - i;
    if (lengthHas(suffixLength, kSuffix) && suffixHash_->contains(text + i, suffixLength, hash)) {
      return true;
    }
  }
  return false;
}

bool PatternSet::matchPrefix(const char16_t* text, size_t length) const {
  uint32_t hash = 0;
  size_t limit = length < longestPrefix_ ? length : longestPrefix_;
  for (size_t prefixLength = 1; prefixLength <= limit; ++prefixLength) {
    hash = PatternHash::extend(hash, text[prefixLength - 1]);
    if (lengthHas(prefixLength, kPrefix) && prefixHash_->contains(text, prefixLength, hash)) {
      return true;
    }
  }
  return false;
}

bool PatternSet::matchGeneral(const char16_t* text) const {
  for (const std::u16string& pattern : general_) {
    if (wildcardMatch(pattern.c_str(), text, caseSensitive_) == 1) return true;
  }
  return false;
}
