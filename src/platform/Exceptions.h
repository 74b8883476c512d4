// The framework's exception classes. Messages are CP932 byte strings.
//
// Handlers let these escape; every window and dialog procedure catches them at
// its boundary and hands them to TApplication::ShowException, because a C++
// exception must never unwind through Win32 frames.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Silent: the framework shows nothing for it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// A drive or folder that cannot be entered, a file that cannot be read.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, unsigned long code) : Exception(message), ErrorCode(code) {}
  unsigned long ErrorCode;
};

}  // namespace platform
