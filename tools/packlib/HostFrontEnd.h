// The packer's side of `build` and `inspect` on the system it runs on:
// temporary folders, the installer's file made a program, names shown (on
// Linux: LinuxFrontEnd.cpp; on Windows: WinFrontEnd.cpp). Both write the
// installer with the same resource writer.
#pragma once

#include <memory>

#include "engine/ByteReader.h"
#include "packlib/RandomFile.h"
#include "packlib/ReleaseCommands.h"

namespace packer {

// An archive named on the command line, or an installer in its place: then
// the archive it carries, read where it lies in the installer's file.
class ArchiveInput {
 public:
  bool Open(const std::filesystem::path& given, std::string& error);
  archive::RandomSource& Archive() { return window_ ? static_cast<archive::RandomSource&>(*window_) : *file_; }

 private:
  std::unique_ptr<InputFile> file_;
  std::unique_ptr<archive::WindowSource> window_;
};

class HostFrontEnd : public FrontEnd {
 public:
  void MarkProgram(const std::filesystem::path& file) override;
  std::string ShowCp932(const std::string& cp932) override;
  std::string ShowPath(const std::filesystem::path& path) override { return path.string(); }
  std::filesystem::path ProgramFolder() override;
};

}  // namespace packer
