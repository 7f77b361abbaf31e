// The host's result sink: turns both kinds of match into FoundFile records for the output.
#ifndef FSCANNER_TOOLS_FSQUERY_RESULT_SINK_H
#define FSCANNER_TOOLS_FSQUERY_RESULT_SINK_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "FsResults.h"
#include "output_format.h"

class ResultSink final : public FsResults {
 public:
  explicit ResultSink(OutputWriter* writer) : writer_(writer) {}
  void addFileInfo(FsFileInfo* info) override;
  void addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow, uint32_t sizeHigh,
               uint32_t attributes, const char16_t* md5, uint32_t crc32, uint32_t q32) override;
  // Files handed over so far; read by the progress line from another thread.
  const std::atomic<uint64_t>& found() const { return found_; }
  // The directory of the last file a walk of the disk handed over (empty before the first); read
  // by the progress line from another thread.
  std::u16string walkedDirectory() const;

 private:
  OutputWriter* writer_;
  std::atomic<uint64_t> found_{0};
  mutable std::mutex walkedMutex_;
  std::u16string walkedDirectory_;
};

// directory joined to name with one backslash between them.
std::u16string joinPath(const char16_t* directory, const char16_t* name);

#endif  // FSCANNER_TOOLS_FSQUERY_RESULT_SINK_H
