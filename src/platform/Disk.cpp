#include "platform/Disk.h"

namespace filesys {
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

}  // namespace filesys
