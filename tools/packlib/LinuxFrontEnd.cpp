// The Linux packer's platform part: a private temporary folder, the
// installer's execute bits, the packer's folder.
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

void HostFrontEnd::MarkProgram(const fs::path& file) {
  std::error_code ec;
  fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
}

fs::path HostFrontEnd::ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path(".") : self.parent_path();
}

}  // namespace packer
