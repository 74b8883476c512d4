// Start-up: the windows that exist, what shows, and how the program ends.
#include "Fixture.h"

namespace e2e {
namespace {

class Startup : public InstallerTest {};

TEST_F(Startup, ShowsOnlyTheSetupWindowAndTitlesTheTaskbarEntry) {
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr) << DescribeWindows(app);
  EXPECT_EQ(TextOf(setup), L"Setup");

  HWND progress = app.Find(L"TCompressForm");
  HWND wait = app.Find(L"TWaitForm");
  ASSERT_NE(progress, nullptr);
  ASSERT_NE(wait, nullptr);
  EXPECT_FALSE(IsWindowVisible(progress));
  EXPECT_FALSE(IsWindowVisible(wait));
  EXPECT_EQ(TextOf(progress), L"進捗状況");
  EXPECT_EQ(TextOf(wait), L"Please Wait");

  // The application window carries the title and owns the setup window.
  HWND application = app.Find(L"TApplication");
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(TextOf(application), kTitle);
  EXPECT_EQ(GetWindow(setup, GW_OWNER), application);

  // The default folder is "kaster" beside the installer; the focus is on the start button.
  EXPECT_EQ(TextOf(Child(setup, L"Edit")), root + L"\\kaster");
  EXPECT_EQ(GetWindowThreadProcessId(setup, nullptr), GetWindowThreadProcessId(GetForegroundWindow(), nullptr));

  PostMessageW(setup, WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitExit(20000, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(Startup, HonoursTheMaximisedAndMinimisedShowValues) {
  {
    Installer app(exe, SW_SHOWMAXIMIZED);
    HWND setup = app.SetupWindow();
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(IsZoomed(setup));
  }
  {
    Installer app(exe, SW_SHOWMINNOACTIVE);
    HWND setup = app.Wait(L"TInstallForm", false);
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(WaitFor([&] { return IsIconic(setup) || IsIconic(app.Find(L"TApplication")); }, 10000));
  }
}

// A plain file left by an interrupted run goes, whatever it holds.
TEST_F(Startup, CancelEndsTheProgramAndRemovesALeftoverScratchFile) {
  WriteFileBytes(root + L"\\work.tmp", "half of an archive");
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  Installer::Click(Child(setup, L"Button", kCancel));
  DWORD code = 1;
  ASSERT_TRUE(app.WaitExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(Exists(root + L"\\work.tmp"));
}

TEST_F(Startup, ClosingLeavesAFolderNamedLikeTheScratchFileAlone) {
  CreateDirectoryW((root + L"\\work.tmp").c_str(), nullptr);
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  PostMessageW(setup, WM_CLOSE, 0, 0);
  ASSERT_TRUE(app.WaitExit(20000));
  EXPECT_TRUE(IsDirectory(root + L"\\work.tmp"));
}

TEST_F(Startup, AnInstallerFolderWhoseNameEndsInTrailByte5CKeepsItsName) {
  // ソ and 表 end in the byte 0x5C; the folder shown must still be the real one.
  const std::wstring folder = root + L"\\ソフト表";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"\\PatchSetup.exe";
  ASSERT_TRUE(CopyFileW(exe.c_str(), copy.c_str(), FALSE));
  Installer app(copy);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(TextOf(Child(setup, L"Edit")), folder + L"\\kaster");
  CloseSetup(app, setup);
}

}  // namespace
}  // namespace e2e
