// Shell-folder tokens in query paths: %CSIDL_WINDOWS%\*.exe and the like.
#include "base/wstring.h"
#include "paths/pathhelper.h"
#include "paths/wow64helper.h"
#include "platform/platform.h"

namespace {

enum TokenKind { kEndOfTable = 0, kShellFolder = 1 };

struct FolderToken {
  const char16_t* name;
  TokenKind kind;
  int folderId;
};

// Searched in this order; a token matches the first name it begins, so abbreviations work.
constexpr FolderToken kFolderTokens[] = {
    {u"CSIDL_WINDOWS", kShellFolder, 36},
    {u"CSIDL_PROGRAM_FILES", kShellFolder, 38},
    {u"CSIDL_SYSTEM", kShellFolder, 37},
    {u"CSIDL_COMMON_DESKTOPDIRECTORY", kShellFolder, 25},
    {u"CSIDL_COMMON_STARTMENU", kShellFolder, 22},
    {u"CSIDL_COMMON_STARTUP", kShellFolder, 24},
    {u"CSIDL_COMMON_PROGRAMS", kShellFolder, 23},
    {u"__LAST_ENTRY__", kEndOfTable, 0},
};

constexpr int kBadArgument = -1;
constexpr int kOutputTooSmall = -2;

// The first table entry whose name begins with the token [begin, end), case significant; null
// when none does.
const FolderToken* findToken(const char16_t* begin, const char16_t* end) {
  const size_t length = static_cast<size_t>(end - begin);
  for (const FolderToken& token : kFolderTokens) {
    if (wcsLength(token.name) >= length && wcsCompareN(token.name, begin, length, true) == 0) {
      return &token;
    }
  }
  return nullptr;
}

// Appends characters to a bounded output; a character that would leave no room for the
// terminating zero is refused.
class BoundedOutput {
 public:
  BoundedOutput(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  bool append(const char16_t* begin, const char16_t* end) {
    const size_t length = static_cast<size_t>(end - begin);
    if (count_ + length >= capacity_) return false;
    for (const char16_t* c = begin; c != end; ++c) buffer_[count_++] = *c;
    return true;
  }
  void terminate() { buffer_[count_] = u'\0'; }

 private:
  char16_t* buffer_;
  size_t capacity_;
  size_t count_ = 0;
};

}  // namespace

int PathHelper::expandFolderTokens(const char16_t* input, char16_t* output, size_t capacity) {
  if (input == nullptr || output == nullptr || capacity == 0) return kBadArgument;
  BoundedOutput out(output, capacity);
  int result = 0;
  const char16_t* c = input;
  while (*c != u'\0' && result == 0) {
    const char16_t* close = *c == u'%' ? findCharInRange(c + 1, c + wcsLength(c), u'%') : nullptr;
    if (close == nullptr) {
      if (!out.append(c, c + 1)) result = kOutputTooSmall;
      ++c;
      continue;
    }
    const FolderToken* token = findToken(c + 1, close);
    if (token == nullptr) {
      if (!out.append(c, close + 1)) result = kOutputTooSmall;
    } else if (token->kind != kShellFolder) {
      result = kBadArgument;
    } else {
      char16_t folder[platform::kMaxPath] = {};
      const bool found = getFolderPath(token->folderId, folder) >= 0;
      folder[platform::kMaxPath - 1] = u'\0';
      if (!found) {
        result = kBadArgument;
      } else if (!out.append(folder, folder + wcsLength(folder))) {
        result = kOutputTooSmall;
      }
    }
    c = close + 1;
  }
  out.terminate();
  return result;
}
