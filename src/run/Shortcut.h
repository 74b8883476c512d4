// The step after a patch run has placed its files: the game's desktop
// shortcut renamed to carry the new version.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Shelllink.h"
#include "run/Outcome.h"

namespace patchrun {

// The version line becomes part of the shortcut's name: only when it can stand
// in a file name as it is, so the shortcut never leaves its folder. The game's
// shortcut is looked for on the player's desktop (the shell's user's, when
// the program runs as another), then on the public desktop (where an
// installation for every user puts it), and renamed where it is. Without one,
// a shortcut of that name is made on the player's desktop.
// kDone, kRenameFailed (M5), kCreated (M6) or kNoShortcut (M7).
Outcome UpdateShortcut(platform::TShellLink& shell, const std::string& target, const std::string& version, HWND owner);

}  // namespace patchrun
