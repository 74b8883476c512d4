// Conversion between the program's CP932 byte strings and the UTF-16 strings
// of the Win32 "W" functions. Every text crosses the Win32 boundary here, so
// Japanese captions and file names come out right whatever the system's code page.
//
// UTF-16 to CP932 never maps a character onto a look-alike ("best fit": é to
// e, ¥ to \): a path that CP932 cannot hold exactly must never turn into the
// name of another file.
#pragma once

#include <string>
#include <string_view>

namespace text {

constexpr unsigned kCodePage = 932;

std::wstring Wide(std::string_view cp932);

// For display: a character without a CP932 form becomes '?', which no
// Windows file name may hold, so the text can never name another file.
std::string Narrow(std::wstring_view utf16);

// For paths the program acts on: false (and `cp932` unchanged) when a
// character has no exact CP932 form.
bool NarrowExactly(std::wstring_view utf16, std::string& cp932);

}  // namespace text
