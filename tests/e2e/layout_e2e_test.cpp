// The windows of the running program, seen from another process: classes,
// texts, rectangles and styles against the layouts' numbers (96 dpi, scaled to
// the screen's dpi). PS_EXPECTED_DPI, when set, is the dpi the run must see.
#include <cstdlib>

#include "ExpectedLayout.h"
#include "Fixture.h"
#include "Screenshot.h"

#include <commctrl.h>

namespace e2e {
namespace {

using expected::Dpi;
using expected::ExpectCentredOver;
using expected::S;
using testwin::ExStyle;
using testwin::Style;

class LayoutSeenFromOutside : public InstallerTest {
 protected:
  void SetUp() override {
    // The program is dpi-aware; so must its observer be, or Windows reports
    // its rectangles scaled to 96 dpi.
    SetProcessDPIAware();
    if (const int meant = expected::MeantDpi()) {
      ASSERT_EQ(Dpi(), meant) << "the run was meant for another dpi";
    }
    InstallerTest::SetUp();
  }
};

TEST_F(LayoutSeenFromOutside, TheSetupWindowAndItsControls) {
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr) << DescribeWindows(app);
  EXPECT_EQ(TextOf(setup), expected::kSetupWindow.caption);
  EXPECT_EQ(TextOf(app.Find(L"TApplication")), kTitle);
  EXPECT_EQ(Style(setup) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_FALSE(Style(setup) & (WS_HSCROLL | WS_VSCROLL));
  EXPECT_FALSE(ExStyle(setup) & WS_EX_TOPMOST);

  const RECT frame = WindowRectOf(setup);
  EXPECT_EQ(frame.right - frame.left, S(expected::kSetupWindow.width));
  EXPECT_EQ(frame.bottom - frame.top, S(expected::kSetupWindow.height));
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ExpectCentredOver(frame, work);

  for (const expected::WindowedControl& row : expected::kSetupControls) {
    SCOPED_TRACE(row.name);
    HWND h = Child(setup, row.className, row.text ? row.text : L"");
    expected::ExpectPlaced(h, row);
    if (std::wstring(row.className) == L"Button") {
      EXPECT_EQ(Style(h) & BS_TYPEMASK, BS_PUSHBUTTON);  // never a default button
    }
  }
  // Only the five windowed controls: labels and the picture are painted by the window.
  EXPECT_EQ(Children(setup).size(), 5u);
  HWND edit = Child(setup, L"Edit");
  EXPECT_TRUE(Style(edit) & ES_READONLY);
  EXPECT_EQ(TextOf(edit), root + L"\\kaster");
  EXPECT_EQ(SendMessageW(Child(setup, L"ListBox"), LB_GETITEMHEIGHT, 0, 0), S(expected::kFileListItemHeight));

  // The focus is on the start button; Tab walks the buttons, then the folder field.
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(setup, nullptr), &gui));
  EXPECT_EQ(gui.hwndFocus, Child(setup, L"Button", kStart));
  const HWND order[] = {Child(setup, L"Button", kStart), Child(setup, L"Button", kCancel),
                        Child(setup, L"Button", L"参照"), edit};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(GetNextDlgTabItem(setup, order[i], FALSE), order[(i + 1) % 4]) << i;

  CloseSetup(app, setup);
}

