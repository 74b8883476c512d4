#include "platform/Situation.h"

#include <windows.h>

#include <restartmanager.h>

#include <algorithm>
#include <cwchar>

#include "platform/Disk.h"
#include "platform/Handles.h"
#include "text/Wide.h"

namespace platform {
namespace {

// NTFS's default, for a volume whose cluster size cannot be read.
constexpr uint64_t kAssumedCluster = 4096;

// Opens the file as replacing it needs: DELETE access meets every holder's
// delete sharing, write access a mapped (running) program image. Returns the
// error, or ERROR_SUCCESS; the handle is closed again at once.
DWORD OpenError(const std::wstring& path) {
  const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file ? ERROR_SUCCESS : GetLastError();
}

// Scanners and indexers hold a fresh file for a moment: that is waited out;
// a real holder is still there after the wait. Any other error (the file
// gone meanwhile …) is the run's to report.
bool InUse(const std::wstring& path) {
  const bool free = Retrying([&] {
    const DWORD error = OpenError(path);
    SetLastError(error);
    return error == ERROR_SUCCESS;
  });
  const DWORD error = GetLastError();
  return !free && (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED);
}

// rstrtmgr.dll is not a Known DLL: only System32's copy may be loaded.
HMODULE RestartManager() {
  static const HMODULE module = [] {
    HMODULE loaded = LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!loaded) {  // Windows 7 without the search flags: the full path
      wchar_t system[MAX_PATH] = {};
      const UINT n = GetSystemDirectoryW(system, MAX_PATH);
      if (n > 0 && n < MAX_PATH - 16) loaded = LoadLibraryW((std::wstring(system) + L"\\rstrtmgr.dll").c_str());
    }
    return loaded;
  }();
  return module;
}

template <class Function>
Function* Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::optional<BlockedOriginal> FindBlockedOriginal(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::wstring wide = text::Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (attributes & FILE_ATTRIBUTE_READONLY) return BlockedOriginal{BlockedOriginal::Why::kReadOnly, path, {}};
    if (InUse(wide)) return BlockedOriginal{BlockedOriginal::Why::kInUse, path, ProgramHolding(path)};
  }
  return std::nullopt;
}

std::string ProgramHolding(const std::string& path) {
  const HMODULE module = RestartManager();
  if (!module) return {};
  const auto start = Resolve<decltype(RmStartSession)>(module, "RmStartSession");
  const auto add = Resolve<decltype(RmRegisterResources)>(module, "RmRegisterResources");
  const auto list = Resolve<decltype(RmGetList)>(module, "RmGetList");
  const auto end = Resolve<decltype(RmEndSession)>(module, "RmEndSession");
  if (!start || !add || !list || !end) return {};

  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return {};
  std::string name;
  const std::wstring wide = text::Wide(path);
  LPCWSTR files[] = {wide.c_str()};
  if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    // The list may grow between calls: a few tries with the size it asks for.
    std::vector<RM_PROCESS_INFO> found(4);
    for (int attempt = 0; attempt < 3; ++attempt) {
      UINT needed = 0, count = static_cast<UINT>(found.size());
      DWORD reasons = 0;
      const DWORD result = list(session, &needed, &count, found.data(), &reasons);
      if (result == ERROR_MORE_DATA && needed > found.size() && needed < 4096) {
        found.resize(needed);
        continue;
      }
      if (result != ERROR_SUCCESS) break;
      for (UINT i = 0; i < std::min<size_t>(count, found.size()) && name.empty(); ++i) {
        WCHAR* app = found[i].strAppName;
        app[CCH_RM_MAX_APP_NAME] = L'\0';
        name = text::Narrow(app);
      }
      break;
    }
  }
  end(session);
  return name;
}

Space StagingSpace(const std::string& folder, const std::vector<uint64_t>& sizes, uint64_t extra) {
  const std::wstring wide = text::Wide(folder);
  std::wstring root(wide.size() + MAX_PATH, L'\0');
  const bool haveRoot = GetVolumePathNameW(wide.c_str(), root.data(), static_cast<DWORD>(root.size()));
  root.resize(haveRoot ? wcslen(root.c_str()) : 0);

  uint64_t cluster = kAssumedCluster;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (haveRoot && GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
      sectorsPerCluster * bytesPerSector > 0) {
    cluster = uint64_t{sectorsPerCluster} * bytesPerSector;
  }
  Space space;
  space.needed = extra;
  for (const uint64_t size : sizes) space.needed += ClusterRounded(size, cluster);

  // The folder first: a share can limit a folder of its own (a folder quota);
  // the volume's root when the folder cannot be asked.
  ULARGE_INTEGER available{};
  if (GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr) ||
      (haveRoot && GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))) {
    space.available = available.QuadPart;
  } else {
    space.available = UINT64_MAX;  // a failed query refuses nothing
  }
  return space;
}

}  // namespace platform
