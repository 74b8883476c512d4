// Program entry: locks down where DLLs come from, creates the three windows in
// their fixed order and runs the message loop until the setup window closes.
// The program ends with the exit code the setup window left (1 after M3).
#include <windows.h>

#include <commctrl.h>

#include "forms/Forms.h"
#include "run/Texts.h"
#include "ui/Compress.h"
#include "ui/PatchSetup.h"
#include "ui/WaitDialog.h"

namespace {

// An installer runs from the Downloads folder: a DLL planted beside it must
// never be loaded. Only System32 is searched from here on.
void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using SetDirs = BOOL(WINAPI*)(DWORD);
  auto setDefaultDllDirectories =
      reinterpret_cast<SetDirs>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");  // older systems: at least drop the current directory
  }
}

// comctl32 is not one of the DLLs Windows always takes from System32, so it is
// not imported but loaded here, after the search was restricted.
void LoadCommonControls() {
  HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!comctl) return;
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    init(&icc);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearch();
  // No "insert a disk" boxes when a drive without a medium is looked at.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  LoadCommonControls();

  forms::TApplication application;
  try {
    application.Initialize();
    application.SetTitle(texts::kApplicationTitle);
    application.CreateForm(InstallForm);
    application.CreateForm(CompressForm);
    application.CreateForm(WaitForm);
    application.Run();
  } catch (...) {
    application.HandleException();
  }
  return application.ExitCode();
}
