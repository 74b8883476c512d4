// A deterministic demo patch shaped like a real game patch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packer {

struct DemoFile {
  std::string path;  // relative, UTF-8, '/' separators
  std::vector<uint8_t> bytes;
  bool operator==(const DemoFile&) const = default;
};

// 283 files, always the same bytes: Game02.exe, Config02.exe and version.txt
// ("1.260\r\n") at the top, 140 files in each of the folders "data" and "表示".
// Record names are 10..24 bytes in CP932; 215 hold double-byte characters,
// several with the trail byte 0x5C. Sizes run from 7 bytes to 1,481,728,
// about 20 MB in all: text, structured binary, pictures, sound and some
// random data, which the packer compresses about 4.6:1.
std::vector<DemoFile> MakeDemoPatch();

}  // namespace packer
