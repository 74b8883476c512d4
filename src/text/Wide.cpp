#include "text/Wide.h"

#include <windows.h>

namespace text {
namespace {

// The conversion without best fit; `lossy` tells whether a character had to
// become the default '?'.
std::string ToCp932(std::wstring_view utf16, bool& lossy) {
  lossy = false;
  if (utf16.empty()) return std::string();
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, utf16.data(), size, nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  BOOL usedDefault = FALSE;
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, utf16.data(), size, out.data(), n, "?", &usedDefault);
  // Some systems map a character to another without counting it as a
  // default; the round trip tells.
  lossy = usedDefault || Wide(out) != utf16;
  return out;
}

}  // namespace

std::wstring Wide(std::string_view cp932) {
  if (cp932.empty()) return std::wstring();
  const int n = MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  bool lossy;
  std::string out = ToCp932(utf16, lossy);
  if (!lossy) return out;
  // Best fit may still have slipped through: every character that does not
  // come back unchanged becomes '?'.
  std::string exact;
  for (size_t i = 0; i < utf16.size(); ++i) {
    size_t len = IS_HIGH_SURROGATE(utf16[i]) && i + 1 < utf16.size() ? 2 : 1;
    std::string one;
    if (NarrowExactly(utf16.substr(i, len), one)) {
      exact += one;
    } else {
      exact += '?';
    }
    i += len - 1;
  }
  return exact;
}

bool NarrowExactly(std::wstring_view utf16, std::string& cp932) {
  bool lossy;
  std::string out = ToCp932(utf16, lossy);
  if (lossy) return false;
  cp932 = std::move(out);
  return true;
}

}  // namespace text
