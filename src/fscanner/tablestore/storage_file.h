// Random-access file interface of the table store.
#ifndef FSCANNER_TABLESTORE_STORAGE_FILE_H
#define FSCANNER_TABLESTORE_STORAGE_FILE_H

#include <cstdint>

// Origins of StorageFile::seek.
enum SeekOrigin : int { SEEK_FROM_START = 1, SEEK_FROM_CURRENT = 2, SEEK_FROM_END = 3 };

class StorageFile {
 public:
  virtual ~StorageFile() = default;
  // Creates or empties the file and opens it.
  virtual bool create() = 0;
  // Opens an existing file.
  virtual bool open() = 0;
  virtual bool close() = 0;
  // Bytes copied into buffer; fewer than count at the end of the data (eof() then answers true).
  virtual uint32_t read(void* buffer, uint32_t count) = 0;
  // count, or 0 when the file could not grow.
  virtual uint32_t write(const void* buffer, uint32_t count) = 0;
  // Never moves beyond the end of the data; false, position unchanged, when it would.
  virtual bool seek(int32_t offset, int origin) = 0;
  virtual uint32_t tell() = 0;
  virtual bool eof() = 0;
  // The length of the file on disk.
  virtual bool getSize(uint32_t* size) = 0;
  // The data in memory, for reading in place: its start, with its length in *size; valid until
  // the next write, refresh or close. Null (size 0) when the file holds no data.
  virtual const uint8_t* dataView(uint32_t* size) = 0;
  // For a reader of a file that another process writes: takes the file's current length as the
  // end of the data. False when the length cannot be read or the file cannot be viewed; the data
  // then reads as empty.
  virtual bool refresh() = 0;
};

#endif  // FSCANNER_TABLESTORE_STORAGE_FILE_H
