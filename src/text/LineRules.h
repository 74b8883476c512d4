// Byte rules of the text helpers (portable).
// Part of the Library unit (see platform/Library.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace text {

// Reads up to `maxLines` lines from a byte stream into lines[0..], appending
// to what they hold. `next` returns the next stored byte of the file, or -1 at
// its end. In mode exactly "rb" every byte is inverted; any mode without 'b'
// is text mode, in which every CR is dropped and the first 0x1A ends the file.
// Returns the number of line feeds read; a last line without one is stored
// but not counted.
int ReadLinesFrom(const std::function<int()>& next, std::string* lines, std::uint32_t maxLines, const char* mode);

// Replaces the first occurrence of `from` in `text` (byte-wise, case-sensitive)
// by `to`. Returns 1 when it replaced, 0 when `from` or `text` is empty or
// `from` does not occur.
int ReplaceFirst(std::string& text, const std::string& from, const std::string& to);

// True when `text` can stand inside one file name as it is: well-formed CP932
// (no lead byte without its trail byte), no control byte, and none of
// \ / : * ? " < > | as a single-byte character (a 0x5C or 0x7C trail byte
// belongs to its double-byte character). The empty text is usable.
bool IsNamePart(std::string_view text);

}  // namespace text
