#include "platform/Shelllink.h"

#include "platform/FileOps.h"
#include "platform/ShellApi.h"
#include "text/Wide.h"

namespace platform {

bool TShellLink::GetSpecialFolderPath(HWND Owner, int Folder, std::string& Path) {
  std::wstring path;
  // A folder that CP932 cannot name, in neither form, is no folder to act on.
  return SpecialFolderPath(Owner, Folder, path) && NarrowExistingPath(path, Path);
}

bool TShellLink::GetShellUserDesktop(std::string& Path) {
  std::wstring path;
  return ShellUserDesktop(path) && NarrowExistingPath(path, Path);
}

bool TShellLink::CreateLink(const std::string& LinkPath, const std::string& Target, const std::string& WorkingDir) {
  return SaveShortcut(text::Wide(LinkPath), text::Wide(Target), text::Wide(WorkingDir));
}

}  // namespace platform
