#include "engine/OutputSink.h"

namespace archive {

StdioSink::~StdioSink() {
  if (file_ != nullptr) std::fclose(file_);
}

bool StdioSink::Write(const uint8_t* data, size_t size) {
  return file_ != nullptr && std::fwrite(data, 1, size, file_) == size;
}

bool StdioSink::Close() {
  if (file_ == nullptr) return false;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

}  // namespace archive
