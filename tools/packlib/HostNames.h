// Record names (CP932, '\' separators) <-> Linux file names (UTF-8, '/').
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace packer {

// Converts between UTF-8 and CP932; nullopt when a character has no
// counterpart or the input is not well-formed.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// A record name as a relative UTF-8 path with '/' separators; nullopt when
// the name is not valid CP932.
std::optional<std::string> RecordNameToHostPath(std::string_view name);

}  // namespace packer
