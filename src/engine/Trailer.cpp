#include "engine/Trailer.h"

#include <zlib.h>

#include <cstring>

namespace archive {
namespace {

uint64_t Load64(const uint8_t* p) {
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
  return v;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
  // zlib takes a null buffer as a request for the initial value.
  if (size == 0) return crc;
  return static_cast<uint32_t>(crc32_z(crc, data, size));
}

void EncodeTrailer(const Trailer& trailer, uint8_t out[Trailer::kSize]) {
  std::memcpy(out, Trailer::kSignature, 8);
  for (int k = 0; k < 8; ++k) out[8 + k] = static_cast<uint8_t>(trailer.length >> (8 * k));
  for (int k = 0; k < 4; ++k) out[16 + k] = static_cast<uint8_t>(trailer.crc >> (8 * k));
}

std::optional<Trailer> ParseTrailer(const uint8_t last[Trailer::kSize], uint64_t fileLength) {
  if (fileLength < Trailer::kSize || std::memcmp(last, Trailer::kSignature, 8) != 0) return std::nullopt;
  Trailer t;
  t.length = Load64(last + 8);
  t.crc = last[16] | last[17] << 8 | last[18] << 16 | static_cast<uint32_t>(last[19]) << 24;
  if (t.length != fileLength - Trailer::kSize) return std::nullopt;
  return t;
}

}  // namespace archive
