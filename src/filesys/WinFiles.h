// Archive sources and sinks over Win32 file handles (CP932 paths).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "archive/engine/ByteReader.h"
#include "archive/engine/OutputSink.h"

namespace filesys {

// A file opened for reading as raw bytes; closes it when destroyed.
class FileSource : public archive::ByteSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<FileSource> Open(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  size_t ReadSome(uint8_t* buffer, size_t size) override;
  uint64_t Length() const;

 private:
  explicit FileSource(HANDLE handle) : handle_(handle) {}
  HANDLE handle_;
};

// A file created (or truncated) for writing raw bytes.
class FileSink : public archive::OutputSink {
 public:
  // Null when the file cannot be created.
  static std::unique_ptr<FileSink> Create(const std::string& path);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  bool Write(const uint8_t* data, size_t size) override;
  bool Close() override;

 private:
  explicit FileSink(HANDLE handle) : handle_(handle) {}
  HANDLE handle_;
};

}  // namespace filesys
