// Code page 932 path rules: which bytes separate path levels.
//
// Paths inside the program are CP932 byte strings. A 0x5C ('\') or 0x3A (':')
// byte that is the second byte of a double-byte character belongs to a name
// (ソ is 83 5C, 表 is 95 5C). The lead-byte ranges are CP932's own, fixed here
// rather than read from the system, so the rules hold on any Windows.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pathrules {

// True for a CP932 lead byte (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The index of the character after the one at s[i]: a lead byte takes the
// byte after it along (a lead byte at the end stands alone). Every walk
// through CP932 text steps with it:
//   for (size_t i = 0; i < s.size(); i = NextChar(s, i)) ...
// At a character's start, a byte below 0x80 is that whole character.
constexpr size_t NextChar(std::string_view s, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? i + 2 : i + 1;
}

// True when `a` and `b` are the same with ASCII letters compared ignoring
// case, as Windows compares the names of devices, resources and files. Meant
// for a name against an ASCII one: a trail byte is never taken for a letter
// there, since the ASCII side has no lead byte to pair it with.
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// A run of double-byte codes that share a lead byte: trail bytes first..last.
struct DoubleByteRun {
  unsigned char lead, first, last;
};

// Every double-byte code to which Windows code page 932 assigns a character,
// as runs sorted by lead and trail byte (9604 codes): JIS X 0208, NEC row 13
// (0x87), the NEC-selected IBM extensions (0xED, 0xEE), the user-defined area
// (0xF0-0xF9, which Windows maps one to one to U+E000-U+E757, so it counts as
// assigned) and the IBM extensions (0xFA-0xFC). Windows converts every other
// double-byte code to one and the same default character.
std::span<const DoubleByteRun> AssignedDoubleByteRuns();

// True when lead + trail is one of those codes.
bool IsAssignedDoubleByte(unsigned char lead, unsigned char trail);

// True when the byte at index i starts a character (is not a trail byte).
bool IsCharStart(std::string_view s, size_t i);

// True when s[i] is a single-byte '\' (not the trail byte of a double-byte character).
bool IsPathDelimiter(std::string_view s, size_t i);

// True when the last character of s is a single-byte '\'.
bool EndsWithDelimiter(std::string_view s);

// Index of the last single-byte character that is one of `chars`, or npos.
size_t LastDelimiter(std::string_view s, std::string_view chars);

// The path up to and including its last single-byte '\' or ':'; empty when it has none.
// Parent("C:\\a\\b") == "C:\\a\\", Parent("C:\\a") == "C:\\", Parent("abc") == "".
std::string Parent(std::string_view path);

// The path with one trailing single-byte '\' removed, if it has one.
std::string WithoutTrailingDelimiter(std::string_view path);

// The folder part of a file path: up to its last single-byte '\', that '\' dropped
// unless the character before it is a drive colon or another '\'. Empty when the
// path holds no '\'. FolderPart("C:\\g\\a\\f") == "C:\\g\\a", FolderPart("C:\\f") == "C:\\".
std::string FolderPart(std::string_view path);

// True when the last character of s is a double-byte character.
bool EndsWithDoubleByte(std::string_view s);

// Every level of a path below its root, outermost first, each without a
// trailing '\': Levels("C:\\a\\b\\") == {"C:\\a", "C:\\a\\b"}. The root is a
// drive ("C:\\", "C:") or a share ("\\\\server\\share\\"); a drive root has
// no levels. Empty levels (doubled separators) are passed over.
std::vector<std::string> Levels(std::string_view path);

}  // namespace pathrules
