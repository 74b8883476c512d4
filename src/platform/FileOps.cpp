#include "platform/FileOps.h"

#include <windows.h>

#include "platform/Exceptions.h"
#include "text/PathRules.h"
#include "text/Wide.h"

namespace platform {

using text::Wide;

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFile(const std::string& path) {
  // A wildcard search would let '*' and '?' match other names, and its time
  // conversion rejected files stamped before 1980; the attribute query of the
  // exact path has neither fault.
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectoryPath(const std::string& dir, std::vector<std::string>* created) {
  if (dir.empty()) throw Exception("ディレクトリを作成することができません");
  const std::string path = pathrules::WithoutTrailingDelimiter(dir);
  if (path.size() < 3 || IsExistingDirectory(path)) return true;
  const std::string parent = pathrules::Parent(path);
  if (parent == path) return true;  // the text ends in ':'
  if (!MakeDirectoryPath(parent, created) || !CreateDirectoryW(Wide(path).c_str(), nullptr)) return false;
  if (created) created->push_back(path);
  return true;
}

bool NarrowExistingPath(std::wstring_view path, std::string& cp932) {
  if (text::NarrowExactly(path, cp932)) return true;
  const std::wstring longPath(path);
  std::wstring shortPath(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetShortPathNameW(longPath.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (n == 0) return false;
    if (n < shortPath.size()) {
      shortPath.resize(n);
      return text::NarrowExactly(shortPath, cp932);
    }
    shortPath.resize(n);
  }
}

}  // namespace platform
