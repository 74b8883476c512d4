// Small patch archives made by the tests, and programs that carry them.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct ArchiveFile {
  std::string name;  // CP932, '\' separators
  std::string data;
};

// An archive in the carried format whose streams are all literals (valid for
// the decoder, no compression needed for a test).
std::string MakeArchive(const std::vector<ArchiveFile>& files);

// Replaces the carried archive of a copied program.
bool ReplaceCarriedArchive(const std::wstring& exePath, const std::string& archive);

// CP932 bytes as UTF-16.
std::wstring FromCp932(const std::string& bytes);

}  // namespace e2e
