// Extraction into a folder on the packer's system: the engine's paths taken below the folder.
#include "packlib/HostArchive.h"

#include <cstdio>
#include <system_error>

#include "engine/ByteReader.h"
#include "packlib/HostNames.h"
#include "packlib/RandomFile.h"
#include "packlib/RecordShow.h"

namespace fs = std::filesystem;

namespace packer {

bool FolderHost::HostPath(const std::string& enginePath, fs::path& out) const {
  // Every engine path is "." followed by nothing or by "\" and the rest.
  if (enginePath.empty() || enginePath[0] != '.') return false;
  const auto rest = RecordNameToHostPath(std::string_view(enginePath).substr(1));
  if (!rest) return false;
  out = root_ / fs::path(rest->empty() ? std::string() : rest->substr(1));
  return true;
}

bool FolderHost::MakeFolder(const std::string& folderPart) {
  fs::path dir;
  if (!HostPath(folderPart, dir)) return false;
  std::error_code ec;
  fs::create_directories(dir, ec);
  return fs::is_directory(dir, ec);
}

std::unique_ptr<archive::OutputSink> FolderHost::OpenOutput(const std::string& path) {
  fs::path file;
  if (!HostPath(path, file)) return nullptr;
  // A file already there may be an earlier record's of the same name (or one
  // the file system takes for it), still being written: truncating it now
  // would let those blocks land in this one.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) writer_.Finish();
  std::FILE* f = OpenFile(file, "wb");
  if (f == nullptr) return nullptr;
  std::setvbuf(f, nullptr, _IONBF, 0);  // the decoder already hands over 64 KiB blocks
  return writer_.Wrap(std::make_unique<archive::StdioSink>(f), path);
}

void FolderHost::ShowFile(const std::string& outputPath) {
  // The engine shows an ending record without a name as the target itself: no file.
  if (!onFile || outputPath == std::string(kTarget) + "\\") return;
  fs::path file;
  if (HostPath(outputPath, file)) onFile(file.string());
}

void FolderHost::FolderFailed() { error = "cannot create a folder"; }

void FolderHost::Stopped(archive::ExtractStop reason, const std::string& outputPath) {
  error = std::string(Describe(reason)) + ": " + ShowName(outputPath.substr(2));
}

int ExtractArchiveFile(archive::RandomSource& archivePart, const fs::path& folder, std::string& error,
                       const std::function<void(const std::string&)>& onFile) {
  archive::WindowSource source(archivePart, 0, archivePart.Length());
  archive::ByteReader reader(source);
  archive::Ring ring;
  FolderHost host(folder);
  host.onFile = onFile;
  const int count = archive::ExtractArchive(reader, FolderHost::kTarget, ring, host);
  error = host.error;
  return count;
}

int ExtractArchiveFile(const fs::path& archivePath, const fs::path& folder, std::string& error,
                       const std::function<void(const std::string&)>& onFile) {
  const auto in = InputFile::Open(archivePath);
  if (!in) {
    error = archivePath.string() + ": cannot open";
    return -1;
  }
  return ExtractArchiveFile(*in, folder, error, onFile);
}

}  // namespace packer
