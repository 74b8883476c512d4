#include "support/Library.h"

#include <cstdio>

#include "forms/Wide.h"
#include "support/LineRules.h"

TLibrary* TextLibrary = nullptr;

int TLibrary::ReadLines(std::string FileName, std::string* Lines, std::uint32_t MaxLines, const char* Mode) {
  // The file is read as raw bytes; the text-mode rules are applied here, not by
  // the C runtime, whose text mode treats CR and Ctrl-Z differently.
  if (FileName.empty()) return 0;
  std::FILE* file = _wfopen(forms::Wide(FileName).c_str(), L"rb");
  if (!file) return 0;
  const int n = support::ReadLinesFrom([file] { return std::getc(file); }, Lines, MaxLines, Mode);
  std::fclose(file);
  return n;
}

int TLibrary::ReplaceFirst(std::string& Text, std::string From, std::string To) {
  return support::ReplaceFirst(Text, From, To);
}
