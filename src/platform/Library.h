// TLibrary: the text helpers of the setup window.
// The Library unit: this file and text/LineRules (its portable byte rules).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class TLibrary {
 public:
  virtual ~TLibrary() = default;
  // Reads the first `MaxLines` lines of a file into Lines[0..] (appending).
  // Mode "rt" reads text; "rb" reads a file whose bytes are stored inverted.
  // Returns the number of line feeds read; 0 when the file cannot be opened.
  int ReadLines(std::string FileName, std::string* Lines, std::uint32_t MaxLines, const char* Mode);
  // Replaces the first occurrence of From in Text; 1 if it did, else 0.
  int ReplaceFirst(std::string& Text, std::string From, std::string To);
};

}  // namespace platform
