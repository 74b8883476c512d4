// The integrity trailer that the packer writes after an archive's ending
// record: a signature, the length of everything before the trailer and the
// CRC-32 of those bytes. Readers that follow the record format stop at the
// ending record and never see it; the installer checks it when it is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace archive {

// CRC-32 (the polynomial of zip and PNG, reflected, 0xEDB88320), continued
// from `crc` (0 to start).
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

struct Trailer {
  static constexpr size_t kSize = 20;
  static constexpr char kSignature[9] = "SMFSEAL1";  // 8 bytes, no terminator stored

  uint64_t length = 0;  // bytes before the trailer
  uint32_t crc = 0;     // CRC-32 of those bytes
};

// The trailer's 20 bytes: signature, length (64-bit little-endian), CRC (32-bit little-endian).
void EncodeTrailer(const Trailer& trailer, uint8_t out[Trailer::kSize]);

// Reads the last 20 bytes of a file of `fileLength` bytes. A trailer is
// present when they start with the signature and its length field is exactly
// fileLength - 20; anything else is an archive without a trailer.
std::optional<Trailer> ParseTrailer(const uint8_t last[Trailer::kSize], uint64_t fileLength);

}  // namespace archive
