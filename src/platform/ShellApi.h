// The shell calls behind TShellLink. Kept in their own unit: the shell's
// headers declare a class named ShellLink, the name of our global instance.
// Part of the Shelllink unit (see Shelllink.h).
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// CSIDL value of the folder that holds the user's own desktop items.
constexpr int kDesktopDirectory = 0x0010;
// CSIDL value of the folder that holds the desktop items of every user.
constexpr int kCommonDesktopDirectory = 0x0019;

// The file-system path of a special folder; false when there is none.
bool SpecialFolderPath(HWND owner, int folder, std::wstring& path);

// The desktop folder of the user whose shell (the desktop and the taskbar)
// runs, when that user is not the one this program runs as: the player who
// started it, when Windows asked for an administrator's password to elevate
// it. False when it is the same user, or when there is no shell or it cannot
// be asked.
bool ShellUserDesktop(std::wstring& path);

// Saves a shortcut file; false when it could not be saved.
bool SaveShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingDir);

}  // namespace platform
