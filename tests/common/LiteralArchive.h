// Patch archives for tests: every stream written as literals only, which the
// decoder reads like any other (no compression needed for a test).
#pragma once

#include <string>
#include <vector>

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

}  // namespace testarchive
