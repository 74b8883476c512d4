#include "packlib/RandomFile.h"

#include "packlib/HostNames.h"

namespace packer {
namespace {

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool LengthOf(std::FILE* file, uint64_t& length) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return false;
  const __int64 end = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(file);
#endif
  if (end < 0) return false;
  length = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

std::unique_ptr<InputFile> InputFile::Open(const std::filesystem::path& path) {
  std::FILE* file = OpenFile(path, "rb");
  uint64_t length = 0;
  if (file == nullptr) return nullptr;
  if (!LengthOf(file, length)) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<InputFile>(new InputFile(file, length));
}

InputFile::~InputFile() { std::fclose(file_); }

bool InputFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) {
  if (offset > length_ || size > length_ - offset) return false;
  return size == 0 || (SeekTo(file_, offset) && std::fread(buffer, 1, size, file_) == size);
}

std::unique_ptr<OutputFile> OutputFile::Create(const std::filesystem::path& path) {
  std::FILE* file = OpenFile(path, "wb");
  return file == nullptr ? nullptr : std::unique_ptr<OutputFile>(new OutputFile(file));
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool OutputFile::Write(const uint8_t* data, size_t size) {
  failed_ = failed_ || std::fwrite(data, 1, size, file_) != size;
  return !failed_;
}

bool OutputFile::Overwrite(uint64_t offset, const uint8_t* data, size_t size) {
#ifdef _WIN32
  const __int64 end = _ftelli64(file_);
#else
  const off_t end = ftello(file_);
#endif
  failed_ = failed_ || end < 0 || !SeekTo(file_, offset) || std::fwrite(data, 1, size, file_) != size ||
            !SeekTo(file_, static_cast<uint64_t>(end));
  return !failed_;
}

bool OutputFile::Close() {
  const bool synced = SyncFile(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return synced && closed && !failed_;
}

}  // namespace packer
