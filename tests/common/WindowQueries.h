// Looking at windows from a test, in its own process or in another: classes,
// texts, rectangles, children and dialog boxes; and running a message loop
// for a while.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testwin {

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

inline std::wstring TextOf(HWND hwnd) {
  // WM_GETTEXT works across processes; GetWindowText does not for controls.
  const LRESULT n = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

inline LONG Style(HWND hwnd) { return GetWindowLongW(hwnd, GWL_STYLE); }
inline LONG ExStyle(HWND hwnd) { return GetWindowLongW(hwnd, GWL_EXSTYLE); }

inline RECT WindowRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

// In the parent's client coordinates for a child; on the screen otherwise.
inline RECT ClientRectOf(HWND hwnd) {
  RECT r = WindowRectOf(hwnd);
  if (HWND parent = GetParent(hwnd)) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

// The first direct child of the class (and text, unless empty) given.
inline HWND Child(HWND parent, const std::wstring& className, const std::wstring& text = L"") {
  for (HWND c : Children(parent)) {
    if (_wcsicmp(ClassOf(c).c_str(), className.c_str()) == 0 && (text.empty() || TextOf(c) == text)) return c;
  }
  return nullptr;
}

// The first direct child with this text, of any class.
inline HWND ChildWithText(HWND parent, const std::wstring& text) {
  for (HWND c : Children(parent))
    if (TextOf(c) == text) return c;
  return nullptr;
}

// A dialog box: the framework's message box, the error box or a question.
struct Box {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;                  // the message (all static texts joined)
  std::vector<std::wstring> buttons;  // visible buttons' captions, in window order
  bool hasIcon = false;
};

inline Box ReadBox(HWND dialog) {
  Box box;
  box.hwnd = dialog;
  box.caption = TextOf(dialog);
  for (HWND c : Children(dialog)) {
    const std::wstring cls = ClassOf(c);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      if ((Style(c) & SS_TYPEMASK) == SS_ICON) {
        box.hasIcon = true;
      } else {
        box.text += TextOf(c);
      }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
      box.buttons.push_back(TextOf(c));
    }
  }
  return box;
}

namespace detail {
struct BoxSearch {
  DWORD pid;
  HWND box;
};
// EnumWindows' callback of VisibleBox: a function, since on i686 a lambda
// does not convert to the stdcall pointer Windows calls.
inline BOOL CALLBACK FindVisibleBox(HWND hwnd, LPARAM lp) noexcept {
  auto* s = reinterpret_cast<BoxSearch*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (owner != s->pid || !IsWindowVisible(hwnd) || wcscmp(cls, L"#32770") != 0) return TRUE;
  s->box = hwnd;
  return FALSE;
}
}  // namespace detail

// A visible dialog box (#32770) of the process `pid`; nullptr when none shows.
inline HWND VisibleBox(DWORD pid) {
  detail::BoxSearch search{pid, nullptr};
  EnumWindows(detail::FindVisibleBox, reinterpret_cast<LPARAM>(&search));
  return search.box;
}

// Lets `app` (the framework's application) handle what is queued, `rounds`
// times 10 ms apart, so that posted clicks and paints have been handled.
template <class App>
void Pump(App& app, int rounds = 10) {
  for (int i = 0; i < rounds; ++i) {
    while (app.ProcessMessage()) {
    }
    Sleep(10);
  }
}

}  // namespace testwin
