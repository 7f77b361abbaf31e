#include "output_format.h"

#include <cinttypes>

#include "base/wstring.h"
#include "platform/platform.h"
#include "query_paths.h"

namespace {

constexpr size_t kFlushThreshold = 1 << 16;
// The checksum columns of the long format for a file without checksums: md5, crc32, q32.
constexpr char kNoChecksums[] = "  -                                -        -       ";

void appendFormatted(std::string* out, const char* format, uint64_t value) {
  char text[32];
  const int length = std::snprintf(text, sizeof text, format, value);
  if (length > 0) out->append(text, static_cast<size_t>(length));
}

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08" PRIx32, value);
  return text;
}

void appendJsonField(const char* name, const std::string& value, std::string* out) {
  *out += ",\"";
  *out += name;
  *out += "\":\"";
  appendJsonEscaped(value, out);
  *out += '"';
}

}  // namespace

void appendJsonEscaped(const std::string& text, std::string* out) {
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += c;
    } else if (c == '\n') {
      *out += "\\n";
    } else if (c == '\t') {
      *out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      appendFormatted(out, "\\u%04" PRIx64, byte);
    } else {
      *out += c;
    }
  }
}

OutputWriter::OutputWriter(std::FILE* out, const OutputOptions& options, bool interactive)
    : out_(out), options_(options), interactive_(interactive) {}

void OutputWriter::write(const FoundFile& file) {
  ++count_;
  if (options_.format == OutputFormat::kCount || failed_) return;
  appendRecord(file);
  if (interactive_ || buffer_.size() >= kFlushThreshold) flush();
}

void OutputWriter::appendRecord(const FoundFile& file) {
  const std::string path = toOutputPath(file.drivePath, options_.drivePaths);
  const bool checksums = file.fromCache && !file.md5.empty() && file.md5 != u"0";
  switch (options_.format) {
    case OutputFormat::kLong:
      appendFormatted(&buffer_, "%12" PRIu64, file.size);
      appendFormatted(&buffer_, "  %04" PRIx64, file.attributes);
      buffer_ += checksums
                     ? "  " + narrowText(file.md5) + " " + hex8(file.crc32) + " " + hex8(file.q32)
                     : kNoChecksums;
      buffer_ += file.fromCache ? "  cache  " : "  disk   ";
      buffer_ += path;
      break;
    case OutputFormat::kJson:
      buffer_ += "{\"path\":\"";
      appendJsonEscaped(path, &buffer_);
      buffer_ += '"';
      appendJsonField("drive_path", narrowText(file.drivePath), &buffer_);
      appendFormatted(&buffer_, ",\"size\":%" PRIu64, file.size);
      appendFormatted(&buffer_, ",\"attributes\":%" PRIu64, file.attributes);
      if (checksums) {
        appendJsonField("md5", narrowText(file.md5), &buffer_);
        appendJsonField("crc32", hex8(file.crc32), &buffer_);
        appendJsonField("q32", hex8(file.q32), &buffer_);
      } else {
        buffer_ += ",\"md5\":null,\"crc32\":null,\"q32\":null";
      }
      appendJsonField("source", file.fromCache ? "cache" : "disk", &buffer_);
      buffer_ += '}';
      break;
    default:
      buffer_ += path;
      break;
  }
  buffer_ += options_.separator;
}

bool OutputWriter::flush() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
  if (interactive_ && std::fflush(out_) != 0) failed_ = true;
  return !failed_;
}

bool OutputWriter::finish() {
  if (finished_) return !failed_;
  finished_ = true;
  if (options_.format == OutputFormat::kCount) appendFormatted(&buffer_, "%" PRIu64 "\n", count_);
  flush();
  if (std::fflush(out_) != 0) failed_ = true;
  return !failed_;
}
