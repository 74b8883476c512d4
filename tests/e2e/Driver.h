// Works a running PatchSetup.exe from outside, as a user would: finds its
// windows, reads their texts and rectangles, presses buttons, answers boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "WindowQueries.h"

namespace e2e {

using testwin::Box;
using testwin::Child;
using testwin::Children;
using testwin::ClassOf;
using testwin::ClientRectOf;
using testwin::TextOf;
using testwin::WindowRectOf;

class Installer {
 public:
  // Starts the program with the given show value (STARTUPINFO.wShowWindow).
  explicit Installer(const std::wstring& exePath, int show = SW_SHOWNORMAL);
  ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  DWORD Pid() const { return pi_.dwProcessId; }
  // Top-level windows of the process; `visibleOnly` leaves hidden ones out.
  std::vector<HWND> TopLevel(bool visibleOnly = false) const;
  HWND Find(const std::wstring& className, bool visibleOnly = false) const;
  // Waits until a top-level window of the class exists (and is visible).
  HWND Wait(const std::wstring& className, bool visible = true, DWORD timeoutMs = 20000) const;
  // The main window once shown, with its Edit1 and buttons.
  HWND SetupWindow() const { return Wait(L"TInstallForm"); }

  // Waits for a dialog box of the process and reads it.
  Box WaitBox(DWORD timeoutMs = 60000) const;
  static Box ReadBox(HWND dialog) { return testwin::ReadBox(dialog); }
  // Presses the box's button with this caption.
  static void Answer(const Box& box, const std::wstring& button);

  // Presses a button (posted, so a handler that opens a box does not block us).
  static void Click(HWND button);
  static void SetText(HWND control, const std::wstring& text);

  // Waits for the process to end; false on time-out.
  bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
  bool Running() const;

 private:
  PROCESS_INFORMATION pi_{};
};

// Sleeps in small steps until `done` returns true or the time is up.
template <class F>
bool WaitFor(F done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

// Files and folders for a test: everything below C:\e2e\<name>\.
std::wstring TestRoot(const std::wstring& name);  // created empty
void RemoveTree(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
// The path of the PatchSetup.exe under test (environment PS_PATCHSETUP).
std::wstring ProgramUnderTest(const wchar_t* variable = L"PS_PATCHSETUP");
// The user's desktop folder, as the shell gives it.
std::wstring DesktopFolder();
// The public desktop folder (every user's desktop items).
std::wstring PublicDesktopFolder();
// Entries of a desktop folder whose names start with the game title.
std::vector<std::wstring> GameShortcuts(const std::wstring& desktop = DesktopFolder());
// Removes them from the user's and from the public desktop.
void ClearGameShortcuts();
// Saves a screenshot-free record of the top-level windows (for failures).
std::wstring DescribeWindows(const Installer& installer);

}  // namespace e2e
