// Which record names may become paths below the target folder.
#pragma once

#include <string_view>

namespace archive {

// True when a record name (CP932, levels separated by single-byte '\') names a
// file strictly below the target folder and means the same on any Windows:
// 1..255 bytes; well-formed CP932 (every lead byte followed by a trail byte
// that makes a code with a character assigned);
// no '/', ':' or other character Windows refuses in names, no control byte;
// no leading '\', no empty level ("a\\b", trailing '\'); no level ending in
// '.' or ' ' (so no "." or ".." and nothing Windows would trim into another
// name); no device name (CON, NUL, COM1, LPT1 ..., also with an extension).
// A 0x5C or 0x3A trail byte (ソ is 83 5C) belongs to its character.
bool IsSafeRecordName(std::string_view name);

}  // namespace archive
