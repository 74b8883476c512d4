#include "BoxWatcher.h"

namespace wintest {

namespace {

struct Found {
  DWORD pid;
  HWND box;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp) noexcept {
  auto* f = reinterpret_cast<Found*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (pid == f->pid && IsWindowVisible(hwnd) && wcscmp(cls, L"#32770") == 0) {
    f->box = hwnd;
    return FALSE;
  }
  return TRUE;
}

std::wstring Text(HWND hwnd) {
  wchar_t buffer[4096] = {};
  SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

}  // namespace

BoxWatcher::BoxWatcher(bool escape) : escape_(escape), thread_([this]() noexcept { Run(); }) {}

BoxWatcher::~BoxWatcher() {
  stop_ = true;
  thread_.join();
}

std::vector<SeenBox> BoxWatcher::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

void BoxWatcher::Run() {
  while (!stop_) {
    Found f{GetCurrentProcessId(), nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&f));
    if (!f.box) {
      Sleep(30);
      continue;
    }
    Sleep(100);  // let it finish laying itself out
    SeenBox seen;
    seen.caption = Text(f.box);
    GetWindowRect(f.box, &seen.rect);
    for (HWND c = GetWindow(f.box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t cls[64] = {};
      GetClassNameW(c, cls, 64);
      const LONG style = GetWindowLongW(c, GWL_STYLE);
      if (_wcsicmp(cls, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
          seen.hasIcon = true;
        } else {
          seen.text += Text(c);
        }
      } else if (_wcsicmp(cls, L"Button") == 0) {
        ++seen.buttons;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(seen);
    }
    // Keys as a user would press them: Enter takes the default button.
    PostMessageW(f.box, WM_KEYDOWN, escape_ ? VK_ESCAPE : VK_RETURN, 0);
    PostMessageW(f.box, WM_KEYUP, escape_ ? VK_ESCAPE : VK_RETURN, 0);
    for (int i = 0; i < 100 && IsWindow(f.box) && IsWindowVisible(f.box); ++i) Sleep(20);
  }
}

}  // namespace wintest
