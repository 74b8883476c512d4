#include "support/ShellApi.h"

#include <objbase.h>
#include <shlobj.h>

namespace shellapi {

bool SpecialFolderPath(HWND owner, int folder, std::wstring& path) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, folder, &list))) return false;
  wchar_t buffer[MAX_PATH] = {};
  const BOOL ok = SHGetPathFromIDListW(list, buffer);
  CoTaskMemFree(list);  // released whether or not the conversion worked
  // Some shells hand back a parsing name ("::{…}") for a virtual folder
  // instead of failing; that is no file-system path.
  if (!ok || (buffer[0] == L':' && buffer[1] == L':')) return false;
  path = buffer;
  return true;
}

bool SaveShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingDir) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool saved = false;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(workingDir.c_str());
    link->SetIconLocation(target.c_str(), 0);
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      saved = SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return saved;
}

}  // namespace shellapi
