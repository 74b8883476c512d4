// An archive source over a Win32 file handle (CP932 paths).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ByteReader.h"
#include "platform/Handles.h"

namespace platform {

// A file read as raw bytes; closes it when destroyed.
class FileSource : public archive::ByteSource, public archive::RandomSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<FileSource> Open(const std::string& path);
  // Takes over an open handle (with read access).
  explicit FileSource(HANDLE handle) : handle_(handle) {}
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  size_t ReadSome(uint8_t* buffer, size_t size) override;
  uint64_t Length() const override;
  // Moves back to the first byte; false when the handle cannot seek.
  bool Rewind();
  // Reads exactly `size` bytes at `offset`; false when they are not all there.
  // The next ReadSome continues after them.
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) override;

 private:
  FileHandle handle_;
};

}  // namespace platform
