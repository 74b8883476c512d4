// The Windows packer's side of HostNames.h: UTF-8 <-> CP932 through UTF-16
// with the system's own tables. A character without an exact CP932 form is
// refused, never replaced by a look-alike (no best fit: ¥ must not become the
// separator 0x5C).
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "packlib/HostNames.h"

namespace packer {
namespace {

std::optional<std::wstring> ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
  return wide;
}

std::optional<std::string> FromWide(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  // CP_UTF8 takes neither flag; CP932 must not guess.
  const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
  const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, used);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, nullptr, used);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  const auto wide = ToWide(CP_UTF8, utf8);
  return wide ? FromWide(932, *wide) : std::nullopt;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  const auto wide = ToWide(932, cp932);
  return wide ? FromWide(CP_UTF8, *wide) : std::nullopt;
}

std::optional<std::string> RecordNameToHostPath(std::string_view name) {
  auto path = Cp932ToUtf8(name);
  if (path) std::replace(path->begin(), path->end(), '\\', '/');
  return path;
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

std::optional<std::u32string> CaseFolded(std::string_view utf8) {
  auto wide = ToWide(CP_UTF8, utf8);
  if (!wide) return std::nullopt;
  if (!wide->empty()) {
    const int n = static_cast<int>(wide->size());
    std::wstring upper(wide->size(), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide->c_str(), n, upper.data(), n, nullptr, nullptr,
                      0) != n) {
      return std::nullopt;
    }
    wide = upper;
  }
  return std::u32string(wide->begin(), wide->end());  // UTF-16 units: equal names stay equal
}

}  // namespace packer
