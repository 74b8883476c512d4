// The program's windows as a player sees them, the numbers the Windows and
// the end-to-end tests hold the running windows against: pixels at 96 dpi,
// scaled to the screen's dpi. Kept apart from the program's own tables, so
// that a wrong number there is caught.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "forms/Gdi.h"

namespace expected {

inline int Dpi() { return GetDeviceCaps(forms::TClientDC(), LOGPIXELSY); }
// A 96-dpi length at the screen's dpi.
inline int S(int designPixels) { return MulDiv(designPixels, Dpi(), 96); }

struct Window {
  const wchar_t* className;
  const wchar_t* caption;
  int width, height;  // outer size of the setup window, client size of the others
};
inline constexpr Window kSetupWindow{L"TInstallForm", L"Setup", 439, 360};
inline constexpr Window kProgressWindow{L"TCompressForm", L"進捗状況", 199, 135};
inline constexpr Window kWaitWindow{L"TWaitForm", L"Please Wait", 233, 92};

struct WindowedControl {
  const char* name;  // the control's name in its form
  const wchar_t* className;
  const wchar_t* text;  // nullptr: not compared (the folder field)
  int left, top, width, height;
  bool visible;
  bool smooth = false;  // progress bars: one continuous bar
};
// The setup window's windowed controls, in tab order but the hidden file list.
inline constexpr WindowedControl kSetupControls[] = {
    {"SetupButton", L"Button", L"修正パッチ当て開始", 286, 172, 135, 35, true},
    {"Button1", L"Button", L"キャンセル", 286, 222, 135, 35, true},
    {"Button2", L"Button", L"参照", 360, 296, 43, 25, true},
    {"Edit1", L"Edit", nullptr, 24, 298, 327, 20, true},
    {"FileListBox1", L"ListBox", L"", 280, 6, 145, 97, false},
};
inline constexpr int kFileListItemHeight = 12;
// The progress window's two bars.
inline constexpr WindowedControl kProgressBars[] = {
    {"FileBar", L"msctls_progress32", L"", 10, 38, 180, 17, false, false},
    {"AllBar", L"msctls_progress32", L"", 10, 94, 180, 17, true, true},
};

// The dpi a run was meant for (PS_EXPECTED_DPI, set by the 144-dpi runs); 0 when any will do.
inline int MeantDpi() {
  const char* value = std::getenv("PS_EXPECTED_DPI");
  return value ? std::atoi(value) : 0;
}

inline void ExpectCentredOver(const RECT& inner, const RECT& outer) {
  EXPECT_NEAR(inner.left - outer.left, outer.right - inner.right, 1);
  EXPECT_NEAR(inner.top - outer.top, outer.bottom - inner.bottom, 1);
}

// A windowed control where the row puts it: position, size and visible flag
// (its own: a control of a hidden window is not "visible" on screen either).
inline void ExpectPlaced(HWND h, const WindowedControl& row) {
  ASSERT_NE(h, nullptr);
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, S(row.left));
  EXPECT_EQ(r.top, S(row.top));
  EXPECT_EQ(r.right - r.left, S(row.width));
  EXPECT_EQ(r.bottom - r.top, S(row.height));
  EXPECT_EQ((GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0, row.visible);
}

}  // namespace expected
