#include "engine/Decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace archive {
namespace {

constexpr size_t kHistory = Ring::kSize;  // past output kept ahead of the block
constexpr size_t kBlock = 64 * 1024;      // output handed to the sink at once
constexpr unsigned kMaxMatch = 18;
constexpr unsigned kGroupOutput = 8 * kMaxMatch;  // most a flag group can produce
constexpr unsigned kGroupInput = 1 + 8 * 2;       // most a flag group can consume
constexpr size_t kSlack = kGroupOutput + 24;  // a group past `full`, and a copy's overshoot

// The short-period copy works on 8-byte words in little-endian order, the
// order of every target we build for.
static_assert(std::endian::native == std::endian::little, "the short-period copy assumes little-endian words");

inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store8(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Copies a reference that starts less than 18 bytes back, so it repeats its
// own output; writes 24 bytes, of which the first `length` count.
//
// Under 8 bytes back the period is loaded once, spread over a word by one
// multiplication (its copies never overlap, so nothing carries) and each next
// word is the last one rotated by 8 % distance bytes: no load reads bytes
// stored a moment earlier, which would wait for the stores to complete.
// From 8 bytes back every 8-byte step reads bytes already written.
inline void CopyNear(uint8_t* out, size_t distance, unsigned length) {
  if (distance < 8) {
    static constexpr uint64_t kSpread[8] = {0,
                                            0x0101010101010101u,
                                            0x0001000100010001u,
                                            0x0001000001000001u,
                                            0x0000000100000001u,
                                            0x0000010000000001u,
                                            0x0001000000000001u,
                                            0x0100000000000001u};
    static constexpr uint8_t kRotate[8] = {0, 0, 0, 2, 0, 3, 2, 1};  // 8 % distance
    const unsigned bits = 8 * static_cast<unsigned>(distance);
    const unsigned right = 8 * kRotate[distance];
    const unsigned left = bits - right;  // 8..56
    uint64_t word = (Load8(out - 8) >> (64 - bits)) * kSpread[distance];
    Store8(out, word);
    word = word >> right | word << left;
    Store8(out + 8, word);
    word = word >> right | word << left;
    Store8(out + 16, word);
    return;
  }
  for (unsigned i = 0; i < length; i += 8) std::memcpy(out + i, out + i - distance, 8);
}

}  // namespace

// The ring is decoded through a linear window: win[i] holds the byte at ring
// position (base + i) & kMask, oldest first. Output is appended after the
// 4096-byte history, so a reference to ring position p becomes a copy from a
// fixed distance back, and a full block goes to the sink in one call. The
// ring object itself is read at the start and written back at the end.
DecodeResult DecodeEntry(Ring& ring, ByteReader& archive, OutputSink& output, uint32_t count) {
  std::unique_ptr<uint8_t[]> window(new uint8_t[kHistory + kBlock + kSlack]);
  uint8_t* const win = window.get();

  // Oldest first from the write position 4078: the 18 carried-over bytes,
  // then positions 0..4077, which every record starts from as zeros.
  constexpr size_t kCarried = Ring::kSize - Ring::kStart;
  std::memcpy(win, ring.bytes.data() + Ring::kStart, kCarried);
  std::memset(win + kCarried, 0, Ring::kStart);
  size_t base = Ring::kStart;

  uint8_t* out = win + kHistory;
  uint8_t* flushed = out;         // output not handed to the sink yet starts here
  uint8_t* full = out + kBlock;   // a block is due once `out` gets here
  const uint8_t* in = archive.Pos();
  const uint8_t* inEnd = archive.End();
  uint32_t left = count;
  unsigned flags = 0;
  DecodeStatus status = DecodeStatus::kComplete;

  auto fetch = [&](unsigned& value) {
    if (in == inEnd) {
      archive.Consume(in);
      const bool more = archive.Refill();
      in = archive.Pos();
      inEnd = archive.End();
      if (!more) return false;
    }
    value = *in++;
    return true;
  };
  // Hands exactly one block to the sink, so that every block but a record's
  // last is 64 KiB (file writes stay page-aligned), and slides the last 4096
  // bytes to the front; what a group wrote past the block stays unflushed.
  auto flush = [&]() {
    if (!output.Write(flushed, kBlock)) return false;
    const size_t pending = static_cast<size_t>(out - full);
    uint8_t* const keep = out - kHistory;
    base = (base + static_cast<size_t>(keep - win)) & Ring::kMask;
    std::memmove(win, keep, kHistory);
    out = win + kHistory;
    flushed = out - pending;
    full = flushed + kBlock;
    return true;
  };

  // Copies one reference of n bytes; the ring position p becomes a distance back.
  auto copy = [&](unsigned b0, unsigned b1, unsigned n) {
    const size_t p = b0 | ((b1 & 0xF0) << 4);
    const size_t r = (base + static_cast<size_t>(out - win)) & Ring::kMask;
    const size_t distance = ((r - p - 1) & Ring::kMask) + 1;  // 1..4096
    const uint8_t* src = out - distance;
    if (distance >= kMaxMatch) {
      std::memcpy(out, src, kMaxMatch);  // fixed width; bytes past n land in free space
    } else {
      CopyNear(out, distance, n);
    }
    out += n;
  };

  while (left > 0) {
    if (out >= full && !flush()) {
      status = DecodeStatus::kWriteFailed;
      break;
    }
    // A whole group at once when it can neither run out of input nor reach
    // the size: no checks per item. (flags & 0x200) == 0 means the next
    // item needs a new flag byte.
    if ((flags & 0x200) == 0 && inEnd - in >= static_cast<ptrdiff_t>(kGroupInput + kMaxMatch) &&
        left >= kGroupOutput) {
      uint8_t* const groupStart = out;
      if (*in == 0xFF) {
        // A run of groups of eight literals, as data that does not compress
        // becomes: 9 bytes in, 8 out each, as far as the input, the size and
        // the block allow (out passes `full` by less than 8).
        const size_t most = std::min({static_cast<size_t>(inEnd - in) / 9, size_t{left} / 8,
                                      static_cast<size_t>(full - out) / 8 + 1});
        uint8_t* const runEnd = out + 8 * most;
        do {
          std::memcpy(out, in + 1, 8);
          in += 9;
          out += 8;
        } while (out < runEnd && in[0] == 0xFF);
        left -= static_cast<uint32_t>(out - groupStart);
        flags = 0;
        continue;
      }
      unsigned f = *in++;
      // Ring position of `out` is (out + bias) & kMask.
      const uintptr_t bias = base - reinterpret_cast<uintptr_t>(win);
#pragma GCC unroll 8
      for (int k = 0; k < 8; ++k, f >>= 1) {
        // Both kinds become an 18-byte copy: a literal from the input, a
        // reference from earlier output; only `length` bytes of it count.
        // The kind is selected with masks rather than branches: literals and
        // references alternate too irregularly to be predicted.
        const uintptr_t literal = f & 1;
        const uintptr_t isLiteral = 0 - literal;  // all ones for a literal
        const unsigned b1 = in[1];
        const uintptr_t p = in[0] | ((b1 & 0xF0) << 4);
        const uintptr_t distance = ((reinterpret_cast<uintptr_t>(out) + bias - p - 1) & Ring::kMask) + 1;
        const uintptr_t length = literal | (((b1 & 0x0F) + 3) & ~isLiteral);
        if ((distance | isLiteral) >= kMaxMatch) {
          const uintptr_t from = reinterpret_cast<uintptr_t>(out - distance);
          std::memcpy(out, reinterpret_cast<const uint8_t*>(from ^ ((from ^ reinterpret_cast<uintptr_t>(in)) & isLiteral)),
                      kMaxMatch);
        } else {
          CopyNear(out, distance, static_cast<unsigned>(length));
        }
        in += 2 - literal;
        out += length;
      }
      left -= static_cast<uint32_t>(out - groupStart);
      flags = 0;
      continue;
    }
    // One item at a time near the end of the input or of the record.
    // The eight set bits above the flag byte count its items down.
    flags >>= 1;
    unsigned v;
    if ((flags & 0x100) == 0) {
      if (!fetch(v)) {
        status = DecodeStatus::kArchiveEnded;
        break;
      }
      flags = v | 0xFF00;
    }
    if (flags & 1) {
      if (!fetch(v)) {
        status = DecodeStatus::kArchiveEnded;
        break;
      }
      *out++ = static_cast<uint8_t>(v);
      --left;
      continue;
    }
    unsigned b0, b1;
    if (!fetch(b0) || !fetch(b1)) {
      status = DecodeStatus::kArchiveEnded;
      break;
    }
    const unsigned n = std::min((b1 & 0x0F) + 3u, left);  // the rest past the size is dropped
    copy(b0, b1, n);
    left -= n;
  }
  archive.Consume(in);

  if (status != DecodeStatus::kWriteFailed && out > flushed &&
      !output.Write(flushed, static_cast<size_t>(out - flushed))) {
    status = DecodeStatus::kWriteFailed;
  }
  // The last 4096 window bytes cover every ring position once, starting at
  // the write position.
  const size_t r = (base + static_cast<size_t>(out - win)) & Ring::kMask;
  std::memcpy(ring.bytes.data() + r, out - kHistory, Ring::kSize - r);
  std::memcpy(ring.bytes.data(), out - kHistory + (Ring::kSize - r), r);

  return {count - left, status};
}

}  // namespace archive
