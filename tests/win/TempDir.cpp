#include "TempDir.h"

#include <stdexcept>

#include "FileTree.h"

namespace wintest {

void RemoveTree(const std::wstring& path) { testfiles::RemoveTree(path); }

TempDir::TempDir(const std::string& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  path_ = text::Narrow(temp) + "patchsetup-" + name;
  RemoveTree(text::Wide(path_));
  if (!CreateDirectoryW(text::Wide(path_).c_str(), nullptr)) throw std::runtime_error("cannot make " + path_);
}

TempDir::~TempDir() { RemoveTree(text::Wide(path_)); }

void WriteFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(text::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
  DWORD done = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
}

std::string ReadFile(const std::string& path) {
  HANDLE h = CreateFileW(text::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(text::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD a = GetFileAttributesW(text::Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace wintest
