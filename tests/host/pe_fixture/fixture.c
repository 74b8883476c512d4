/* A small Windows program whose resources are shaped like the installer's:
   what the host tests of the resource writer work on. It exits with 0 when
   it finds its archive resource. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command, int show) {
  (void)previous, (void)command, (void)show;
  return FindResourceW(instance, L"KASTER", L"SMF") ? 0 : 1;
}
