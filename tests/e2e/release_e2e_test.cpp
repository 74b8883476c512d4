// Installers made from the release stub by `packer build` (tests/e2e/release.sh
// makes them with the Linux and the Windows packer and names their folder in
// PS_RELEASE_DIR): each patches a game folder as the installer built with its
// archive does, signed or not; the stub run as it is reports failure and
// leaves the game alone.
#include "Fixture.h"

namespace e2e {
namespace {

const std::wstring kM3 = L"セットアップが正常に終了できませんでした";
const std::wstring kM4 = L"セットアップが正常に終了しました";

std::wstring ReleaseDir() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"PS_RELEASE_DIR", buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

class PackerBuilt : public InstallerTest, public ::testing::WithParamInterface<const wchar_t*> {
 protected:
  void SetUp() override {
    if (ReleaseDir().empty()) GTEST_SKIP() << "PS_RELEASE_DIR is not set (tests/e2e/release.sh sets it)";
    InstallerTest::SetUp();
  }
  // The installer under test in place of the copied program.
  void Use(const wchar_t* name) { ASSERT_TRUE(CopyFileW((ReleaseDir() + L"\\" + name).c_str(), exe.c_str(), FALSE)); }
};

TEST_P(PackerBuilt, PatchesTheGameFolderAndRenamesTheShortcut) {
  Use(GetParam());
  const std::wstring game = MakeGame(root + L"\\kaster");
  WriteFileBytes(DesktopFolder() + L"\\0(カリオン)のAster.lnk", "shortcut");
  Installer app(exe);
  PressStart(StartWith(app, L""));
  ExpectLastMessage(app, kM4);
  // The files release.sh packed, under their Japanese names.
  EXPECT_EQ(ReadFileBytes(game + L"\\Game02.exe"), "new game program");
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.300\r\n");
  EXPECT_EQ(ReadFileBytes(game + L"\\データ\\ソフト表.dat"), "table data");
  EXPECT_EQ(ReadFileBytes(game + L"\\表示\\能力.txt"), "deep file");
  EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{L"0(カリオン)のAster1.300.lnk"});
}

INSTANTIATE_TEST_SUITE_P(Installer, PackerBuilt, ::testing::Values(L"host.exe", L"signed.exe", L"windows.exe"),
                         [](const auto& info) {
                           std::wstring name = info.param;
                           return std::string(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(name.find(L'.')));
                         });

class PackerBuiltStub : public PackerBuilt {};

TEST_F(PackerBuiltStub, RunAsItIsReportsFailureAndLeavesTheGameAlone) {
  Use(L"stub.exe");
  const std::wstring game = MakeGame(root + L"\\kaster");
  Installer app(exe);
  PressStart(StartWith(app, L""));
  ExpectLastMessage(app, kM3);
  EXPECT_EQ(ReadFileBytes(game + L"\\Game02.exe"), "old game");
  EXPECT_FALSE(Exists(game + L"\\version.txt"));
}

}  // namespace
}  // namespace e2e
