#include "platform/ShellApi.h"

#include <shlobj.h>

#include "platform/Com.h"
#include "platform/Handles.h"

namespace platform {

bool SpecialFolderPath(HWND owner, int folder, std::wstring& path) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, folder, &list))) return false;
  const CoTaskMem<ITEMIDLIST> owned(list);  // freed whether or not the conversion works
  wchar_t buffer[MAX_PATH] = {};
  const BOOL ok = SHGetPathFromIDListW(list, buffer);
  // Some shells hand back a parsing name ("::{…}") for a virtual folder
  // instead of failing; that is no file-system path.
  if (!ok || (buffer[0] == L':' && buffer[1] == L':')) return false;
  path = buffer;
  return true;
}

namespace {

// Whether two access tokens belong to the same user.
bool SameUser(HANDLE a, HANDLE b) {
  // TOKEN_USER is followed by its SID: room for the largest SID there is.
  alignas(TOKEN_USER) BYTE bufferA[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  alignas(TOKEN_USER) BYTE bufferB[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(a, TokenUser, bufferA, sizeof bufferA, &size) ||
      !GetTokenInformation(b, TokenUser, bufferB, sizeof bufferB, &size)) {
    return true;  // not told apart: treated as one user, as before
  }
  return EqualSid(reinterpret_cast<TOKEN_USER*>(bufferA)->User.Sid, reinterpret_cast<TOKEN_USER*>(bufferB)->User.Sid);
}

}  // namespace

bool ShellUserDesktop(std::wstring& path) {
  const HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (!shell || !GetWindowThreadProcessId(shell, &processId) || processId == 0) return false;
  const FileHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  HANDLE token = nullptr, ownToken = nullptr;
  // The known-folder lookup for another user needs a token it may query and
  // impersonate, and at times duplicate; the right to duplicate is asked for
  // only where it is given.
  if (!process) return false;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, &token) &&
      !OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_IMPERSONATE, &token)) {
    return false;
  }
  const FileHandle shellToken(token);
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &ownToken)) return false;
  const FileHandle programToken(ownToken);
  if (SameUser(shellToken.get(), programToken.get())) return false;
  PWSTR found = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_Desktop, 0, shellToken.get(), &found);
  const CoTaskMem<wchar_t> owned(found);  // freed on failure as well
  if (FAILED(result) || !found) return false;
  path = found;
  return true;
}

bool SaveShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingDir) {
  const ComApartment apartment;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out())))
    return false;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingDir.c_str());
  link->SetIconLocation(target.c_str(), 0);
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return false;
  return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

}  // namespace platform
