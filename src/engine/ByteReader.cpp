#include "engine/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace archive {

size_t MemorySource::ReadSome(uint8_t* buffer, size_t size) {
  const size_t n = std::min(size, bytes_.size() - pos_);
  if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

size_t StdioSource::ReadSome(uint8_t* buffer, size_t size) {
  return std::fread(buffer, 1, size, file_);
}

bool MemoryRandomSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

size_t WindowSource::ReadSome(uint8_t* buffer, size_t size) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(size, length_ - pos_));
  if (n == 0 || !base_.ReadAt(offset_ + pos_, buffer, n)) return 0;
  pos_ += n;
  return n;
}

bool WindowSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) {
  return offset <= length_ && size <= length_ - offset && base_.ReadAt(offset_ + offset, buffer, size);
}

ByteReader::ByteReader(ByteSource& source, size_t bufferSize)
    : source_(source),
      buffer_(new uint8_t[bufferSize > 0 ? bufferSize : 1]),
      capacity_(bufferSize > 0 ? bufferSize : 1),
      pos_(buffer_.get()),
      end_(buffer_.get()) {}

bool ByteReader::Refill() {
  if (pos_ != end_) return true;
  if (ended_) return false;
  base_ += static_cast<uint64_t>(end_ - buffer_.get());
  const size_t n = source_.ReadSome(buffer_.get(), capacity_);
  pos_ = buffer_.get();
  end_ = pos_ + std::min(n, capacity_);
  if (n == 0) ended_ = true;
  return n > 0;
}

size_t ByteReader::Read(uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (pos_ == end_ && !Refill()) break;
    const size_t n = std::min(size - done, static_cast<size_t>(end_ - pos_));
    std::memcpy(buffer + done, pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

}  // namespace archive
