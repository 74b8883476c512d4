#include "packlib/HostFrontEnd.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "packlib/HostArchive.h"
#include "packlib/HostNames.h"

namespace fs = std::filesystem;

namespace packer {
namespace {

}  // namespace

PrivateFolder::PrivateFolder() {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "packer-XXXXXX").string();
  if (!ec && mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

PrivateFolder::~PrivateFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

bool ArchiveInput::Open(const fs::path& given, std::string& error) {
  path_ = given.string();
  std::FILE* f = std::fopen(given.c_str(), "rb");
  char magic[2] = {};
  const bool installer = f != nullptr && std::fread(magic, 1, 2, f) == 2 && magic[0] == 'M' && magic[1] == 'Z';
  if (f != nullptr) std::fclose(f);
  if (!installer) return true;
  HostFrontEnd frontEnd;
  std::vector<uint8_t> file;
  pe::Image image;
  if (!ReadFileBytes(given, file, error, frontEnd)) return false;
  if (!ReadInstaller(file, image, error)) {
    error = given.string() + ": " + error;
    return false;
  }
  const std::vector<uint8_t>& archive = image.Find(pe::ResourceKey::Named(kArchiveType),
                                                   pe::ResourceKey::Named(kArchiveName)).front()->data;
  if (temp_.Path().empty()) {
    error = "cannot create a temporary folder";
    return false;
  }
  path_ = (temp_.Path() / "carried.smf").string();
  return WriteFileBytes(path_, archive, error, frontEnd);
}

bool HostFrontEnd::PackFolder(const fs::path& folder, std::vector<uint8_t>& archive, std::string& summary,
                              std::string& error) {
  std::vector<PackItem> items;
  if (!CollectFolder(folder, items, error)) return false;
  PrivateFolder temp;
  if (temp.Path().empty()) {
    error = "cannot create a temporary folder";
    return false;
  }
  const fs::path file = temp.Path() / "patch.smf";
  PackReport report;
  if (!WriteArchive(items, file, Parsing::kOptimal, report, error)) return false;
  if (!ReadFileBytes(file, archive, error, *this)) return false;
  char text[160];
  std::snprintf(text, sizeof text, "%u files, %llu bytes -> archive of %zu bytes", report.files,
                static_cast<unsigned long long>(report.inputBytes), archive.size());
  summary = text;
  return true;
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

fs::path HostFrontEnd::ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path(".") : self.parent_path();
}

}  // namespace packer
