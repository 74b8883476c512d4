// The Windows packer's platform part: a private temporary folder and the
// packer's folder. The installer is written by the same resource writer as
// on Linux: the system's resource update functions rewrite the whole file in
// memory, which a 32-bit packer cannot do for a large patch.
#include <windows.h>

#include <system_error>

#include "packlib/HostFrontEnd.h"

namespace fs = std::filesystem;

namespace packer {

PrivateFolder::PrivateFolder() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return;
  // CreateDirectoryW fails on a name that exists: a planted folder is never used.
  for (int attempt = 0; attempt < 100; ++attempt) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const fs::path candidate =
        base / (L"packer-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(now.QuadPart % 1000000));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

// A program on Windows is a program by its name.
void HostFrontEnd::MarkProgram(const fs::path&) {}

fs::path HostFrontEnd::ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return fs::path(L".");
    if (n < buffer.size()) return fs::path(buffer.substr(0, n)).parent_path();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace packer
