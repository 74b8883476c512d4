#include "support/Shelllink.h"

#include "forms/Wide.h"
#include "support/ShellApi.h"

std::unique_ptr<TShellLink> ShellLink;

bool TShellLink::GetSpecialFolderPath(HWND Owner, int Folder, std::string& Path) {
  std::wstring path;
  if (!shellapi::SpecialFolderPath(Owner, Folder, path)) return false;
  // A folder that CP932 cannot name exactly is no folder to act on.
  return forms::NarrowExactly(path, Path);
}

bool TShellLink::CreateLink(const std::string& LinkPath, const std::string& Target, const std::string& WorkingDir) {
  return shellapi::SaveShortcut(forms::Wide(LinkPath), forms::Wide(Target), forms::Wide(WorkingDir));
}
