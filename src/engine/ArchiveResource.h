// Where an installer carries its patch archive: a resource of type SMF and
// name KASTER, as a resource compiler stores them (upper case; the system
// finds resource names and types ignoring case).
#pragma once

#include <string_view>

namespace archive {

inline constexpr char kArchiveType[] = "SMF";
inline constexpr char kArchiveName[] = "KASTER";

// True when `a` and `b` are the same ASCII name ignoring case, as the
// resource lookup compares them.
constexpr bool SameResourceName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

}  // namespace archive
