#include "packlib/HostFrontEnd.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "packlib/HostArchive.h"
#include "packlib/HostNames.h"

namespace fs = std::filesystem;

namespace packer {

PrivateFolder::~PrivateFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

bool ArchiveInput::Open(const fs::path& given, std::string& error) {
  file_ = given;
  path_ = given.string();
  char magic[2] = {};
  std::ifstream in(given, std::ios::binary);
  if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return true;
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
  file_ = temp_.Path() / "carried.smf";
  path_ = file_.string();
  return WriteFileBytes(file_, archive, error, frontEnd);
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
