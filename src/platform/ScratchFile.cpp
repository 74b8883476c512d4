#include "platform/ScratchFile.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "text/Wide.h"

namespace filesys {
namespace {

// True when the open file holds exactly the first bytes of `archive`. Under
// Wine a symbolic link looks like a plain file, so the content is what tells
// a leftover of ours from a file someone linked there.
bool HoldsPrefixOf(HANDLE file, uint64_t size, std::span<const uint8_t> archive) {
  if (size > archive.size()) return false;
  std::vector<uint8_t> buffer(64 * 1024);
  uint64_t at = 0;
  while (at < size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), size - at));
    if (!ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) return false;
    if (std::memcmp(buffer.data(), archive.data() + at, got) != 0) return false;
    at += got;
  }
  return true;
}

}  // namespace

bool RemoveLeftoverScratch(const std::string& path, std::span<const uint8_t> archive) {
  const std::wstring wide = text::Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // Opened without following a link, with nobody else sharing it, so what is
  // checked is what is deleted.
  FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  HANDLE h = file.get();
  BY_HANDLE_FILE_INFORMATION info{};
  bool ours = GetFileInformationByHandle(h, &info) &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
              info.nNumberOfLinks == 1 &&
              HoldsPrefixOf(h, (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, archive);
  if (ours) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    ours = SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
  }
  file.reset();  // the disposition takes effect as the handle closes
  return ours && GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
}

ScratchFile::ScratchFile(const std::string& folder, const std::string& name, std::span<const uint8_t> archive) {
  // Without a folder of its own (one CP932 cannot name) the file would land
  // in whatever the current directory is.
  const std::string path = folder + name;
  const std::string cannotCreate = "ファイル " + path + " を作成できません";
  if (folder.empty() || !RemoveLeftoverScratch(path, archive)) throw Exception(cannotCreate);
  HANDLE h = CreateFileW(text::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Exception(cannotCreate);
  source_ = std::make_unique<FileSource>(h);  // closes, and so deletes, the file on every path
  DWORD written = 0;
  const BOOL ok = WriteFile(h, archive.data(), static_cast<DWORD>(archive.size()), &written, nullptr);
  if (!ok || written != archive.size() || !source_->Rewind()) throw Exception("ストリームへの書き込みエラー");
}

}  // namespace filesys
