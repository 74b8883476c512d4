// LZSS encoder for patch archive streams (packer side only).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace packer {

struct EncodeStats {
  uint64_t literals = 0;
  std::array<uint64_t, 19> referencesByLength{};  // index = reference length 3..18
  uint64_t References() const;
  EncodeStats& operator+=(const EncodeStats& other);
};

enum class Parsing {
  kOptimal,  // shortest stream for the given matches (dynamic programming per block)
  kGreedy,   // always the longest match: what a classic tree or hash-chain coder emits
};

// A record's stream is parsed in blocks of this many bytes (the last one
// shorter), each on its own: from the block, the kEncodeHistory bytes before
// it and the first kBlockHead bytes of the record's previous block. Matches
// stop at a block's end.
inline constexpr size_t kEncodeBlock = 256 * 1024;
inline constexpr size_t kEncodeHistory = 4096;
inline constexpr size_t kBlockHead = 18;

// What one block's parse sees. For a record's first block `history` and
// `previousHead` are empty: it starts from the preset ring of zeros.
struct BlockInput {
  std::span<const uint8_t> history;       // the kEncodeHistory bytes before the block
  std::span<const uint8_t> block;         // 1..kEncodeBlock bytes
  std::span<const uint8_t> previousHead;  // the first kBlockHead bytes of the previous block
};

// One block's items in stream order, compact: `bytes` holds each item's coded
// bytes (a literal's byte, a reference's two), bit i % 8 of literal[i / 8]
// says item i is a literal.
struct ParsedBlock {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> literal;
  size_t items = 0;
  EncodeStats stats;
};

// Parses blocks; holds the match finder and the parse tables (about 2.4 MB),
// reused from block to block. The result depends only on the input and the
// parsing, so blocks can be parsed in any order on any thread, one parser
// per thread.
class BlockParser {
 public:
  BlockParser();
  ~BlockParser();
  BlockParser(const BlockParser&) = delete;
  BlockParser& operator=(const BlockParser&) = delete;

  void Parse(const BlockInput& input, Parsing parsing, ParsedBlock& out);

 private:
  struct Tables;
  std::unique_ptr<Tables> tables_;
};

// Packs a record's items, block after block in stream order, into flag
// groups of 8; a group runs on across block ends.
class GroupWriter {
 public:
  // Appends the groups completed by the block's items to `out`.
  void Put(const ParsedBlock& block, std::vector<uint8_t>& out);
  // Appends the last, partial group (nothing when the last group is full:
  // no trailing flag byte) and starts over for the next record.
  void Finish(std::vector<uint8_t>& out);

 private:
  uint8_t group_[17] = {};
  unsigned items_ = 0;
  size_t size_ = 1;
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
