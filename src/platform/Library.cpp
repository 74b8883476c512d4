#include "platform/Library.h"

#include <cstdio>
#include <memory>

#include "text/LineRules.h"
#include "text/Wide.h"

namespace platform {

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
}  // namespace

int TLibrary::ReadLines(std::string FileName, std::string* Lines, std::uint32_t MaxLines, const char* Mode) {
  // The file is read as raw bytes; the text-mode rules are applied here, not by
  // the C runtime, whose text mode treats CR and Ctrl-Z differently.
  if (FileName.empty()) return 0;
  const std::unique_ptr<std::FILE, FileCloser> file(_wfopen(text::Wide(FileName).c_str(), L"rb"));
  if (!file) return 0;
  return text::ReadLinesFrom([&file] { return std::getc(file.get()); }, Lines, MaxLines, Mode);
}

int TLibrary::ReplaceFirst(std::string& Text, std::string From, std::string To) {
  return text::ReplaceFirst(Text, From, To);
}

}  // namespace platform
