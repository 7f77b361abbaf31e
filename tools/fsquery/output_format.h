// How found files are written: one path per line, a long listing, JSON objects or only their
// number. Records are collected in a buffer and written in large blocks; only an interactive
// terminal gets every record at once.
#ifndef FSCANNER_TOOLS_FSQUERY_OUTPUT_FORMAT_H
#define FSCANNER_TOOLS_FSQUERY_OUTPUT_FORMAT_H

#include <cstdint>
#include <cstdio>
#include <string>

enum class OutputFormat { kPaths, kLong, kJson, kCount };

struct OutputOptions {
  OutputFormat format = OutputFormat::kPaths;
  bool drivePaths = false;  // print the system's drive-qualified paths, not host paths
  char separator = '\n';    // after each path or JSON object ('\0' with -0)
};

// One matching file, from the cache (addFile) or from a walk of the disk (addFileInfo).
struct FoundFile {
  std::u16string drivePath;
  uint64_t size = 0;
  uint32_t attributes = 0;  // the system's mode word, as the cache stores it in ATTR
  bool fromCache = false;
  // Only files from the cache carry checksums; an md5 of "0" or "" means none were computed.
  std::u16string md5;
  uint32_t crc32 = 0;
  uint32_t q32 = 0;
};

class OutputWriter {
 public:
  OutputWriter(std::FILE* out, const OutputOptions& options, bool interactive);
  ~OutputWriter() { finish(); }
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  void write(const FoundFile& file);
  // Writes what is buffered, and the number of files for the count format. False when the
  // output could not be written (a full disk, a closed pipe).
  bool finish();

 private:
  void appendRecord(const FoundFile& file);
  // The path as printed: host form, or the drive path with drivePaths.
  std::string outputPath(const std::u16string& drivePath);
  bool flush();

  std::FILE* out_;
  OutputOptions options_;
  bool interactive_;
  uint64_t count_ = 0;
  bool finished_ = false;
  bool failed_ = false;
  std::string buffer_;
  // The directory of the last file printed (drive form, up to its separator) and its host form,
  // empty when it has none.
  std::u16string directory_;
  std::string hostDirectory_;
};

// Appends text to out as the inside of a JSON string.
void appendJsonEscaped(const std::string& text, std::string* out);

#endif  // FSCANNER_TOOLS_FSQUERY_OUTPUT_FORMAT_H
