#include "platform/Staging.h"

#include <windows.h>


#include "platform/FileOps.h"
#include "platform/FileStreams.h"
#include "text/Wide.h"

namespace filesys {
namespace {

constexpr wchar_t kPrefix[] = L"~ps";

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

Staging::Staging(const std::vector<std::string>& patchPaths)
    // A different start per process keeps two runs side by side apart.
    : counter_((GetCurrentProcessId() * 2654435761u) & 0xFFFFF) {
  for (const std::string& p : patchPaths) reserved_.insert(Key(text::Wide(p)));
}

Staging::~Staging() {
  if (!finished_) Rollback();
}

std::wstring Staging::Key(const std::wstring& path) {
  // Windows compares file names without regard to case.
  std::wstring key = path;
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

// "~ps" + five hex digits + extension: 12 characters, so a file staged in a
// folder never needs a much longer path than the file itself.
std::wstring Staging::FreeName(const std::wstring& folder, const wchar_t* extension) {
  for (;;) {
    std::wstring path = folder + kPrefix;
    for (int shift = 16; shift >= 0; shift -= 4) path += L"0123456789abcdef"[(counter_ >> shift) & 0xF];
    path += extension;
    counter_ = (counter_ + 1) & 0xFFFFF;
    if (!reserved_.count(Key(path))) return path;
  }
}

bool Staging::MakeFolder(const std::string& folder) {
  std::vector<std::string> created;
  try {
    MakeDirectoryPath(folder, &created);
  } catch (const std::exception&) {
    // A relative name without a parent: nothing was created.
  }
  for (const std::string& level : created) createdFolders_.push_back(text::Wide(level));
  return IsExistingDirectory(folder);
}

bool Staging::Stages(const std::string& finalPath) const {
  return byKey_.count(Key(text::Wide(finalPath))) > 0;
}

std::unique_ptr<archive::OutputSink> Staging::OpenOutput(const std::string& finalPath) {
  const std::wstring target = text::Wide(finalPath);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    return nullptr;
  }
  // The temporary file is created exclusively: an existing name, whoever's,
  // is never opened; the next free one is taken.
  const std::wstring folder = FolderOf(target);
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::wstring temp = FreeName(folder, L".tmp");
    auto sink = FileSink::Create(temp, FileSink::kCreateNew);
    if (!sink) {
      if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    const std::wstring key = Key(target);
    if (auto found = byKey_.find(key); found != byKey_.end()) {
      // The last record of a name wins: its earlier temporary file goes.
      Item& earlier = items_[found->second];
      DeleteFileW(earlier.tempPath.c_str());
      earlier.tempPath = temp;
    } else {
      byKey_.emplace(key, items_.size());
      items_.push_back({target, temp, {}, attributes != INVALID_FILE_ATTRIBUTES});
    }
    return sink;
  }
  return nullptr;
}

bool Staging::Commit() {
  if (finished_) return false;
  for (Item& item : items_) {
    if (item.original) {
      // The original is renamed aside, not overwritten: a file in use or
      // locked refuses the rename, and nothing has changed yet. (A file that
      // appeared since it was staged makes the rename below fail: roll-back.)
      bool kept = false;
      for (int attempt = 0; attempt < 64 && !kept; ++attempt) {
        const std::wstring aside = FreeName(FolderOf(item.finalPath), L".old");
        if (MoveFileExW(item.finalPath.c_str(), aside.c_str(), 0)) {
          item.keptPath = aside;
          kept = true;
        } else if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
          break;
        }
      }
      if (!kept) {
        Rollback();
        return false;
      }
    }
    if (!MoveFileExW(item.tempPath.c_str(), item.finalPath.c_str(), 0)) {
      Rollback();
      return false;
    }
    item.placed = true;
  }
  finished_ = true;
  for (const Item& item : items_)
    if (!item.keptPath.empty()) DeleteFileW(item.keptPath.c_str());
  return true;
}

void Staging::Rollback() {
  if (finished_) return;
  finished_ = true;
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (!it->keptPath.empty()) {
      // The original returns, replacing the new file if that was placed.
      MoveFileExW(it->keptPath.c_str(), it->finalPath.c_str(), MOVEFILE_REPLACE_EXISTING);
    } else if (it->placed) {
      DeleteFileW(it->finalPath.c_str());
    }
    if (!it->placed) DeleteFileW(it->tempPath.c_str());
  }
  for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) RemoveDirectoryW(it->c_str());
}

}  // namespace filesys
