#include "progress_text.h"

#include <cinttypes>
#include <cstdio>

namespace {

constexpr char kEllipsis[] = "...";
constexpr size_t kEllipsisColumns = 3;
constexpr size_t kDirectorySeparatorColumns = 2;  // ": " between the count and the directory
// A directory shortened to fewer columns than this says too little to be shown.
constexpr size_t kShortestDirectory = kEllipsisColumns + 8;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The last `columns` characters of text, whole characters only.
std::string lastColumns(const std::string& text, size_t columns) {
  size_t start = text.size();
  while (start > 0 && columns > 0) {
    --start;
    if (!isContinuationByte(text[start])) --columns;
  }
  return text.substr(start);
}

}  // namespace

size_t textColumns(const std::string& text) {
  size_t columns = 0;
  for (char c : text) {
    if (!isContinuationByte(c)) ++columns;
  }
  return columns;
}

std::string progressText(uint64_t found, const std::string& directory, size_t width) {
  char count[64];
  std::snprintf(count, sizeof count, "fsquery: searching, %" PRIu64 " files found", found);
  std::string line = count;
  const size_t usable = width > 0 ? width - 1 : 0;
  if (directory.empty() || line.size() + kDirectorySeparatorColumns > usable) return line + "...";
  const size_t room = usable - line.size() - kDirectorySeparatorColumns;
  const size_t columns = textColumns(directory);
  if (columns <= room) return line + ": " + directory;
  if (room < kShortestDirectory) return line + "...";
  return line + ": " + kEllipsis + lastColumns(directory, room - kEllipsisColumns);
}
