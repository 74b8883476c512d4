#include "packlib/StreamScan.h"

#include "engine/Ring.h"

namespace packer {

StreamScan ScanStream(archive::ByteReader& archive, uint32_t count) {
  constexpr uint32_t kStart = archive::Ring::kStart;
  StreamScan scan;
  uint32_t written = 0;
  unsigned flags = 0;
  while (written < count) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      const int v = archive.Get();
      if (v < 0) return scan;
      flags = static_cast<unsigned>(v) | 0xFF00;
    }
    if (flags & 1) {
      if (archive.Get() < 0) return scan;
      ++scan.literals;
      ++written;
      continue;
    }
    const int b0 = archive.Get();
    const int b1 = b0 < 0 ? -1 : archive.Get();
    if (b1 < 0) return scan;
    const uint32_t p = static_cast<uint32_t>(b0) | ((static_cast<uint32_t>(b1) & 0xF0) << 4);
    const uint32_t n = (static_cast<uint32_t>(b1) & 0x0F) + 3;
    ++scan.referencesByLength[n];
    for (uint32_t k = 0; k < n; ++k) {
      if (written == count) {
        ++scan.cutReferences;
        break;
      }
      // Position q >= 4078 holds this record's byte only once the record's
      // output has reached it (written > q - 4078).
      const uint32_t q = (p + k) & archive::Ring::kMask;
      if (q >= kStart && written <= q - kStart) ++scan.carriedReads;
      ++written;
    }
  }
  scan.complete = true;
  return scan;
}

}  // namespace packer
