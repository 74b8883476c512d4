#include "packlib/LzssEncoder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/Ring.h"

namespace packer {
namespace {

constexpr size_t kRingSize = archive::Ring::kSize;
constexpr size_t kRingStart = archive::Ring::kStart;  // write position at the start of every record
constexpr size_t kHistory = kEncodeHistory;
constexpr size_t kBlock = kEncodeBlock;  // positions parsed together; matches stop at its end
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 18;
constexpr unsigned kLiteralBits = 9;   // flag bit + byte
constexpr unsigned kReferenceBits = 17;  // flag bit + two bytes

// The strings starting at the last 4095 positions, kept in binary search
// trees ordered by their first 18 bytes (one tree per first byte), as the
// classic LZSS coders do. Inserting a position walks down its tree and meets
// the strings sharing the longest prefix with it on the way; a string equal
// in all 18 bytes takes the older one's place. A position's node is the
// ring slot pos % 4096, so inserting removes the string 4096 positions back.
class MatchTree {
 public:
  // Empties the trees for strings in `buf`.
  void Reset(const uint8_t* buf) {
    buf_ = buf;
    std::fill(std::begin(parent_), std::end(parent_), kNil);
    std::fill(std::begin(right_) + kRoots, std::end(right_), kNil);
  }

  // Adds the 18-byte string at `pos` and returns the longest match among the
  // strings already present (length 0 when none shares its first byte).
  unsigned Insert(size_t pos, size_t& matchPos) {
    const unsigned slot = static_cast<unsigned>(pos % kRingSize);
    Remove(slot);
    const uint8_t* key = buf_ + pos;
    position_[slot] = pos;
    left_[slot] = right_[slot] = kNil;
    unsigned best = 0;
    unsigned node = kRoots + key[0];
    int cmp = 1;
    for (;;) {
      unsigned& next = cmp >= 0 ? right_[node] : left_[node];
      if (next == kNil) {
        next = slot;
        parent_[slot] = node;
        return best;
      }
      node = next;
      const uint8_t* other = buf_ + position_[node];
      unsigned n = 1;
      while (n < kMaxMatch && (cmp = key[n] - other[n]) == 0) ++n;
      if (n > best) {
        best = n;
        matchPos = position_[node];
        if (n == kMaxMatch) break;
      }
    }
    // Same 18 bytes: the new string replaces the older node in the tree.
    parent_[slot] = parent_[node];
    left_[slot] = left_[node];
    right_[slot] = right_[node];
    parent_[left_[node]] = slot;
    parent_[right_[node]] = slot;
    Child(parent_[node], node) = slot;
    parent_[node] = kNil;
    return best;
  }

  // The longest match for a string of only `maxLen` bytes (near the end of
  // the data), without adding it.
  unsigned Search(size_t pos, unsigned maxLen, size_t& matchPos) const {
    const uint8_t* key = buf_ + pos;
    unsigned best = 0;
    unsigned node = right_[kRoots + key[0]];
    while (node != kNil && best < maxLen) {
      const uint8_t* other = buf_ + position_[node];
      unsigned n = 1;
      int cmp = 0;
      while (n < maxLen && (cmp = key[n] - other[n]) == 0) ++n;
      if (n > best) {
        best = n;
        matchPos = position_[node];
      }
      node = cmp >= 0 ? right_[node] : left_[node];
    }
    return std::min(best, maxLen);
  }

 private:
  static constexpr unsigned kNil = kRingSize;  // also a writable dummy entry
  static constexpr unsigned kRoots = kRingSize + 1;
  static constexpr unsigned kNodes = kRingSize + 1 + 256;

  unsigned& Child(unsigned parent, unsigned child) {
    return right_[parent] == child ? right_[parent] : left_[parent];
  }

