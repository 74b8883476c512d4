// Folder trees in tests: removal, and snapshots to prove a failed run left a
// folder exactly as it was.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testfiles {

inline void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(path.c_str());
}

// Every entry below `path`, by relative path: a folder as "<dir>", a file as
// its attribute bits and its bytes.
using Snapshot = std::map<std::wstring, std::string>;

inline void AddToSnapshot(const std::wstring& path, const std::wstring& relative, Snapshot& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring full = path + L"\\" + name, rel = relative + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel] = "<dir>";
      AddToSnapshot(full, rel + L"\\", out);
      continue;
    }
    std::string bytes = std::to_string(fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) + ":";
    HANDLE f = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      bytes += "<unreadable>";
    } else {
      char chunk[65536];
      DWORD got = 0;
      while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
      CloseHandle(f);
    }
    out[rel] = bytes;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

inline Snapshot TakeSnapshot(const std::wstring& path) {
  Snapshot out;
  AddToSnapshot(path, L"", out);
  return out;
}

// Makes `path` hold exactly what `snapshot` holds (read-only bits included).
inline void RestoreSnapshot(const std::wstring& path, const Snapshot& snapshot) {
  RemoveTree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  for (const auto& [relative, bytes] : snapshot) {  // a folder sorts before what it holds
    const std::wstring full = path + L"\\" + relative;
    if (bytes == "<dir>") {
      CreateDirectoryW(full.c_str(), nullptr);
      continue;
    }
    const size_t colon = bytes.find(':');
    HANDLE f = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    WriteFile(f, bytes.data() + colon + 1, static_cast<DWORD>(bytes.size() - colon - 1), &done, nullptr);
    CloseHandle(f);
    if (bytes.compare(0, colon, "0") != 0) SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_READONLY);
  }
}

// Entries whose names look like the installer's staging folder ("~ps" + five
// hex digits + ".stg") or anything in it, or a scratch file.
inline std::vector<std::wstring> StagingLeftovers(const Snapshot& snapshot) {
  std::vector<std::wstring> found;
  for (const auto& [path, bytes] : snapshot) {
    const size_t slash = path.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if ((name.size() == 12 && name.compare(0, 3, L"~ps") == 0) || name == L"work.tmp") found.push_back(path);
  }
  return found;
}

}  // namespace testfiles
