// Owners of kernel handles, closed at the end of their scope: a file (or any
// handle CloseHandle takes) and a FindFirstFile search.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

// Holds one handle and closes it with Traits::Close. Both INVALID_HANDLE_VALUE
// (CreateFile, FindFirstFile) and nullptr (CreateEvent …) mean "none".
template <class Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (*this) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct FileHandleTraits {
  static void Close(HANDLE handle) noexcept { CloseHandle(handle); }
};
struct FindHandleTraits {
  static void Close(HANDLE handle) noexcept { FindClose(handle); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace platform
