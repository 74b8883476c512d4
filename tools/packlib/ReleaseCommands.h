// `packer build` and `packer inspect`: one source for the Linux packer and
// the Windows packer, which differ only in their FrontEnd.
#pragma once

#include <cstdint>
#include <filesystem>
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
  // Makes a newly written installer a program where the system asks for
  // more than its bytes (on Linux the execute bits; on Windows nothing).
  virtual void MarkProgram(const std::filesystem::path& file) = 0;
  // CP932 bytes and paths as the terminal shows them (UTF-8).
  virtual std::string ShowCp932(const std::string& cp932) = 0;
  virtual std::string ShowPath(const std::filesystem::path& path) = 0;
  // The folder the packer itself is in: the default stub is there.
  virtual std::filesystem::path ProgramFolder() = 0;
};

// A folder of our own below the temporary folder, removed with its contents
// at the end; a fixed name there could be planted in advance. Empty Path()
// when it could not be made. (Made per platform: LinuxFrontEnd.cpp, WinFrontEnd.cpp.)
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

// packer build FOLDER -o OUT.exe [--stub STUB]. `args` follow "build". The
// archive is packed into a temporary file and streamed into the installer,
// so memory stays flat whatever the size; an installer whose image would
// pass `imageLimit` is refused as soon as the archive makes that certain.
int BuildCommand(FrontEnd& frontEnd, const std::vector<std::filesystem::path>& args,
                 uint64_t imageLimit = kImageLimit);

// packer inspect EXE
int InspectCommand(FrontEnd& frontEnd, const std::filesystem::path& exe);

// True when both name the same file (also through links or other spellings).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// True when `path` is `folder` or lies below it (links and ".." resolved).
bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// The lines `packer inspect` prints.
std::vector<std::string> DescribeInspection(const Inspection& inspection, FrontEnd& frontEnd);

}  // namespace packer
