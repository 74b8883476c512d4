// Conversion between the program's CP932 byte strings and the UTF-16 strings
// of the Win32 "W" functions. Every text crosses the Win32 boundary here, so
// Japanese captions and file names come out right whatever the system's code page.
#pragma once

#include <string>
#include <string_view>

namespace forms {

constexpr unsigned kCodePage = 932;

std::wstring Wide(std::string_view cp932);
std::string Narrow(std::wstring_view utf16);

}  // namespace forms
