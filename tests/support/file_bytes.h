// Whole files as byte vectors.
#ifndef FSCANNER_TESTS_SUPPORT_FILE_BYTES_H
#define FSCANNER_TESTS_SUPPORT_FILE_BYTES_H

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The file's bytes; none when it cannot be read.
inline Bytes readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content; false when it cannot be written.
inline bool writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

#endif  // FSCANNER_TESTS_SUPPORT_FILE_BYTES_H
