#include "archive/engine/Decoder.h"

#include <algorithm>
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

// Copies a reference that starts less than 18 bytes back, so it repeats its
// own output, in 8-byte steps; may write up to 24 bytes.
inline void CopyRepeating(uint8_t* out, size_t distance, unsigned length) {
  if (distance == 1) {
    std::memset(out, out[-1], kMaxMatch);
    return;
  }
  size_t step = distance;
  if (distance < 8) {
    const uint8_t* src = out - distance;
    for (unsigned i = 0; i < 8; ++i) out[i] = src[i];
    // A multiple of the period, 8..14 bytes back, is as good a source.
    step = distance * ((8 + distance - 1) / distance);
  }
  for (unsigned i = distance < 8 ? 8 : 0; i < length; i += 8) std::memcpy(out + i, out + i - step, 8);
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
  uint8_t* const full = win + kHistory + kBlock;

  // Oldest first from the write position 4078: the 18 carried-over bytes,
  // then positions 0..4077, which every record starts from as zeros.
  constexpr size_t kCarried = Ring::kSize - Ring::kStart;
  std::memcpy(win, ring.bytes.data() + Ring::kStart, kCarried);
  std::memset(win + kCarried, 0, Ring::kStart);
  size_t base = Ring::kStart;

  uint8_t* out = win + kHistory;
  uint8_t* flushed = out;
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
  // Hands the block to the sink and slides the last 4096 bytes to the front.
  auto flush = [&]() {
    if (!output.Write(flushed, static_cast<size_t>(out - flushed))) return false;
    uint8_t* const keep = out - kHistory;
    base = (base + static_cast<size_t>(keep - win)) & Ring::kMask;
    std::memmove(win, keep, kHistory);
    out = win + kHistory;
    flushed = out;
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
      CopyRepeating(out, distance, n);
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
    if ((flags & 0x200) == 0 && inEnd - in >= kGroupInput + kMaxMatch && left >= kGroupOutput) {
      uint8_t* const groupStart = out;
      unsigned f = *in++;
      for (int k = 0; k < 8; ++k, f >>= 1) {
        // Both kinds become an 18-byte copy: a literal from the input, a
        // reference from earlier output; only `length` bytes of it count.
        const unsigned b1 = in[1];
        const size_t p = in[0] | ((b1 & 0xF0) << 4);
        const size_t r = (base + static_cast<size_t>(out - win)) & Ring::kMask;
        const size_t distance = ((r - p - 1) & Ring::kMask) + 1;
        const bool literal = f & 1;
        const unsigned length = literal ? 1 : (b1 & 0x0F) + 3;
        if (literal || distance >= kMaxMatch) {
          std::memcpy(out, literal ? in : out - distance, kMaxMatch);
        } else {
          CopyRepeating(out, distance, length);
        }
        in += literal ? 1 : 2;
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
