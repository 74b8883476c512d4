// The Windows packer's platform part: a private temporary folder, the
// installer written with the system's resource update functions, the
// packer's folder.
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

bool HostFrontEnd::WriteInstaller(std::span<const uint8_t> stub, std::span<const uint8_t> archive, const fs::path& out,
                                  std::string& error) {
  // The stub without its signature (the system keeps a certificate table it
  // no longer matches), with the archive replaced in every language it has.
  std::vector<uint8_t> unsigned_;
  if (!DropSignature(stub, unsigned_, error)) return false;
  pe::Image image;
  if (!ReadInstaller(unsigned_, image, error)) return false;
  fs::path temp = out;
  temp += ".part";
  if (!WriteFileBytes(temp, unsigned_, error, *this)) return false;
  HANDLE update = BeginUpdateResourceW(temp.c_str(), FALSE);
  bool ok = update != nullptr;
  const std::wstring type(kArchiveType, kArchiveType + sizeof kArchiveType - 1);
  const std::wstring name(kArchiveName, kArchiveName + sizeof kArchiveName - 1);
  for (uint16_t language : ArchiveLanguages(image)) {
    ok = ok && UpdateResourceW(update, type.c_str(), name.c_str(), language, const_cast<uint8_t*>(archive.data()),
                               static_cast<DWORD>(archive.size()));
  }
  if (update != nullptr && !EndUpdateResourceW(update, !ok)) ok = false;
  // The system leaves the header's checksum as it was; set it for the new file.
  std::vector<uint8_t> written;
  pe::Image result;
  ok = ok && ReadFileBytes(temp, written, error, *this) && pe::Parse(written, result, error);
  if (ok) {
    const uint32_t sum = pe::Checksum(written, result.checksumOffset);
    for (int k = 0; k < 4; ++k) written[result.checksumOffset + k] = static_cast<uint8_t>(sum >> (8 * k));
    ok = WriteFileBytes(temp, written, error, *this);
  }
  std::error_code ec;
  if (ok) fs::rename(temp, out, ec);
  if (!ok || ec) {
    fs::remove(temp, ec);
    if (error.empty()) {
      error = ShowPath(out) + ": the resources could not be updated (error " + std::to_string(GetLastError()) + ")";
    }
    return false;
  }
  return true;
}

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
