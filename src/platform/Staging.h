// Staged writing of a patch into the game folder: every file goes to a
// temporary file in its own folder first; only when all are complete are the
// originals replaced, each kept aside until the end, and any failure puts the
// folder back exactly as it was.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/OutputSink.h"

namespace filesys {

class Staging {
 public:
  // `patchPaths` are the final paths the patch writes; no temporary name is
  // ever one of them.
  explicit Staging(const std::vector<std::string>& patchPaths);
  ~Staging();  // rolls back unless committed
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Creates every missing level of `folder`, remembering each to remove it on
  // roll-back; true when `folder` is an existing folder afterwards.
  bool MakeFolder(const std::string& folder);
  // A new temporary file that will become `finalPath`. Null when it cannot be
  // created, or when `finalPath` is a folder or a read-only file (an original
  // that could not be replaced). A later output for the same path (compared
  // as Windows compares names) replaces an earlier one.
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& finalPath);
  // True when an earlier output was opened for `finalPath` (compared as
  // Windows compares names): opening another deletes that one's file.
  bool Stages(const std::string& finalPath) const;
  // Puts every staged file in place and removes the kept-aside originals.
  // False when one cannot be put in place; everything is rolled back then.
  bool Commit();
  // Removes every temporary file and created folder and restores every
  // original already replaced. Safe to call more than once. Temporary and
  // kept-aside files are named "~ps" + five hex digits + ".tmp" or ".old".
  void Rollback();

 private:
  struct Item {
    std::wstring finalPath, tempPath, keptPath;
    bool original = false;  // a file stood at finalPath when it was staged
    bool placed = false;
  };
  std::wstring FreeName(const std::wstring& folder, const wchar_t* extension);
  static std::wstring Key(const std::wstring& path);

  std::set<std::wstring> reserved_;  // keys of the patch's own paths
  std::vector<std::wstring> createdFolders_;
  std::vector<Item> items_;
  std::map<std::wstring, size_t> byKey_;
  unsigned counter_;
  bool finished_ = false;
};

}  // namespace filesys
