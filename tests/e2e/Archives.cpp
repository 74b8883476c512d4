#include "Archives.h"

#include <windows.h>

namespace e2e {

namespace {
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) noexcept {
  try {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
  } catch (...) {
    return FALSE;  // the list stays short; the update then fails
  }
}
}  // namespace

bool ReplaceCarriedArchive(const std::wstring& exePath, const std::string& archive) {
  // An update names the resource's language exactly; take it from the file.
  std::vector<WORD> languages;
  if (HMODULE module = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    EnumResourceLanguagesW(module, L"SMF", L"KASTER", CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
  }
  if (languages.empty()) return false;
  HANDLE update = BeginUpdateResourceW(exePath.c_str(), FALSE);
  if (!update) return false;
  BOOL ok = TRUE;
  for (WORD language : languages) {
    ok = ok && UpdateResourceW(update, L"SMF", L"KASTER", language, const_cast<char*>(archive.data()),
                               static_cast<DWORD>(archive.size()));
  }
  return EndUpdateResourceW(update, !ok) && ok;
}

std::wstring FromCp932(const std::string& bytes) {
  if (bytes.empty()) return L"";
  const int n = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

}  // namespace e2e
