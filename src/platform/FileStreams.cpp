#include "platform/FileStreams.h"

#include "text/Wide.h"

namespace platform {

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

}  // namespace platform
