// A fresh folder per test under the system's temporary folder.
#pragma once

#include <windows.h>

#include <string>

#include "text/Wide.h"

namespace wintest {

// CP932 path of a new empty folder; removed again when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& name);
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

void RemoveTree(const std::wstring& path);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);

}  // namespace wintest
