#include "output_format.h"

#include <cinttypes>
#include <cstring>

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

// True when the name from start on is neither empty, "." nor "..", and every unit is ASCII.
bool isPlainAsciiName(const std::u16string& path, size_t start) {
  const size_t length = path.size() - start;
  if (length == 0 || (length <= 2 && path.find_first_not_of(u'.', start) == std::u16string::npos)) {
    return false;
  }
  for (size_t i = start; i < path.size(); ++i) {
    if (path[i] == 0 || path[i] >= 0x80) return false;
  }
  return true;
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

// Found files come directory by directory: the host form of the last directory is kept, and a
// name of plain ASCII, whose host bytes are its units, is appended to it. Anything else, and a
// directory whose host form has no trailing separator to append to, takes the full conversion.
std::string OutputWriter::outputPath(const std::u16string& drivePath) {
  if (options_.drivePaths) return toOutputPath(drivePath, true);
  size_t nameStart = drivePath.size();
  while (nameStart > 0 && drivePath[nameStart - 1] != u'\\' && drivePath[nameStart - 1] != u'/') {
    --nameStart;
  }
  if (nameStart == 0 || !isPlainAsciiName(drivePath, nameStart)) {
    return toOutputPath(drivePath, false);
  }
  if (directory_.size() != nameStart ||
      std::memcmp(drivePath.data(), directory_.data(), nameStart * sizeof(char16_t)) != 0) {
    directory_.assign(drivePath, 0, nameStart);
    if (directory_.find(u'\0') != std::u16string::npos ||
        !platform::hostPath(directory_.c_str(), &hostDirectory_)) {
      hostDirectory_.clear();
    }
  }
  if (hostDirectory_.empty() || (hostDirectory_.back() != '/' && hostDirectory_.back() != '\\')) {
    return toOutputPath(drivePath, false);
  }
  std::string path;
  path.reserve(hostDirectory_.size() + drivePath.size() - nameStart);
  path = hostDirectory_;
  for (size_t i = nameStart; i < drivePath.size(); ++i)
    path.push_back(static_cast<char>(drivePath[i]));
  return path;
}

void OutputWriter::appendRecord(const FoundFile& file) {
  const std::string path = outputPath(file.drivePath);
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
