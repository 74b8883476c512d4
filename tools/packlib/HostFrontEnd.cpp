#include "packlib/HostFrontEnd.h"

#include <cstdio>
#include <system_error>

#include "packlib/InstallerFile.h"
#include "packlib/HostNames.h"

namespace fs = std::filesystem;

namespace packer {

PrivateFolder::~PrivateFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

bool ArchiveInput::Open(const fs::path& given, std::string& error) {
  file_ = InputFile::Open(given);
  if (!file_) {
    error = given.string() + ": cannot open";
    return false;
  }
  uint8_t magic[2] = {};
  if (!file_->ReadAt(0, magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return true;
  pe::Image image;
  if (!ReadInstaller(*file_, image, error)) {
    error = given.string() + ": " + error;
    return false;
  }
  const pe::Resource& carried =
      *image.Find(pe::ResourceKey::Named(kArchiveType), pe::ResourceKey::Named(kArchiveName)).front();
  window_ = std::make_unique<archive::WindowSource>(*file_, carried.fileOffset, carried.Size());
  return true;
}

std::string HostFrontEnd::ShowCp932(const std::string& cp932) {
  if (auto utf8 = Cp932ToUtf8(cp932)) return *utf8;
  std::string shown;
  for (unsigned char c : cp932) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
    shown += hex;
  }
  return shown;
}

}  // namespace packer
