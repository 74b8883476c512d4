// The file and folder operations shared by the whole program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when `path` names an existing directory (a trailing '\' is accepted).
// False for the empty path, a file, or anything that cannot be queried.
bool IsExistingDirectory(const std::string& path);

// True exactly when an entry that is not a directory exists at `path`.
// The path is taken literally: '*' and '?' match nothing, and a file's time
// stamp plays no part.
bool IsExistingFile(const std::string& path);

// Creates `dir` and every missing level above it, outermost first. Returns
// whether the last level was created (or already existed); a level that cannot
// be created gives false. Raises Exception("ディレクトリを作成することができません")
// for the empty path and for a relative name without a parent. Each level it
// creates is appended to `created` (outermost first) when that is given.
bool MakeDirectoryPath(const std::string& dir, std::vector<std::string>* created = nullptr);

// The program's CP932 form of an existing path the system gave: the path
// itself when CP932 holds every character exactly, else its short form (the
// 8.3 names in plain characters that Windows gives most folders) when that does.
// False, with `cp932` unchanged, when neither does: a look-alike would name
// another file.
bool NarrowExistingPath(std::wstring_view path, std::string& cp932);

}  // namespace platform
