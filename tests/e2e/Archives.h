// Small patch archives made by the tests, and programs that carry them.
#pragma once

#include <string>
#include <vector>

#include "LiteralArchive.h"

namespace e2e {

using ArchiveFile = testarchive::File;
inline std::string MakeArchive(const std::vector<ArchiveFile>& files) { return testarchive::LiteralArchive(files); }

// Replaces the carried archive of a copied program.
bool ReplaceCarriedArchive(const std::wstring& exePath, const std::string& archive);

// CP932 bytes as UTF-16.
std::wstring FromCp932(const std::string& bytes);

}  // namespace e2e
