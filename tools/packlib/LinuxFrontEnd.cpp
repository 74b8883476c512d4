// The Linux packer's platform part: a private temporary folder, the
// installer written by rebuilding its resource section, the packer's folder.
#include <stdlib.h>

#include <system_error>

#include "packlib/HostFrontEnd.h"

namespace fs = std::filesystem;

namespace packer {

PrivateFolder::PrivateFolder() {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "packer-XXXXXX").string();
  if (!ec && mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

bool HostFrontEnd::WriteInstaller(std::span<const uint8_t> stub, std::span<const uint8_t> archive, const fs::path& out,
                                  std::string& error) {
  std::vector<uint8_t> bytes;
  EmbedReport report;
  if (!EmbedArchive(stub, archive, bytes, report, error)) return false;
  if (!WriteFileBytes(out, bytes, error, *this)) return false;
  std::error_code ec;
  fs::permissions(out, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  return true;
}

fs::path HostFrontEnd::ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path(".") : self.parent_path();
}

}  // namespace packer
