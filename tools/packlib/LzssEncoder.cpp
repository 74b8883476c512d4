#include "packlib/LzssEncoder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace packer {
namespace {

constexpr size_t kRingSize = 4096;
constexpr size_t kRingStart = 4078;  // write position at the start of every record
constexpr size_t kHistory = kRingSize;
constexpr size_t kBlock = 256 * 1024;  // positions parsed together; matches stop at its end
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
  explicit MatchTree(const uint8_t* buf) : buf_(buf) { Reset(); }

  void Reset() {
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

  const uint8_t* buf_;
  size_t position_[kRingSize] = {};
  unsigned left_[kNodes] = {};
  unsigned right_[kNodes] = {};
  unsigned parent_[kNodes] = {};
};

// Collects items into flag groups and hands complete groups on.
class GroupWriter {
 public:
  explicit GroupWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Literal(uint8_t b) {
    group_[0] |= static_cast<uint8_t>(1u << items_);
    group_[size_++] = b;
    Next();
  }
  void Reference(unsigned ringPos, unsigned length) {
    group_[size_++] = static_cast<uint8_t>(ringPos & 0xFF);
    group_[size_++] = static_cast<uint8_t>(((ringPos >> 4) & 0xF0) | (length - kMinMatch));
    Next();
  }
  // A last, partial group; an empty one writes nothing (no trailing flag byte).
  void Finish() {
    if (items_ > 0) out_.insert(out_.end(), group_, group_ + size_);
    items_ = 0;
    size_ = 1;
    group_[0] = 0;
  }

 private:
  void Next() {
    if (++items_ == 8) Finish();
  }
  std::vector<uint8_t>& out_;
  uint8_t group_[17] = {};
  unsigned items_ = 0;
  size_t size_ = 1;
};

}  // namespace

uint64_t EncodeStats::References() const {
  uint64_t n = 0;
  for (uint64_t c : referencesByLength) n += c;
  return n;
}

// The stream is coded as if 4078 zero bytes preceded the data: they are ring
// positions 0..4077 at the record's start. A reference at distance d
// (1..4096) back from the write position reads what the decoder stored there,
// because each byte is read before the byte at the same position is
// overwritten. The 18 positions before those zeros (4078..4095, left by the
// previous record) are never candidates.
EncodeStats EncodeStream(std::span<const uint8_t> data, const EmitFn& emit, Parsing parsing) {
  EncodeStats stats;
  const size_t block = std::min(kBlock, data.size());
  std::vector<uint8_t> buf(kHistory + block + kMaxMatch);  // history strings may look past the end
  auto tree = std::make_unique<MatchTree>(buf.data());
  std::vector<uint8_t> length(block);
  std::vector<uint16_t> distance(block);
  std::vector<uint32_t> cost(block + 1);
  std::vector<uint8_t> choice(block);
  std::vector<uint8_t> out;
  GroupWriter writer(out);

  for (size_t start = 0; start < data.size(); start += kBlock) {
    const size_t blockLen = std::min(kBlock, data.size() - start);
    // buf[k] is stream byte start - 4096 + k.
    size_t lowest;  // first buffer position a reference may use
    if (start == 0) {
      std::memset(buf.data(), 0, kHistory);
      lowest = kHistory - kRingStart;
    } else {
      std::memcpy(buf.data(), data.data() + start - kHistory, kHistory);
      lowest = 0;
    }
    std::memcpy(buf.data() + kHistory, data.data() + start, blockLen);
    const size_t bufLen = kHistory + blockLen;

    tree->Reset();
    size_t ignored;
    for (size_t k = lowest; k < kHistory; ++k) tree->Insert(k, ignored);

    // Longest match at every position of the block.
    for (size_t i = 0; i < blockLen; ++i) {
      const size_t cur = kHistory + i;
      const unsigned maxLen = static_cast<unsigned>(std::min<size_t>(kMaxMatch, bufLen - cur));
      size_t from = 0;
      const unsigned best = maxLen == kMaxMatch ? tree->Insert(cur, from) : tree->Search(cur, maxLen, from);
      length[i] = static_cast<uint8_t>(best >= kMinMatch ? best : 0);
      distance[i] = static_cast<uint16_t>(cur - from);
    }

    // Choose the items: cheapest way to code the rest of the block from each position.
    if (parsing == Parsing::kOptimal) {
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
        const size_t ringPos = (kRingStart + start + i - distance[i]) & (kRingSize - 1);
        writer.Reference(static_cast<unsigned>(ringPos), n);
        ++stats.referencesByLength[n];
        i += n;
      } else {
        writer.Literal(data[start + i]);
        ++stats.literals;
        ++i;
      }
    }
    if (!out.empty()) emit(out.data(), out.size());
    out.clear();
  }
  writer.Finish();
  if (!out.empty()) emit(out.data(), out.size());
  return stats;
}

}  // namespace packer
