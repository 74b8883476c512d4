// The PE checksum, summed over a file in pieces as it is written or read.
#include "packlib/PeResources.h"

#include "packlib/PeCopy.h"

namespace pe {

void ChecksumSum::Add(const uint8_t* data, size_t size) {
  // Little-endian 16-bit words at even file offsets; the checksum field counts as zero.
  size_t i = 0;
  while (i < size) {
    const uint64_t at = length_ + i;
    const bool pairOutsideField = at + 1 < field_ || at >= field_ + 4;
    if ((at & 1) == 0 && i + 1 < size && pairOutsideField) {
      sum_ += data[i] | static_cast<uint32_t>(data[i + 1]) << 8;
      i += 2;
      continue;
    }
    const uint32_t byte = at >= field_ && at < field_ + 4 ? 0 : data[i];
    sum_ += (at & 1) != 0 ? byte << 8 : byte;
    ++i;
  }
  length_ += size;
}

uint32_t ChecksumSum::Value() const {
  // The one's-complement sum folded into 16 bits, plus the file's length.
  uint64_t sum = sum_;
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length_);
}

uint32_t Checksum(std::span<const uint8_t> file, size_t checksumOffset) {
  ChecksumSum sum(checksumOffset);
  sum.Add(file.data(), file.size());
  return sum.Value();
}

bool Checksum(archive::RandomSource& file, size_t checksumOffset, uint32_t& value) {
  ChecksumSum sum(checksumOffset);
  auto add = [&](const uint8_t* data, size_t size) {
    sum.Add(data, size);
    return true;
  };
  if (!CopyRange(file, 0, file.Length(), add)) return false;
  value = sum.Value();
  return true;
}

}  // namespace pe
