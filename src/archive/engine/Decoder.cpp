#include "archive/engine/Decoder.h"

#include <cstring>
#include <memory>

namespace archive {
namespace {

constexpr size_t kHistory = Ring::kSize;  // past output kept ahead of the block
constexpr size_t kBlock = 64 * 1024;      // output handed to the sink at once
constexpr size_t kSlack = 32;             // room for a reference copied 18 bytes wide
constexpr unsigned kMaxMatch = 18;

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

  while (left > 0) {
    if (out >= full && !flush()) {
      status = DecodeStatus::kWriteFailed;
      break;
    }
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
    const size_t p = b0 | ((b1 & 0xF0) << 4);
    unsigned n = (b1 & 0x0F) + 3;
    if (n > left) n = left;  // the rest of a reference past the size is dropped
    const size_t r = (base + static_cast<size_t>(out - win)) & Ring::kMask;
    const size_t distance = ((r - p - 1) & Ring::kMask) + 1;  // 1..4096
    const uint8_t* src = out - distance;
    if (distance >= kMaxMatch) {
      std::memcpy(out, src, kMaxMatch);  // fixed width; bytes past n land in free space
    } else {
      for (unsigned k = 0; k < n; ++k) out[k] = src[k];  // overlaps its own output
    }
    out += n;
    left -= n;
  }
  archive.Consume(in);

  if (status != DecodeStatus::kWriteFailed && out > flushed &&
      !output.Write(flushed, static_cast<size_t>(out - flushed))) {
    status = DecodeStatus::kWriteFailed;
  }
  // The last 4096 window bytes cover every ring position once.
  const size_t first = static_cast<size_t>(out - win) - kHistory;
  for (size_t i = 0; i < kHistory; ++i) ring.bytes[(base + first + i) & Ring::kMask] = win[first + i];

  return {count - left, status};
}

}  // namespace archive
