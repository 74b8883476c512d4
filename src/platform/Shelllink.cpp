#include "platform/Shelllink.h"

#include "platform/ShellApi.h"
#include "text/Wide.h"

bool TShellLink::GetSpecialFolderPath(HWND Owner, int Folder, std::string& Path) {
  std::wstring path;
  if (!shellapi::SpecialFolderPath(Owner, Folder, path)) return false;
  // A folder that CP932 cannot name exactly is no folder to act on.
  return text::NarrowExactly(path, Path);
}

bool TShellLink::CreateLink(const std::string& LinkPath, const std::string& Target, const std::string& WorkingDir) {
  return shellapi::SaveShortcut(text::Wide(LinkPath), text::Wide(Target), text::Wide(WorkingDir));
}
