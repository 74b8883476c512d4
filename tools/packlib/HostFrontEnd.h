// The packer's side of `build` and `inspect` on the system it runs on:
// folders packed with the packer's rules, temporary files, the installer
// written (on Linux by rebuilding its resource section: LinuxFrontEnd.cpp; on
// Windows with the system's resource update functions: WinFrontEnd.cpp).
#pragma once

#include "packlib/ReleaseCommands.h"

namespace packer {

// A folder of our own below the temporary folder, removed with its contents
// at the end; a fixed name there could be planted in advance. Empty Path()
// when it could not be made.
class PrivateFolder {
 public:
  PrivateFolder();
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// An archive named on the command line, or an installer in its place: then
// the archive it carries, copied to a private temporary file.
class ArchiveInput {
 public:
  bool Open(const std::filesystem::path& given, std::string& error);
  const std::filesystem::path& File() const { return file_; }
  char* Path() { return path_.data(); }  // File() as a C string, for the Linux packer's commands

 private:
  PrivateFolder temp_;
  std::filesystem::path file_;
  std::string path_;
};

class HostFrontEnd : public FrontEnd {
 public:
  bool PackFolder(const std::filesystem::path& folder, std::vector<uint8_t>& archive, std::string& summary,
                  std::string& error) override;
  bool WriteInstaller(std::span<const uint8_t> stub, std::span<const uint8_t> archive,
                      const std::filesystem::path& out, std::string& error) override;
  std::string ShowCp932(const std::string& cp932) override;
  std::string ShowPath(const std::filesystem::path& path) override { return path.string(); }
  std::filesystem::path ProgramFolder() override;
};

}  // namespace packer
