#include "platform/ShellApi.h"

#include <shlobj.h>

#include "platform/Com.h"

namespace shellapi {

bool SpecialFolderPath(HWND owner, int folder, std::wstring& path) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, folder, &list))) return false;
  const support::CoTaskMem<ITEMIDLIST> owned(list);  // freed whether or not the conversion works
  wchar_t buffer[MAX_PATH] = {};
  const BOOL ok = SHGetPathFromIDListW(list, buffer);
  // Some shells hand back a parsing name ("::{…}") for a virtual folder
  // instead of failing; that is no file-system path.
  if (!ok || (buffer[0] == L':' && buffer[1] == L':')) return false;
  path = buffer;
  return true;
}

bool SaveShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingDir) {
  const support::ComApartment apartment;
  support::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out())))
    return false;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingDir.c_str());
  link->SetIconLocation(target.c_str(), 0);
  support::ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return false;
  return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

}  // namespace shellapi
