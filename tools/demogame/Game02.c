/* Game02.exe of the demo patch: a stand-in for the game that shows which
   version is installed beside it, so that the desktop shortcut the installer
   renames or creates opens something real. */
#include <windows.h>

#include <wchar.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command, int show) {
  (void)instance, (void)previous, (void)command, (void)show;
  wchar_t path[MAX_PATH + 16];
  const DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  wchar_t version[64] = L"?";
  if (n > 0 && n < MAX_PATH && slash) {
    wcscpy(slash + 1, L"version.txt");
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      char bytes[63];
      DWORD got = 0;
      if (ReadFile(file, bytes, sizeof bytes, &got, NULL)) {
        DWORD end = 0;
        while (end < got && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        const int chars = MultiByteToWideChar(932, 0, bytes, (int)end, version, 63);
        version[chars] = L'\0';
      }
      CloseHandle(file);
    }
  }
  wchar_t text[160];
  swprintf(text, 160, L"0(カリオン)のAster 体験版\nバージョン %ls", version);
  MessageBoxW(NULL, text, L"0(カリオン)のAster", MB_OK | MB_ICONINFORMATION);
  return 0;
}
