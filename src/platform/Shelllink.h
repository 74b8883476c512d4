// TShellLink: the shell's special folders and shortcuts.
// The Shelllink unit: this file and ShellApi (the shell calls themselves).
#pragma once

#include <windows.h>

#include <string>

class TShellLink {
 public:
  // Sets Path to the file-system path of a special folder (a CSIDL value) and
  // returns true; returns false and leaves Path alone when the shell has none.
  bool GetSpecialFolderPath(HWND Owner, int Folder, std::string& Path);
  // Creates a shortcut file at LinkPath to Target, starting in WorkingDir,
  // showing Target's icon. False when it could not be saved.
  bool CreateLink(const std::string& LinkPath, const std::string& Target, const std::string& WorkingDir);
};

