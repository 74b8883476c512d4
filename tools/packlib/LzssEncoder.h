// LZSS encoder for patch archive streams (packer side only).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace packer {

struct EncodeStats {
  uint64_t literals = 0;
  std::array<uint64_t, 19> referencesByLength{};  // index = reference length 3..18
  uint64_t References() const;
};

enum class Parsing {
  kOptimal,  // shortest stream for the given matches (dynamic programming per block)
  kGreedy,   // always the longest match: what a classic tree or hash-chain coder emits
};

// Receives the coded stream in pieces.
using EmitFn = std::function<void(const uint8_t* data, size_t size)>;

// Codes `data` as one record stream the engine decodes back to `data`:
// starts from the preset ring (4078 zeros, write position 4078), never refers
// to ring positions 4078..4095 before this record has overwritten them,
// references of 3..18 bytes, none running past the end, no trailing flag byte.
// Memory is bounded by the block size, not by the data size.
EncodeStats EncodeStream(std::span<const uint8_t> data, const EmitFn& emit,
                         Parsing parsing = Parsing::kOptimal);

}  // namespace packer
