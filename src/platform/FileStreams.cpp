#include "platform/FileStreams.h"

#include "platform/Disk.h"
#include "text/Wide.h"

namespace filesys {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
  HANDLE h = CreateFileW(text::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<FileSource>(h);
}

size_t FileSource::ReadSome(uint8_t* buffer, size_t size) {
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(handle_.get(), buffer, want, &got, nullptr)) return 0;
  return got;
}

uint64_t FileSource::Length() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(handle_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool FileSource::Rewind() {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(handle_.get(), zero, nullptr, FILE_BEGIN);
}

bool FileSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle_.get(), at, nullptr, FILE_BEGIN)) return false;
  while (size > 0) {
    const size_t n = ReadSome(buffer, size);
    if (n == 0) return false;
    buffer += n;
    size -= n;
  }
  return true;
}

std::unique_ptr<FileSink> FileSink::Create(const std::string& path, Disposition disposition) {
  return Create(text::Wide(path), disposition);
}

std::unique_ptr<FileSink> FileSink::Create(const std::wstring& path, Disposition disposition) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<FileSink>(new FileSink(h));
}

FileSink::~FileSink() { Close(); }

bool FileSink::Write(const uint8_t* data, size_t size) { return Disk::System().Write(handle_.get(), data, size); }

bool FileSink::Close() {
  if (!handle_) return true;
  return CloseHandle(handle_.release());
}

}  // namespace filesys
