#include "engine/RecordName.h"

#include <array>

#include "text/PathRules.h"

namespace archive {
namespace {

// Single-byte characters Windows does not accept inside a file name.
bool IsForbiddenSingleByte(unsigned char b) {
  return b < 0x20 || b == '/' || b == ':' || b == '*' || b == '?' || b == '"' || b == '<' ||
         b == '>' || b == '|';
}

// CON, NUL, COM1 ... open devices instead of files, with any extension and
// with trailing spaces before it.
bool IsDeviceName(std::string_view level) {
  std::string_view stem = level.substr(0, level.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 8> kPlain = {"CON", "PRN",   "AUX",    "NUL",
                                                             "CLOCK$", "CONIN$", "CONOUT$", "$MFT"};
  for (std::string_view device : kPlain) {
    if (pathrules::EqualsIgnoringAsciiCase(stem, device)) return true;
  }
  if (stem.size() == 4 && stem[3] >= '0' && stem[3] <= '9') {
    return pathrules::EqualsIgnoringAsciiCase(stem.substr(0, 3), "COM") || pathrules::EqualsIgnoringAsciiCase(stem.substr(0, 3), "LPT");
  }
  return false;
}

bool IsSafeLevel(std::string_view level) {
  if (level.empty()) return false;
  const char last = level.back();  // never a trail byte: those are 0x40 and above
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(level);
}

}  // namespace

bool IsSafeRecordName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  size_t levelStart = 0;
  for (size_t i = 0; i < name.size(); i = pathrules::NextChar(name, i)) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (pathrules::IsLeadByte(b)) {
      // Windows turns every unassigned code into one default character, so
      // two names that differ only there would land on the same file.
      if (i + 1 >= name.size() || !pathrules::IsAssignedDoubleByte(b, static_cast<unsigned char>(name[i + 1]))) {
        return false;
      }
      continue;
    }
    if (IsForbiddenSingleByte(b)) return false;
    if (b == '\\') {
      if (!IsSafeLevel(name.substr(levelStart, i - levelStart))) return false;
      levelStart = i + 1;
    }
  }
  return IsSafeLevel(name.substr(levelStart));
}

}  // namespace archive
