// Copying a range of a file a buffer at a time, for the checksum and the rewrite.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/ByteReader.h"

namespace pe {

constexpr size_t kChunk = 256 * 1024;  // copies go through a buffer of this size

// Copies `size` bytes of `from` at `at` to `put`, a buffer at a time.
template <typename Put>
bool CopyRange(archive::RandomSource& from, uint64_t at, uint64_t size, Put& put) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, chunk.size()));
    if (!from.ReadAt(at, chunk.data(), n) || !put(chunk.data(), n)) return false;
    at += n;
    size -= n;
  }
  return true;
}

}  // namespace pe
