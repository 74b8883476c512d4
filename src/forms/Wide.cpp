#include "forms/Wide.h"

#include <windows.h>

namespace forms {

std::wstring Wide(std::string_view cp932) {
  if (cp932.empty()) return std::wstring();
  const int n = MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return std::string();
  const int n = WideCharToMultiByte(kCodePage, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kCodePage, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

}  // namespace forms