TEST_F(LayoutSeenFromOutside, TheProgressAndWaitWindowsAreFixedDialogsShownCentredOverTheSetupWindow) {
  const std::wstring game = MakeGame(root + L"\\kaster");
  ASSERT_TRUE(ReplaceCarriedArchive(
      exe, MakeArchive({{"Game02.exe", "new game program"}, {"version.txt", "1.260\r\n"}, {"データ\\表.txt", "x"}})));
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr) << DescribeWindows(app);
  HWND progress = app.Find(expected::kProgressWindow.className);
  HWND wait = app.Find(expected::kWaitWindow.className);
  ASSERT_NE(progress, nullptr);
  ASSERT_NE(wait, nullptr);

  struct Row {
    HWND hwnd;
    const expected::Window& window;
  } rows[] = {{progress, expected::kProgressWindow}, {wait, expected::kWaitWindow}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.window.caption);
    EXPECT_EQ(TextOf(row.hwnd), row.window.caption);
    const LONG style = Style(row.hwnd), ex = ExStyle(row.hwnd);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    RECT client;
    GetClientRect(row.hwnd, &client);
    EXPECT_EQ(client.right, S(row.window.width));
    EXPECT_EQ(client.bottom, S(row.window.height));
  }
  // The wait window has no windowed controls; the progress window its two bars.
  EXPECT_TRUE(Children(wait).empty());
  const std::vector<HWND> bars = Children(progress);
  ASSERT_EQ(bars.size(), 2u);
  // Either order in the window list: tell them apart by their place.
  for (const expected::WindowedControl& row : expected::kProgressBars) {
    SCOPED_TRACE(row.name);
    HWND found = nullptr;
    for (HWND b : bars)
      if (ClientRectOf(b).top == S(row.top)) found = b;
    expected::ExpectPlaced(found, row);
    if (found) {
      EXPECT_EQ(ClassOf(found), row.className);
      EXPECT_EQ((Style(found) & PBS_SMOOTH) != 0, row.smooth);
    }
  }

  // A run shows the wait window, then the progress window. Hidden again, each
  // keeps the place it was shown at: centred over the setup window.
  PressStart(setup);
  const Box box = app.WaitBox(120000);
  ASSERT_NE(box.hwnd, nullptr) << DescribeWindows(app);
  const RECT over = WindowRectOf(setup);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.window.caption);
    ExpectCentredOver(WindowRectOf(row.hwnd), over);
  }
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(app.WaitExit(30000));
}

// Screenshots of the real program into PS_SCREENSHOT_DIR (scripts/screenshots):
// the setup window, then during a run with the carried patch the wait window
// (when caught: it shows only while the archive is written out), the progress
// window and the closing message. Each picture must be written, and the run
// must show its progress window and end with M4, or the pictures show
// something else.
TEST_F(LayoutSeenFromOutside, Screenshots) {
  const std::string base = shots::Folder();
  if (base.empty()) GTEST_SKIP() << "PS_SCREENSHOT_DIR not set";
  const std::string suffix = shots::DpiSuffix();
  MakeGame(root + L"\\kaster");
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr) << DescribeWindows(app);
  Sleep(1000);
  EXPECT_TRUE(shots::SaveScreen(shots::Around(setup, 8), base + "program-setup" + suffix));

  HWND wait = app.Find(L"TWaitForm");
  HWND progress = app.Find(L"TCompressForm");
  PressStart(setup);
  const DWORD start = GetTickCount();
  bool waitSeen = false;
  while (GetTickCount() - start < 30000 && !IsWindowVisible(progress)) {
    if (!waitSeen && IsWindowVisible(wait)) {
      Sleep(20);
      EXPECT_TRUE(shots::SaveScreen(shots::Around(setup, 8), base + "program-wait" + suffix));
      waitSeen = true;
    }
    Sleep(1);
  }
  ASSERT_TRUE(IsWindowVisible(progress)) << DescribeWindows(app);
  Sleep(200);
  EXPECT_TRUE(shots::SaveScreen(shots::Around(setup, 8), base + "program-progress" + suffix));
  const Box box = app.WaitBox(120000);
  ASSERT_NE(box.hwnd, nullptr) << DescribeWindows(app);
  Sleep(300);
  EXPECT_TRUE(shots::SaveScreen(shots::Around(box.hwnd, 8), base + "program-message" + suffix));
  EXPECT_EQ(box.text, L"セットアップが正常に終了しました");
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(app.WaitExit(30000));
}

}  // namespace
}  // namespace e2e
