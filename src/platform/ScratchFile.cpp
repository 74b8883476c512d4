#include "platform/ScratchFile.h"

#include <windows.h>

#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "text/Wide.h"

namespace platform {

bool RemoveLeftoverScratch(const std::string& path) {
  const std::wstring wide = text::Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // Opened without following a link, with nobody else sharing it, so what is
  // checked is what is deleted. A file with a second name is reached from
  // elsewhere as well: it is not a leftover of ours and stays.
  FileHandle file(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return false;
  HANDLE h = file.get();
  BY_HANDLE_FILE_INFORMATION info{};
  bool ours = GetFileInformationByHandle(h, &info) &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
              info.nNumberOfLinks == 1;
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
  if (folder.empty() || !RemoveLeftoverScratch(path)) throw Exception(cannotCreate);
  HANDLE h = CreateFileW(text::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Exception(cannotCreate);
  source_ = std::make_unique<FileSource>(h);  // closes, and so deletes, the file on every path
  DWORD written = 0;
  const BOOL ok = WriteFile(h, archive.data(), static_cast<DWORD>(archive.size()), &written, nullptr);
  if (!ok || written != archive.size() || !source_->Rewind()) throw Exception("ストリームへの書き込みエラー");
}

}  // namespace platform
