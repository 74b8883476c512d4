// Common set-up of the end-to-end tests: a fresh installer folder per test
// holding a copy of the program under test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Archives.h"
#include "Driver.h"

namespace e2e {

inline const std::wstring kTitle = L"カリオンのAster体験版　修正パッチ　セットアップ";
inline const std::wstring kStart = L"修正パッチ当て開始";
inline const std::wstring kCancel = L"キャンセル";
inline const std::wstring kM3 = L"セットアップが正常に終了できませんでした";

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';  // parameterised tests have slashes in their names
    root = TestRoot(std::wstring(name.begin(), name.end()));
    exe = root + L"\\PatchSetup.exe";
    ASSERT_TRUE(CopyFileW(ProgramUnderTest().c_str(), exe.c_str(), FALSE));
    ClearGameShortcuts();
  }
  void TearDown() override { ClearGameShortcuts(); }

  // A game folder holding the program file the installer looks for.
  std::wstring MakeGame(const std::wstring& folder) {
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileBytes(folder + L"\\Game02.exe", "old game");
    return folder;
  }

  // Starts the installer and points its folder field at `target` (as Browse would).
  HWND StartWith(Installer& app, const std::wstring& target) {
    HWND setup = app.SetupWindow();
    EXPECT_NE(setup, nullptr) << DescribeWindows(app);
    if (setup && !target.empty()) Installer::SetText(Child(setup, L"Edit"), target);
    return setup;
  }

  void PressStart(HWND setup) { Installer::Click(Child(setup, L"Button", kStart)); }

  // The one message of a finished run: checks it, answers it, and checks the
  // program then ends (with 1 after M3, else 0) and leaves no scratch file behind.
  void ExpectLastMessage(Installer& app, const std::wstring& text) {
    const Box box = app.WaitBox(180000);
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_FALSE(box.hasIcon);
    Installer::Answer(box, L"OK");
    DWORD code = 1234;
    ASSERT_TRUE(app.WaitExit(30000, &code)) << DescribeWindows(app);
    EXPECT_EQ(code, text == kM3 ? 1u : 0u);
    EXPECT_FALSE(Exists(root + L"\\work.tmp"));
  }

  // A message that leaves the setup window open.
  void ExpectMessageAndStay(Installer& app, const std::wstring& text) {
    const Box box = app.WaitBox();
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.text, text);
    Installer::Answer(box, L"OK");
    EXPECT_TRUE(WaitGone(box));
    EXPECT_TRUE(app.Running());
  }

  // Closes the setup window as its close box would and waits for the program to end.
  static void CloseSetup(Installer& app, HWND setup) {
    PostMessageW(setup, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit(20000));
  }

  // Waits until an answered box has closed (another may open right after it).
  static bool WaitGone(const Box& box) {
    return WaitFor([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 10000);
  }

  std::wstring root, exe;
};

}  // namespace e2e
