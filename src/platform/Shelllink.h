// TShellLink: the shell's special folders and shortcuts.
// The Shelllink unit: this file and ShellApi (the shell calls themselves).
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// Its members are virtual so that a test can play another desktop or another
// user, which Wine cannot show.
class TShellLink {
 public:
  virtual ~TShellLink() = default;
  // Sets Path to the file-system path of a special folder (a CSIDL value) and
  // returns true; returns false and leaves Path alone when the shell has none.
  // A path without an exact CP932 form is given in its short form.
  virtual bool GetSpecialFolderPath(HWND Owner, int Folder, std::string& Path);
  // Sets Path to the desktop folder of the player whose shell runs, when the
  // program runs as another user (elevated with an administrator's password),
  // and returns true; false and Path alone when it runs as the shell's user
  // or that user's desktop cannot be found.
  virtual bool GetShellUserDesktop(std::string& Path);
  // Creates a shortcut file at LinkPath to Target, starting in WorkingDir,
  // showing Target's icon. False when it could not be saved.
  virtual bool CreateLink(const std::string& LinkPath, const std::string& Target, const std::string& WorkingDir);
};

}  // namespace platform
