// Where a record's decoded bytes go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace archive {

// Receives decoded output: the decoder hands over blocks of 64 KiB, a
// record's last one smaller.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes the whole block; false when it could not be written.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Finishes the output (flushes and closes it); false when that failed.
  virtual bool Close() { return true; }
};

// Collects the output in memory.
class MemorySink : public OutputSink {
 public:
  bool Write(const uint8_t* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  std::vector<uint8_t> bytes;
};

// Writes to a stdio stream opened in binary mode and closes it on Close or
// destruction.
class StdioSink : public OutputSink {
 public:
  explicit StdioSink(std::FILE* file) : file_(file) {}
  ~StdioSink() override;
  StdioSink(const StdioSink&) = delete;
  StdioSink& operator=(const StdioSink&) = delete;
  bool Write(const uint8_t* data, size_t size) override;
  bool Close() override;

 private:
  std::FILE* file_;
};

}  // namespace archive
