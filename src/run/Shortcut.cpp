#include "run/Shortcut.h"

#include "platform/Handles.h"
#include "platform/ShellApi.h"
#include "run/Texts.h"
#include "text/LineRules.h"
#include "text/Wide.h"

using platform::TShellLink;

namespace patchrun {

Outcome UpdateShortcut(TShellLink& shell, const std::string& target, const std::string& version, HWND owner) {
  const bool usable = text::IsNamePart(version);
  const std::string newName = texts::kGameTitle + version + texts::kShortcutExtension;
  Outcome renamed = Outcome::kRenameFailed;
  // Renames the first match in `folder` within that folder; false when there is none.
  const auto renameIn = [&](const std::string& folder) {
    const std::wstring pattern =
        text::Wide(folder + "\\" + texts::kGameTitle + "*" + texts::kShortcutExtension);
    WIN32_FIND_DATAW found;
    // Only the first match is wanted: the search closes at once.
    if (!platform::FindHandle(FindFirstFileW(pattern.c_str(), &found))) return false;
    std::string foundName;
    if (!usable || !text::NarrowExactly(found.cFileName, foundName)) return true;
    if (MoveFileW(text::Wide(folder + "\\" + foundName).c_str(), text::Wide(folder + "\\" + newName).c_str())) {
      renamed = Outcome::kDone;
    }
    return true;
  };
  // Run as an administrator other than the player, the player's own desktop
  // is the one to look at and make the shortcut on, not the administrator's.
  std::string desktop(260, ' ');
  const bool hasDesktop = shell.GetShellUserDesktop(desktop) ||
                          shell.GetSpecialFolderPath(owner, platform::kDesktopDirectory, desktop);
  if (hasDesktop && renameIn(desktop)) return renamed;
  std::string publicDesktop(260, ' ');
  if (shell.GetSpecialFolderPath(owner, platform::kCommonDesktopDirectory, publicDesktop) &&
      renameIn(publicDesktop)) {
    return renamed;
  }
  // No shortcut to rename: make the one the message promises on the user's
  // desktop, pointing at the game.
  if (hasDesktop && usable && shell.CreateLink(desktop + "\\" + newName, target + texts::kGameProgram, target)) {
    return Outcome::kCreated;
  }
  return Outcome::kNoShortcut;
}

}  // namespace patchrun
