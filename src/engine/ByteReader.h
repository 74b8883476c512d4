// Buffered reading of the patch archive over any byte source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

namespace archive {

// Where the archive bytes come from. The reader buffers above it, so an
// implementation only has to hand over what it has.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer` and returns how many it read;
  // 0 means the end of the data (or a read error, which ends it as well).
  virtual size_t ReadSome(uint8_t* buffer, size_t size) = 0;
};

// A source over bytes in memory; the bytes must outlive it.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t ReadSome(uint8_t* buffer, size_t size) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// A source over an open stdio stream (opened in binary mode); does not close it.
class StdioSource : public ByteSource {
 public:
  explicit StdioSource(std::FILE* file) : file_(file) {}
  size_t ReadSome(uint8_t* buffer, size_t size) override;

 private:
  std::FILE* file_;
};

// Bytes that can be read at any offset: an archive file, the part of an
// installer file that carries one, bytes in memory.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual uint64_t Length() const = 0;
  // Reads exactly `size` bytes at `offset`; false when they are not all
  // there or cannot be read.
  virtual bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) = 0;
};

class MemoryRandomSource : public RandomSource {
 public:
  explicit MemoryRandomSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Length() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) override;

 private:
  std::span<const uint8_t> bytes_;
};

// `length` bytes of another random source from `offset` on, read at any
// offset or in order from the first (as a ByteSource). The base must outlive it.
class WindowSource : public ByteSource, public RandomSource {
 public:
  WindowSource(RandomSource& base, uint64_t offset, uint64_t length)
      : base_(base), offset_(offset), length_(length) {}
  size_t ReadSome(uint8_t* buffer, size_t size) override;
  uint64_t Length() const override { return length_; }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) override;

 private:
  RandomSource& base_;
  uint64_t offset_, length_;
  uint64_t pos_ = 0;  // of the next ReadSome, from the window's start
};

// Reads a source through one large buffer and counts the bytes consumed.
// Once the source has reported its end, the reader stays at the end.
class ByteReader {
 public:
  static constexpr size_t kDefaultBufferSize = 64 * 1024;

  explicit ByteReader(ByteSource& source, size_t bufferSize = kDefaultBufferSize);

  // The next byte, or -1 at the end of the archive.
  int Get() {
    if (pos_ == end_ && !Refill()) return -1;
    return *pos_++;
  }

  // Reads up to `size` bytes; fewer only at the end. Returns the count read.
  size_t Read(uint8_t* buffer, size_t size);

  // Offset of the next byte to be consumed, from the start of the archive.
  uint64_t Offset() const { return base_ + static_cast<uint64_t>(pos_ - buffer_.get()); }

  // Direct access for tight loops: the buffered bytes not consumed yet are
  // [Pos(), End()); Consume(p) marks everything before p as consumed.
  const uint8_t* Pos() const { return pos_; }
  const uint8_t* End() const { return end_; }
  void Consume(const uint8_t* pos) { pos_ = pos; }

  // Refills an exhausted buffer (Pos() == End()). False at the end of the archive.
  bool Refill();

 private:
  ByteSource& source_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
  const uint8_t* pos_;
  const uint8_t* end_;
  uint64_t base_ = 0;  // archive offset of buffer_[0]
  bool ended_ = false;
};

}  // namespace archive
