// Files as the resource writer and the archive readers use them: read at any
// offset, or written in order with a late overwrite (the checksum). Through
// stdio, with wide names on Windows, so a file of any size takes a buffer's
// worth of memory.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "engine/ByteReader.h"
#include "packlib/PeResources.h"

namespace packer {

class InputFile : public archive::RandomSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<InputFile> Open(const std::filesystem::path& path);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  uint64_t Length() const override { return length_; }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) override;

 private:
  InputFile(std::FILE* file, uint64_t length) : file_(file), length_(length) {}
  std::FILE* file_;
  uint64_t length_;
};

class OutputFile : public pe::Output {
 public:
  // Null when the file cannot be created; an existing file is truncated.
  static std::unique_ptr<OutputFile> Create(const std::filesystem::path& path);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  bool Write(const uint8_t* data, size_t size) override;
  bool Overwrite(uint64_t offset, const uint8_t* data, size_t size) override;
  // Flushes, has the system write the file to the disk (it is renamed over
  // an older one next) and closes; false when anything written did not
  // reach the file.
  bool Close();

 private:
  explicit OutputFile(std::FILE* file) : file_(file) {}
  std::FILE* file_;
  bool failed_ = false;
};

}  // namespace packer
