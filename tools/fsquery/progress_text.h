// The text of fsquery's progress line: the number of files found so far and, while the query
// walks the disk, the directory it walks, shortened to fit the terminal.
#ifndef FSCANNER_TOOLS_FSQUERY_PROGRESS_TEXT_H
#define FSCANNER_TOOLS_FSQUERY_PROGRESS_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

// The line for found files and directory (UTF-8, may be empty), at most width - 1 columns (a
// character counts as one column) so that the cursor never wraps; the directory loses its
// beginning first, then is left out.
std::string progressText(uint64_t found, const std::string& directory, size_t width);

// The columns text takes on a terminal: its characters, not its bytes.
size_t textColumns(const std::string& text);

#endif  // FSCANNER_TOOLS_FSQUERY_PROGRESS_TEXT_H
