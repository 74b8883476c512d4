// Record names (CP932, '\' separators) <-> file names on the packer's system
// (UTF-8, '/'), and the system's file and case rules. HostNames.cpp is the
// Linux side (iconv, locales), WinNames.cpp the Windows side.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
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

// Opens a file as std::fopen does, by its path (wide names on Windows).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// A file from OpenFile, closed when it goes.
struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
// Flushes a file opened for writing and has the system put it on the disk,
// so that a rename over an older file afterwards never leaves an empty or
// partly written file in its place after a crash or power cut.
bool SyncFile(std::FILE* file);

// A name as Windows compares file names: every character upper-cased (ASCII,
// full-width Latin, Greek, Cyrillic, Roman numerals ...). The name is
// well-formed UTF-8 (it made the round trip through CP932). nullopt when the
// system's case table cannot be had (on Linux: the C.UTF-8 locale).
std::optional<std::u32string> CaseFolded(std::string_view utf8);

}  // namespace packer
