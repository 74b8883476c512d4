#include "platform/Disk.h"

namespace platform {
namespace {

// NtFlushBuffersFileEx from ntdll (Windows 8 on; Wine has none): flushes a
// file's data without the disk's cache, which one Flush later covers for all.
struct IoStatusBlock {
  union {
    LONG Status;
    void* Pointer;
  };
  ULONG_PTR Information;
};
using FlushEx = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, IoStatusBlock*);
constexpr ULONG kFlushFileDataOnly = 1;

FlushEx FlushDataOnly() {
  static const FlushEx flush = reinterpret_cast<FlushEx>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtFlushBuffersFileEx")));
  return flush;
}

// A reparse point that stands for another place: a junction or mount point,
// a symbolic link (IsReparseTagNameSurrogate).
constexpr DWORD kNameSurrogate = 0x20000000;

Entry FromAttributes(DWORD attributes, uint64_t size) {
  Entry entry;
  entry.exists = true;
  entry.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  entry.size = entry.folder ? 0 : size;
  return entry;
}

}  // namespace

bool Retrying(Attempt op) {
  static constexpr DWORD kPauses[] = {10, 20, 40, 80, 160, 320, 500, 500, 500};
  for (DWORD pause : kPauses) {
    if (op()) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED) {
      return false;
    }
    Sleep(pause);
    SetLastError(error);
  }
  return op();
}

Entry Disk::Query(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  Entry entry = FromAttributes(data.dwFileAttributes, uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The search tells the reparse point's tag; one it cannot tell counts as a link.
    WIN32_FIND_DATAW found;
    const FindHandle search(FindFirstFileW(path.c_str(), &found));
    entry.link = !search || (found.dwReserved0 & kNameSurrogate) != 0;
  }
  return entry;
}

bool Disk::List(const std::wstring& folder, std::vector<std::pair<std::wstring, Entry>>& entries) {
  entries.clear();
  WIN32_FIND_DATAW found;
  const FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return false;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    Entry entry = FromAttributes(found.dwFileAttributes, uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow);
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && (found.dwReserved0 & kNameSurrogate);
    entries.emplace_back(name, entry);
  } while (FindNextFileW(search.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

HANDLE Disk::OpenRead(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

HANDLE Disk::HoldFolder(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

HANDLE Disk::OpenJournal(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool Disk::Describe(HANDLE handle, Entry& entry) {
  // Two plain queries of the file itself (GetFileInformationByHandle asks
  // for the volume as well, which costs far more, under Wine most of all).
  FILE_ATTRIBUTE_TAG_INFO tag{};
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
    return false;
  }
  entry = FromAttributes(tag.FileAttributes, static_cast<uint64_t>(standard.EndOfFile.QuadPart));
  entry.names = standard.NumberOfLinks;
  entry.link = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && (tag.ReparseTag & kNameSurrogate);
  return true;
}

bool Disk::Read(HANDLE file, uint8_t* data, size_t size, size_t& got) {
  DWORD done = 0;
  const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  const bool ok = ReadFile(file, data, chunk, &done, nullptr);
  got = ok ? done : 0;
  return ok;
}

HANDLE Disk::CreateNewFile(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Disk::Write(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    DWORD done = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(file, data, chunk, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

bool Disk::Truncate(HANDLE file, uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

bool Disk::FlushData(HANDLE file) {
  if (const FlushEx flush = FlushDataOnly()) {
    IoStatusBlock status{};
    if (flush(file, kFlushFileDataOnly, nullptr, 0, &status) >= 0) return true;
  }
  return FlushFileBuffers(file);
}

bool Disk::Flush(HANDLE file) { return FlushFileBuffers(file); }

bool Disk::Move(const std::wstring& from, const std::wstring& to, bool replace) {
  return MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
}

bool Disk::Delete(const std::wstring& path) { return DeleteFileW(path.c_str()); }

bool Disk::MakeFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr); }

bool Disk::RemoveFolder(const std::wstring& path) { return RemoveDirectoryW(path.c_str()); }

bool Disk::DeleteAtRestart(const std::wstring& path) {
  return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

Disk& Disk::System() {
  static Disk disk;
  return disk;
}

DiskSink::~DiskSink() { Close(); }

bool DiskSink::Close() {
  if (!file_) return true;
  const bool flushed = disk_.FlushData(file_.get());
  const bool closed = CloseHandle(file_.release());
  return flushed && closed;
}

}  // namespace platform