  void Remove(unsigned slot) {
    if (parent_[slot] == kNil) return;
    unsigned replacement;
    if (right_[slot] == kNil) {
      replacement = left_[slot];
    } else if (left_[slot] == kNil) {
      replacement = right_[slot];
    } else {
      // The largest string of the left subtree takes the node's place.
      replacement = left_[slot];
      if (right_[replacement] != kNil) {
        do replacement = right_[replacement];
        while (right_[replacement] != kNil);
        right_[parent_[replacement]] = left_[replacement];
        parent_[left_[replacement]] = parent_[replacement];
        left_[replacement] = left_[slot];
        parent_[left_[slot]] = replacement;
      }
      right_[replacement] = right_[slot];
      parent_[right_[slot]] = replacement;
    }
    parent_[replacement] = parent_[slot];
    Child(parent_[slot], slot) = replacement;
    parent_[slot] = kNil;
  }

  const uint8_t* buf_ = nullptr;
  size_t position_[kRingSize] = {};
  unsigned left_[kNodes] = {};
  unsigned right_[kNodes] = {};
  unsigned parent_[kNodes] = {};
};

}  // namespace

uint64_t EncodeStats::References() const {
  uint64_t n = 0;
  for (uint64_t c : referencesByLength) n += c;
  return n;
}

static_assert(kHistory == kRingSize && kBlock % kRingSize == 0 && kBlockHead == kMaxMatch,
              "a block's ring positions follow from its offsets alone");

EncodeStats& EncodeStats::operator+=(const EncodeStats& other) {
  literals += other.literals;
  for (size_t n = 0; n < referencesByLength.size(); ++n) referencesByLength[n] += other.referencesByLength[n];
  return *this;
}

struct BlockParser::Tables {
  // buf[k] is stream byte (block start) - 4096 + k; the match finder's
  // strings may look kMaxMatch bytes past the block's end.
  std::vector<uint8_t> buf;
  MatchTree tree;
  std::vector<uint8_t> length;
  std::vector<uint16_t> distance;
  std::vector<uint32_t> cost;
  std::vector<uint8_t> choice;
};

BlockParser::BlockParser() : tables_(std::make_unique<Tables>()) {}
BlockParser::~BlockParser() = default;

// A record's stream is coded as if 4078 zero bytes preceded the data: they
// are ring positions 0..4077 at the record's start. A reference at distance
// d (1..4096) back from the write position reads what the decoder stored
// there, because each byte is read before the byte at the same position is
// overwritten. The 18 positions before those zeros (4078..4095, left by the
// previous record) are never candidates. Blocks start at multiples of 4096
// in the stream, so a byte's ring position is (4078 + its offset in the
// block) mod 4096, whatever block it is in.
void BlockParser::Parse(const BlockInput& input, Parsing parsing, ParsedBlock& out) {
  Tables& t = *tables_;
  const size_t blockLen = std::min(input.block.size(), kBlock);
  out.bytes.clear();
  out.bytes.reserve(blockLen);  // items never take more bytes than they code
  out.literal.assign((blockLen + 7) / 8, 0);
  out.items = 0;
  out.stats = {};
  if (blockLen == 0) return;
  if (t.buf.size() < kHistory + blockLen + kMaxMatch) {
    t.buf.resize(kHistory + blockLen + kMaxMatch);
    t.length.resize(blockLen);
    t.distance.resize(blockLen);
    t.cost.resize(blockLen + 1);
    t.choice.resize(blockLen);
  }
  uint8_t* const buf = t.buf.data();
  size_t lowest;  // first buffer position a reference may use
  if (input.history.size() < kHistory) {
    std::memset(buf, 0, kHistory);
    lowest = kHistory - kRingStart;
  } else {
    std::memcpy(buf, input.history.data() + input.history.size() - kHistory, kHistory);
    lowest = 0;
  }
  std::memcpy(buf + kHistory, input.block.data(), blockLen);
  const size_t bufLen = kHistory + blockLen;
  // The last strings of the history run on past the end of a block shorter
  // than 17 bytes, and their order in the trees, so the matches found, can
  // depend on what lies there. It is what a coder that parsed every block of
  // a record in one buffer found there: the previous block's bytes at the
  // same offsets (zeros after a record's first block). Keeping them keeps
  // the archives identical byte for byte to that coder's.
  for (size_t j = blockLen; j < blockLen + kMaxMatch; ++j) {
    buf[kHistory + j] = j < input.previousHead.size() ? input.previousHead[j] : 0;
  }

  MatchTree& tree = t.tree;
  tree.Reset(buf);
  size_t ignored;
  for (size_t k = lowest; k < kHistory; ++k) tree.Insert(k, ignored);

  // Longest match at every position of the block.
  uint8_t* const length = t.length.data();
  uint16_t* const distance = t.distance.data();
  for (size_t i = 0; i < blockLen; ++i) {
    const size_t cur = kHistory + i;
    const unsigned maxLen = static_cast<unsigned>(std::min<size_t>(kMaxMatch, bufLen - cur));
    size_t from = 0;
    const unsigned best = maxLen == kMaxMatch ? tree.Insert(cur, from) : tree.Search(cur, maxLen, from);
    length[i] = static_cast<uint8_t>(best >= kMinMatch ? best : 0);
    distance[i] = static_cast<uint16_t>(cur - from);
  }

  // Choose the items: cheapest way to code the rest of the block from each position.
  uint8_t* const choice = t.choice.data();
  if (parsing == Parsing::kOptimal) {
    uint32_t* const cost = t.cost.data();
    cost[blockLen] = 0;
    for (size_t i = blockLen; i-- > 0;) {
      uint32_t best = cost[i + 1] + kLiteralBits;
      uint8_t pick = 1;
      for (unsigned n = kMinMatch; n <= length[i]; ++n) {
        const uint32_t c = cost[i + n] + kReferenceBits;
        if (c <= best) {
          best = c;
          pick = static_cast<uint8_t>(n);
        }
      }
      cost[i] = best;
      choice[i] = pick;
    }
  } else {
    for (size_t i = 0; i < blockLen; ++i) choice[i] = length[i] >= kMinMatch ? length[i] : 1;
  }

  for (size_t i = 0; i < blockLen;) {
    const unsigned n = choice[i];
    if (n >= kMinMatch) {
      const size_t ringPos = (kRingStart + i - distance[i]) & (kRingSize - 1);
      out.bytes.push_back(static_cast<uint8_t>(ringPos & 0xFF));
      out.bytes.push_back(static_cast<uint8_t>(((ringPos >> 4) & 0xF0) | (n - kMinMatch)));
      ++out.stats.referencesByLength[n];
      i += n;
    } else {
      out.literal[out.items / 8] |= static_cast<uint8_t>(1u << (out.items % 8));
      out.bytes.push_back(input.block[i]);
      ++out.stats.literals;
      ++i;
    }
    ++out.items;
  }
}

void GroupWriter::Put(const ParsedBlock& block, std::vector<uint8_t>& out) {
  const uint8_t* bytes = block.bytes.data();
  for (size_t i = 0; i < block.items; ++i) {
    if (block.literal[i / 8] >> (i % 8) & 1) {
      group_[0] |= static_cast<uint8_t>(1u << items_);
      group_[size_++] = *bytes++;
    } else {
      group_[size_++] = *bytes++;
      group_[size_++] = *bytes++;
    }
    if (++items_ == 8) {
      out.insert(out.end(), group_, group_ + size_);
      items_ = 0;
      size_ = 1;
      group_[0] = 0;
    }
  }
}

void GroupWriter::Finish(std::vector<uint8_t>& out) {
  if (items_ > 0) out.insert(out.end(), group_, group_ + size_);
  items_ = 0;
  size_ = 1;
  group_[0] = 0;
}

EncodeStats EncodeStream(std::span<const uint8_t> data, const EmitFn& emit, Parsing parsing) {
  EncodeStats stats;
  BlockParser parser;
  ParsedBlock parsed;
  GroupWriter writer;
  std::vector<uint8_t> out;
  for (size_t start = 0; start < data.size(); start += kBlock) {
    BlockInput input;
    input.block = data.subspan(start, std::min(kBlock, data.size() - start));
    if (start > 0) {
      input.history = data.subspan(start - kHistory, kHistory);
      input.previousHead = data.subspan(start - kBlock, kBlockHead);
    }
    parser.Parse(input, parsing, parsed);
    stats += parsed.stats;
    writer.Put(parsed, out);
    if (!out.empty()) emit(out.data(), out.size());
    out.clear();
  }
  writer.Finish(out);
  if (!out.empty()) emit(out.data(), out.size());
  return stats;
}

}  // namespace packer
