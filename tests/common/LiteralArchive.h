// Patch archives for tests: every stream written as literals only, which the
// decoder reads like any other (no compression needed for a test).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Trailer.h"

namespace testarchive {

struct File {
  std::string name;  // CP932, '\' separators
  std::string data;
};

inline std::string LiteralArchive(const std::vector<File>& files) {
  std::string out;
  for (const File& f : files) {
    out += static_cast<char>(f.name.size());
    out += f.name;
    const auto size = static_cast<unsigned>(f.data.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>((size >> (8 * i)) & 0xFF);
    for (size_t i = 0; i < f.data.size(); i += 8) {
      out += static_cast<char>(0xFF);  // eight literals follow
      out.append(f.data, i, 8);
    }
  }
  return out;
}

// An archive as the packer writes it: an ending record, then the trailer.
inline std::string Sealed(std::string archive) {
  archive.append(5, '\0');
  archive::Trailer trailer;
  trailer.length = archive.size();
  trailer.crc = archive::Crc32(0, reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
  uint8_t bytes[archive::Trailer::kSize];
  archive::EncodeTrailer(trailer, bytes);
  return archive.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace testarchive
