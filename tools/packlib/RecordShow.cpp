// Showing record names and extraction stops in the packer's messages.
#include "packlib/RecordShow.h"

#include <cstdio>

#include "packlib/HostNames.h"

namespace packer {

std::string ShowName(const std::string& cp932) {
  if (auto utf8 = RecordNameToHostPath(cp932)) return *utf8;
  std::string shown;
  char hex[5];
  for (unsigned char b : cp932) {
    if (b >= 0x20 && b < 0x7F) {
      shown += static_cast<char>(b);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      shown += hex;
    }
  }
  return shown;
}

const char* Describe(archive::ExtractStop reason) {
  switch (reason) {
    case archive::ExtractStop::kUnsafeName: return "unsafe record name";
    case archive::ExtractStop::kDamagedArchive: return "damaged archive (it ends inside a record)";
    case archive::ExtractStop::kCannotOpenOutput: return "cannot open the output file";
    case archive::ExtractStop::kCannotWriteOutput: return "cannot write the output file";
  }
  return "stopped";
}

}  // namespace packer
