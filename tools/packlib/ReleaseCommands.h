// `packer build` and `packer inspect`: one source for the Linux packer and
// the Windows packer, which differ only in their FrontEnd.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "packlib/InstallerFile.h"

namespace packer {

// The file name of the installer stub, the default one sitting beside the packer.
inline constexpr char kStubFileName[] = "PatchSetupStub.exe";

// What differs between the platforms.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Packs every file below `folder` into an archive held in memory, with a
  // summary line for the user in `summary`.
  virtual bool PackFolder(const std::filesystem::path& folder, std::vector<uint8_t>& archive, std::string& summary,
                          std::string& error) = 0;
  // Writes the new installer file `out`: `stub` (unsigned) carrying `archive`
  // in every language the stub carries one.
  virtual bool WriteInstaller(std::span<const uint8_t> stub, std::span<const uint8_t> archive,
                              const std::filesystem::path& out, std::string& error) = 0;
  // CP932 bytes and paths as the terminal shows them (UTF-8).
  virtual std::string ShowCp932(const std::string& cp932) = 0;
  virtual std::string ShowPath(const std::filesystem::path& path) = 0;
  // The folder the packer itself is in: the default stub is there.
  virtual std::filesystem::path ProgramFolder() = 0;
};

// packer build FOLDER -o OUT.exe [--stub STUB]. `args` follow "build".
int BuildCommand(FrontEnd& frontEnd, const std::vector<std::filesystem::path>& args);

// packer inspect EXE
int InspectCommand(FrontEnd& frontEnd, const std::filesystem::path& exe);

// Shared file helpers (std::filesystem paths: wide names on Windows).
bool ReadFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes, std::string& error,
                   FrontEnd& frontEnd);
// Writes through `path` + ".part", renamed over `path` at the end.
bool WriteFileBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes, std::string& error,
                        FrontEnd& frontEnd);
// True when both name the same file (also through links or other spellings).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// True when `path` is `folder` or lies below it (links and ".." resolved).
bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// The lines `packer inspect` prints.
std::vector<std::string> DescribeInspection(const Inspection& inspection, FrontEnd& frontEnd);

}  // namespace packer
