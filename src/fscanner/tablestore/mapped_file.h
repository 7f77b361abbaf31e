// A table-store file held fully mapped: reads and writes are copies to and from the view, the
// file grows in 32 KiB steps and is cut back to its data on close.
#ifndef FSCANNER_TABLESTORE_MAPPED_FILE_H
#define FSCANNER_TABLESTORE_MAPPED_FILE_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tablestore/storage_file.h"

class MappedFile final : public StorageFile {
 public:
  // Files grow by the smallest multiple of this step that exceeds the bytes written.
  static constexpr uint32_t kGrowthStep = 32768;

  explicit MappedFile(const char16_t* path);
  ~MappedFile() override;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool create() override;
  bool open() override;
  // Unmaps, cuts the spare tail this object's writes added back to the data unless another holder
  // still has the file (the cut is then skipped and made by a later close), and closes. An object
  // that never grew the file leaves its length alone: it may be a reader of a file another
  // process writes, whose data lies beyond this object's view.
  bool close() override;
  uint32_t read(void* buffer, uint32_t count) override;
  uint32_t write(const void* buffer, uint32_t count) override;
  bool seek(int32_t offset, int origin) override;
  uint32_t tell() override { return position_; }
  bool eof() override { return endOfData_; }
  bool getSize(uint32_t* size) override;
  const uint8_t* dataView(uint32_t* size) override {
    *size = view_ != nullptr ? logicalSize_ : 0;
    return view_;
  }
  // The view follows the file's current length: grown in place where room is reserved behind it,
  // otherwise mapped anew; the position is kept when it is still inside the data.
  bool refresh() override;

 private:
  bool openWith(platform::Disposition disposition);
  bool mapWhole();
  bool makeRoom(uint32_t count);
  void reset();
  // position <= logical size <= capacity.
  void assertInvariants() const;

  std::unique_ptr<platform::File> file_;
  std::unique_ptr<platform::FileMapping> mapping_;
  uint32_t logicalSize_ = 0;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;
  uint8_t* view_ = nullptr;
  bool endOfData_ = false;
  bool grown_ = false;  // this object extended the file since it opened it
  bool hasName_ = false;
  std::u16string name_;
};

// A new, unopened MappedFile for path; null for a null path or when memory runs out.
std::unique_ptr<StorageFile> newMappedFile(const char16_t* path);

#endif  // FSCANNER_TABLESTORE_MAPPED_FILE_H
