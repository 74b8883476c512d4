// Where a PE file's fields lie, and their little-endian reads and writes, for the PE units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pe {

constexpr uint32_t kDirResources = 2;
constexpr uint32_t kDirCertificates = 4;
constexpr uint32_t kDirRelocations = 5;
constexpr uint32_t kDirDebug = 6;
constexpr uint32_t kHighBit = 0x80000000u;  // a resource entry's name string or subdirectory

// Where the fields a reader or a rewrite touches lie: from the DOS header's
// start, the COFF file header's, the optional header's, a section header's,
// a data directory entry's and a debug directory entry's.
constexpr size_t kPeOffsetField = 0x3C;
constexpr size_t kCoffSectionCount = 2, kCoffSymbolTable = 8, kCoffOptionalSize = 16, kCoffSize = 20;
constexpr size_t kOptInitialisedData = 8, kOptSectionAlignment = 32, kOptFileAlignment = 36,
                 kOptSizeOfImage = 56, kOptChecksum = 64, kOptSubsystem = 68;
constexpr size_t kOptDirectories32 = 96, kOptDirectories64 = 112;  // the data directories, PE32 and PE32+
constexpr size_t kSectionVirtualSize = 8, kSectionAddress = 12, kSectionRawSize = 16, kSectionRawOffset = 20,
                 kSectionHeaderSize = 40;
constexpr size_t kDirectoryEntrySize = 8, kDirectorySizeField = 4;
constexpr size_t kDebugEntrySize = 28, kDebugRawPointer = 24;

inline uint16_t Get16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
inline uint32_t Get32(std::span<const uint8_t> b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}
inline bool Fits(uint64_t offset, uint64_t size, uint64_t limit) { return offset <= limit && size <= limit - offset; }
inline uint64_t AlignUp(uint64_t v, uint64_t alignment) { return (v + alignment - 1) / alignment * alignment; }
inline bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace pe
