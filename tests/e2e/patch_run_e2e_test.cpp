// The patch run from the start button to the end of the program, on every path.
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <thread>

#include "FileTree.h"
#include "Fixture.h"
#include "LiteralArchive.h"

namespace e2e {
namespace {

using testarchive::Sealed;

const std::wstring kM1 = L"体験版がセットアップされたフォルダを指定して下さい";
const std::wstring kM2 = L"指定されたフォルダには0(カリオン)のAsterがセットアップされていません";
const std::wstring kM4 = L"セットアップが正常に終了しました";
const std::wstring kM5 = L"同一のショートカットが存在したため　作成しませんでした";
const std::wstring kM6 = L"既存のショートカットが見つかりません　新たに作成しました";
const std::wstring kM7 = L"ショートカットが作成できませんでした";
const std::wstring kFolderFailed = L"ディレクトリを作成できませんでした";
const std::wstring kShortcut = L"0(カリオン)のAster.lnk";
const std::wstring kRenamed = L"0(カリオン)のAster1.260.lnk";

// A small patch shaped like the real one: the game, a version, files below.
std::vector<ArchiveFile> SmallPatch(const std::string& version = "1.260\r\n") {
  return {{"Game02.exe", "new game program"},
          {"version.txt", version},
          {"データ\\ソフト表.dat", std::string(3000, 'x') + "end"},
          {"データ\\能力\\表.txt", "deep file"}};
}

size_t CountFiles(const std::wstring& folder) {
  size_t n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    n += (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CountFiles(folder + L"\\" + name) : 1;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

class PatchRun : public InstallerTest {
 protected:
  void UseArchive(const std::vector<ArchiveFile>& files) {
    ASSERT_TRUE(ReplaceCarriedArchive(exe, MakeArchive(files)));
  }
  // Starts `program` on `game` and expects the error box of a scratch file
  // beside it that cannot be created; answers it and closes the program.
  void ExpectScratchFileRefused(const std::wstring& program, const std::wstring& folder, const std::wstring& game) {
    Installer app(program);
    HWND setup = StartWith(app, game);
    PressStart(setup);
    const Box box = app.WaitBox();
    EXPECT_EQ(box.text, L"ファイル " + folder + L"\\work.tmp を作成できません.");
    Installer::Answer(box, L"OK");
    EXPECT_TRUE(WaitGone(box));
    CloseSetup(app, setup);
  }
  void PutOnDesktop(const std::wstring& name) { WriteFileBytes(DesktopFolder() + L"\\" + name, "shortcut"); }
};

TEST_F(PatchRun, TheCarriedPatchUpdatesTheGameAndRenamesTheShortcut) {
  const std::wstring game = MakeGame(root + L"\\kaster");
  PutOnDesktop(kShortcut);
  Installer app(exe);
  HWND setup = StartWith(app, L"");  // the default folder beside the installer
  PressStart(setup);
  // The progress window is shown while the files are written.
  EXPECT_NE(app.Wait(L"TCompressForm", true, 60000), nullptr);
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.260\r\n");
  EXPECT_NE(ReadFileBytes(game + L"\\Game02.exe"), "old game");
  EXPECT_EQ(CountFiles(game), 283u);
  EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{kRenamed});
}

TEST_F(PatchRun, AMissingFolderOrAFileGivesM1AndAPressRepeatsTheTests) {
  WriteFileBytes(root + L"\\file", "not a folder");
  Installer app(exe);
  HWND setup = StartWith(app, root + L"\\missing");
  PressStart(setup);
  ExpectMessageAndStay(app, kM1);
  Installer::SetText(Child(setup, L"Edit"), root + L"\\file");
  PressStart(setup);
  ExpectMessageAndStay(app, kM1);
  // The next press sees the folder as it then stands.
  CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
  Installer::SetText(Child(setup, L"Edit"), root + L"\\empty");
  PressStart(setup);
  ExpectMessageAndStay(app, kM2);
  EXPECT_FALSE(Exists(root + L"\\work.tmp"));
  CloseSetup(app, setup);
}

TEST_F(PatchRun, AFolderWithoutTheGameOrWithAFolderNamedLikeItGivesM2) {
  const std::wstring game = root + L"\\game";
  CreateDirectoryW(game.c_str(), nullptr);
  CreateDirectoryW((game + L"\\Game02.exe").c_str(), nullptr);
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  ExpectMessageAndStay(app, kM2);
  EXPECT_FALSE(Exists(root + L"\\work.tmp"));
  CloseSetup(app, setup);
}

TEST_F(PatchRun, ADriveRootIsUsedWithTheDoubledSeparator) {
  // R: is a drive of the test prefix; the game lies in its root.
  RemoveTree(L"R:\\Game02.exe");
  RemoveTree(L"R:\\データ");
  RemoveTree(L"R:\\version.txt");
  MakeGame(L"R:\\");
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  Installer app(exe);
  PressStart(StartWith(app, L"R:\\"));
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(ReadFileBytes(L"R:\\Game02.exe"), "new game program");
  EXPECT_EQ(ReadFileBytes(L"R:\\データ\\能力\\表.txt"), "deep file");
}

TEST_F(PatchRun, AStalePlainScratchFileIsReplacedWhateverItHolds) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  WriteFileBytes(root + L"\\work.tmp", "a player's file");
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(ReadFileBytes(game + L"\\データ\\ソフト表.dat"), std::string(3000, 'x') + "end");
}

// A second name for a file elsewhere: neither the run nor closing the window
// writes or deletes it.
TEST_F(PatchRun, AHardLinkedScratchFileIsNeitherWrittenNorDeleted) {
  const std::wstring game = MakeGame(root + L"\\game");
  const std::wstring saved = root + L"\\saves\\save.dat";
  CreateDirectoryW((root + L"\\saves").c_str(), nullptr);
  WriteFileBytes(saved, "a player's saved game");
  ASSERT_TRUE(CreateHardLinkW((root + L"\\work.tmp").c_str(), saved.c_str(), nullptr));
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  ExpectScratchFileRefused(exe, root, game);
  EXPECT_EQ(ReadFileBytes(saved), "a player's saved game");
  EXPECT_EQ(ReadFileBytes(root + L"\\work.tmp"), "a player's saved game");
  EXPECT_EQ(testfiles::TakeSnapshot(game), before);
}

// A failure anywhere in the run leaves the game folder exactly as it was,
// with nothing temporary anywhere; then M3 (after the folder message where a
// sub-folder could not be made).
TEST_F(PatchRun, AFailureLateInTheRunLeavesTheGameFolderAsItWas) {
  const std::vector<ArchiveFile> patch = SmallPatch();
  std::string damaged = MakeArchive(patch);
  damaged.resize(damaged.size() - 3);
  std::string tampered = Sealed(MakeArchive(patch));
  tampered[30] ^= 1;
  struct Case {
    const char* what;
    std::string archive;
    bool fileInTheWayOfAFolder = false;
  } cases[] = {
      {"a stream cut short in the last record", damaged},
      {"a trailer that does not match", tampered},
      {"a file where a sub-folder goes", MakeArchive(patch), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring game = root + L"\\game";
    testfiles::RemoveTree(game);
    MakeGame(game);
    WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
    if (c.fileInTheWayOfAFolder) WriteFileBytes(game + L"\\データ", "a file in the way of the folder");
    ASSERT_TRUE(ReplaceCarriedArchive(exe, c.archive));
    const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
    Installer app(exe);
    PressStart(StartWith(app, game));
    if (c.fileInTheWayOfAFolder) {
      const Box folder = app.WaitBox();
      EXPECT_EQ(folder.text, kFolderFailed);
      Installer::Answer(folder, L"OK");
      EXPECT_TRUE(WaitGone(folder));
    }
    ExpectLastMessage(app, kM3);
    const testfiles::Snapshot after = testfiles::TakeSnapshot(game);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
    EXPECT_TRUE(testfiles::StagingLeftovers(testfiles::TakeSnapshot(root)).empty());
  }
}

TEST_F(PatchRun, AnArchiveThatEndsAtOnceGivesM3) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive({{"", ""}});
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM3);
  EXPECT_EQ(ReadFileBytes(game + L"\\Game02.exe"), "old game");
}

TEST_F(PatchRun, ARecordNameLeavingTheGameFolderStopsTheRunWithM3) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive({{"version.txt", "1.260\r\n"}, {"..\\escaped.txt", "outside"}});
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM3);
  EXPECT_FALSE(Exists(root + L"\\escaped.txt"));
}

TEST_F(PatchRun, WhenBothNamesExistTheRenameFailsWithM5) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  PutOnDesktop(kRenamed);
  // The run takes whatever the directory search returns first.
  const auto before = GameShortcuts();
  ASSERT_EQ(before.size(), 2u);
  const std::wstring first = before.front();
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, first == kShortcut ? kM5 : kM4);
  auto shortcuts = GameShortcuts();
  std::sort(shortcuts.begin(), shortcuts.end());
  EXPECT_EQ(shortcuts, (std::vector<std::wstring>{kShortcut, kRenamed}));
}

TEST_F(PatchRun, AFolderOnTheDesktopMatchingThePatternIsRenamed) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  CreateDirectoryW((DesktopFolder() + L"\\0(カリオン)のAster体験版.lnk").c_str(), nullptr);
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM4);
  EXPECT_TRUE(IsDirectory(DesktopFolder() + L"\\" + kRenamed));
}

// The user's desktop is searched first, then the public desktop; the shortcut
// found is renamed in its own folder and nothing is made on the other.
TEST_F(PatchRun, AShortcutOnThePublicDesktopIsRenamedThere) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  struct Case {
    const char* what;
    bool onTheUsersDesktop;
    std::vector<std::wstring> users, publics;  // the game's shortcuts afterwards
  } cases[] = {
      {"only on the public desktop", false, {}, {kRenamed}},
      {"on both desktops", true, {kRenamed}, {kShortcut}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearGameShortcuts();
    if (c.onTheUsersDesktop) PutOnDesktop(kShortcut);
    WriteFileBytes(PublicDesktopFolder() + L"\\" + kShortcut, "shortcut");
    Installer app(exe);
    PressStart(StartWith(app, game));
    ExpectLastMessage(app, kM4);
    EXPECT_EQ(GameShortcuts(), c.users);
    EXPECT_EQ(GameShortcuts(PublicDesktopFolder()), c.publics);
  }
}

struct VersionCase {
  const char* stored;
  const wchar_t* shortcut;  // the desktop's game shortcut afterwards
  const wchar_t* message;
};

class VersionLine : public PatchRun, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionLine, GoesIntoTheNewNameUntrimmed) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch(GetParam().stored));
  PutOnDesktop(kShortcut);
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, GetParam().message);
  EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{GetParam().shortcut});
}

INSTANTIATE_TEST_SUITE_P(Lines, VersionLine,
                         ::testing::Values(VersionCase{"1.261\r\n2.000\r\n", L"0(カリオン)のAster1.261.lnk", kM4.c_str()},
                                           VersionCase{"1.262", L"0(カリオン)のAster1.262.lnk", kM4.c_str()},
                                           VersionCase{" 1.263 \n", L"0(カリオン)のAster 1.263 .lnk", kM4.c_str()},
                                           // A tab cannot stand in a file name: the rename fails.
                                           VersionCase{"1.264\t\n", L"0(カリオン)のAster.lnk", kM5.c_str()},
                                           // Nor can path steps or a drive colon: the shortcut stays put.
                                           VersionCase{"\\..\\..\\Documents\\moved\r\n", L"0(カリオン)のAster.lnk",
                                                       kM5.c_str()},
                                           VersionCase{"1.265:x\r\n", L"0(カリオン)のAster.lnk", kM5.c_str()}));

TEST_F(PatchRun, AVersionThatIsNoNamePartCreatesNoShortcut) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch("..\\..\\Start Menu\\Programs\\Startup\\x\r\n"));
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM7);
  EXPECT_TRUE(GameShortcuts().empty());
}

TEST_F(PatchRun, WithoutAMatchingShortcutAWorkingOneIsCreated) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  Installer app(exe);
  PressStart(StartWith(app, game));
  ExpectLastMessage(app, kM6);
  ASSERT_EQ(GameShortcuts(), std::vector<std::wstring>{kRenamed});

  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                            reinterpret_cast<void**>(&link)));
  IPersistFile* file = nullptr;
  ASSERT_HRESULT_SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  ASSERT_HRESULT_SUCCEEDED(file->Load((DesktopFolder() + L"\\" + kRenamed).c_str(), STGM_READ));
  wchar_t target[MAX_PATH] = {}, dir[MAX_PATH] = {};
  link->GetPath(target, MAX_PATH, nullptr, 0);
  link->GetWorkingDirectory(dir, MAX_PATH);
  EXPECT_EQ(_wcsicmp(target, (game + L"\\Game02.exe").c_str()), 0) << target;
  EXPECT_EQ(_wcsicmp(dir, game.c_str()), 0) << dir;
  file->Release();
  link->Release();
  CoUninitialize();
}

TEST_F(PatchRun, WithoutADesktopFolderItShowsM7) {
  const std::wstring game = MakeGame(root + L"\\game");
  UseArchive(SmallPatch());
  // Point the user's desktop at a folder that does not exist for this run.
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ | KEY_WRITE, &k), ERROR_SUCCESS);
  wchar_t saved[1024] = {};
  DWORD savedSize = sizeof saved, type = REG_EXPAND_SZ;
  const bool had = RegQueryValueExW(k, L"Desktop", nullptr, &type, reinterpret_cast<BYTE*>(saved), &savedSize) ==
                   ERROR_SUCCESS;
  const std::wstring nowhere = root + L"\\no\\desktop";
  RegSetValueExW(k, L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(nowhere.c_str()),
                 static_cast<DWORD>((nowhere.size() + 1) * sizeof(wchar_t)));
  {
    Installer app(exe);
    PressStart(StartWith(app, game));
    ExpectLastMessage(app, kM7);
  }
  if (had) {
    RegSetValueExW(k, L"Desktop", 0, type, reinterpret_cast<const BYTE*>(saved), savedSize);
  } else {
    RegDeleteValueW(k, L"Desktop");
  }
  RegCloseKey(k);
  EXPECT_FALSE(Exists(nowhere));
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.260\r\n");
}

TEST_F(PatchRun, AScratchFileThatCannotBeCreatedShowsTheErrorBoxAndKeepsTheWindow) {
  const std::wstring game = MakeGame(root + L"\\game");
  CreateDirectoryW((root + L"\\work.tmp").c_str(), nullptr);  // a folder in the way
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  const Box box = app.WaitBox();
  EXPECT_EQ(box.caption, kTitle);
  EXPECT_EQ(box.text, L"ファイル " + root + L"\\work.tmp を作成できません.");
  EXPECT_TRUE(box.hasIcon);
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(WaitGone(box));
  EXPECT_TRUE(app.Running());
  EXPECT_FALSE(IsWindowVisible(app.Find(L"TWaitForm")));
  EXPECT_EQ(ReadFileBytes(game + L"\\Game02.exe"), "old game");
  CloseSetup(app, setup);
}

TEST_F(PatchRun, AProgramWithoutItsArchiveShowsTheResourceErrorAndWritesNothing) {
  ASSERT_TRUE(CopyFileW(ProgramUnderTest(L"PS_PATCHSETUP_NOARCHIVE").c_str(), exe.c_str(), FALSE));
  const std::wstring game = MakeGame(root + L"\\game");
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  const Box box = app.WaitBox();
  EXPECT_EQ(box.text, L"kaster リソースが見つかりません.");
  EXPECT_TRUE(box.hasIcon);
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(WaitGone(box));
  EXPECT_TRUE(app.Running());
  EXPECT_FALSE(Exists(root + L"\\work.tmp"));
  CloseSetup(app, setup);
}

// CP932 has no é. A folder it cannot name exactly is never acted on, and a
// look-alike (e for é) is never taken for it.
// The short form of a folder, as the system gives it.
std::wstring ShortForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// A program in a folder whose name CP932 lacks proposes the game folder
// beside it through the folder's short form, never through a look-alike
// ("Jose" for "José"); a game folder so named is refused.
TEST_F(PatchRun, FoldersThatCodePage932CannotNameAreNeverActedOn) {
  const std::wstring here = root + L"\\José";
  ASSERT_TRUE(CreateDirectoryW(here.c_str(), nullptr));
  const std::wstring copy = here + L"\\PatchSetup.exe";
  ASSERT_TRUE(CopyFileW(exe.c_str(), copy.c_str(), FALSE));
  MakeGame(root + L"\\Jose");
  MakeGame(root + L"\\Jose\\kaster");
  MakeGame(root + L"\\Cafe");
  MakeGame(root + L"\\Café");
  const testfiles::Snapshot before = testfiles::TakeSnapshot(root);
  Installer app(copy);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  ASSERT_NE(ShortForm(here), L"");
  EXPECT_EQ(TextOf(Child(setup, L"Edit")), ShortForm(here) + L"\\kaster");
  PressStart(setup);
  ExpectMessageAndStay(app, kM1);  // no game beside the program
  Installer::SetText(Child(setup, L"Edit"), root + L"\\Café");
  PressStart(setup);
  ExpectMessageAndStay(app, L"フォルダ名に使用できない文字が含まれています");
  CloseSetup(app, setup);
  EXPECT_EQ(testfiles::TakeSnapshot(root), before);
}

// The program and its game in a folder named in Korean, or with an emoji (a
// surrogate pair): the field shows the game folder through the short form,
// and the run patches it with nothing of its own left.
TEST_F(PatchRun, AProgramInAFolderNamedOutsideCodePage932PatchesThroughItsShortForm) {
  UseArchive(SmallPatch());
  for (const std::wstring name : {L"\uD55C\uAD6D\uC5B4", L"game \U0001F3AE"}) {
    SCOPED_TRACE(testing::PrintToString(name.size()) + " UTF-16 units");
    ClearGameShortcuts();
    const std::wstring here = root + L"\\" + name;
    ASSERT_TRUE(CreateDirectoryW(here.c_str(), nullptr));
    const std::wstring copy = here + L"\\PatchSetup.exe";
    ASSERT_TRUE(CopyFileW(exe.c_str(), copy.c_str(), FALSE));
    MakeGame(here + L"\\kaster");
    Installer app(copy);
    HWND setup = app.SetupWindow();
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(TextOf(Child(setup, L"Edit")), ShortForm(here) + L"\\kaster");
    PressStart(setup);
    ExpectLastMessage(app, kM6);
    std::vector<std::wstring> entries;
    for (const auto& [path, bytes] : testfiles::TakeSnapshot(here)) entries.push_back(path);
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"PatchSetup.exe", L"kaster", L"kaster\\Game02.exe",
                                                  L"kaster\\version.txt", L"kaster\\データ",
                                                  L"kaster\\データ\\ソフト表.dat", L"kaster\\データ\\能力",
                                                  L"kaster\\データ\\能力\\表.txt"}));
    EXPECT_EQ(ReadFileBytes(here + L"\\kaster\\Game02.exe"), "new game program");
    EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{kRenamed});
  }
}

// --- The player's real world: a run cut off, a running game, a brief lock, a small disk.

const std::wstring kRecoveredUndone = L"前回のセットアップが中断されていたため、ゲームフォルダを元の状態に戻しました";
const std::wstring kRecoveredCompleted = L"前回のセットアップが中断されていたため、中断された修正パッチの適用を完了しました";

void Kill(const Installer& app) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, app.Pid());
  ASSERT_NE(process, nullptr);
  TerminateProcess(process, 9);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

// The run ended at five instants spread over it (as Task Manager or a power
// cut ends it); each next start finishes the cut-off run before its window
// shows, says so once, and leaves the game as it was or as patched.
TEST_F(PatchRun, ARunEndedAtAnyInstantIsFinishedAtTheNextStart) {
  const std::wstring game = MakeGame(root + L"\\kaster");
  WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  DWORD took = GetTickCount();
  {
    PutOnDesktop(kShortcut);
    Installer app(exe);
    PressStart(StartWith(app, L""));
    ExpectLastMessage(app, kM4);
  }
  took = GetTickCount() - took;
  const testfiles::Snapshot after = testfiles::TakeSnapshot(game);
  size_t recovered = 0;
  for (int i = 1; i <= 5; ++i) {
    SCOPED_TRACE("ended at " + std::to_string(i) + "/6 of the run");
    testfiles::RestoreSnapshot(game, before);
    {
      Installer app(exe);
      PressStart(StartWith(app, L""));
      Sleep(took * i / 6);
      Kill(app);
    }
    const bool cutOff = !testfiles::StagingLeftovers(testfiles::TakeSnapshot(game)).empty();
    Installer app(exe);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = app.Find(L"#32770", true)) || app.Find(L"TInstallForm", true); }, 60000));
    if (box) {
      const Box seen = Installer::ReadBox(box);
      EXPECT_TRUE(seen.text == kRecoveredUndone || seen.text == kRecoveredCompleted) << seen.text;
      EXPECT_TRUE(cutOff);
      Installer::Answer(seen, L"OK");
      ++recovered;
    }
    const testfiles::Snapshot now = testfiles::TakeSnapshot(game);
    EXPECT_TRUE(now == before || now == after);
    EXPECT_TRUE(testfiles::StagingLeftovers(now).empty());
    CloseSetup(app, app.SetupWindow());
  }
  EXPECT_GT(recovered, 0u);  // at least one instant fell inside the staged run
  testfiles::RestoreSnapshot(game, before);
  ClearGameShortcuts();
  PutOnDesktop(kShortcut);
  Installer app(exe);
  PressStart(StartWith(app, L""));
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(testfiles::TakeSnapshot(game), after);
}

// The first entry matching `pattern` in `folder` ("" when none).
std::wstring FirstMatch(const std::wstring& folder, const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  return folder + L"\\" + found.cFileName;
}

// A virus scanner on the player's machine: it deletes one new file of the run
// and cuts another to a few bytes, as soon as it can open them. The run
// either writes them again and patches the game, or says which file and
// leaves the game as it was; it never says M4 over a broken game, and the
// next press patches it.
TEST_F(PatchRun, AScannerDeletingAndCuttingNewFilesNeverGivesM4OverABrokenGame) {
  const std::wstring game = MakeGame(root + L"\\game");
  WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  std::atomic<bool> stop{false};
  std::atomic<int> acted{0};
  std::thread scanner([&]() noexcept {
    std::wstring deleted;
    while (!stop && acted < 2) {
      const std::wstring run = FirstMatch(game, L"~ps*.stg");
      const std::wstring fresh = run.empty() ? L"" : FirstMatch(run, L"*.new");
      if (!fresh.empty() && fresh != deleted) {
        if (acted == 0 && DeleteFileW(fresh.c_str())) {
          deleted = fresh;
          ++acted;
        } else if (acted == 1) {
          const HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
          if (file != INVALID_HANDLE_VALUE) {
            DWORD put = 0;
            WriteFile(file, "cut", 3, &put, nullptr);
            SetEndOfFile(file);
            CloseHandle(file);
            ++acted;
          }
        }
      }
      Sleep(1);
    }
  });
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  const Box first = app.WaitBox(180000);
  stop = true;
  scanner.join();
  EXPECT_GT(acted.load(), 0);
  if (first.text == kM4) {
    Installer::Answer(first, L"OK");
    EXPECT_TRUE(app.WaitExit(30000));
  } else {
    // The file is named, and the game is as it was.
    EXPECT_NE(first.text.find(L"セキュリティ対策ソフト"), std::wstring::npos) << first.text;
    EXPECT_EQ(first.text.rfind(game, 0), 0u) << first.text;
    Installer::Answer(first, L"OK");
    EXPECT_TRUE(WaitGone(first));
    EXPECT_EQ(testfiles::TakeSnapshot(game), before);
    PressStart(setup);
    ExpectLastMessage(app, kM4);
  }
  const testfiles::Snapshot after = testfiles::TakeSnapshot(game);
  EXPECT_EQ(after.at(L"Game02.exe"), "0:new game program");
  EXPECT_EQ(after.at(L"データ\\ソフト表.dat"), "0:" + std::string(3000, 'x') + "end");
  EXPECT_EQ(after.at(L"データ\\能力\\表.txt"), "0:deep file");
  EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
  EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{kRenamed});
}

// A run ended in the middle of its commit (some originals moved aside, some
// files placed): the next start completes it, renames the shortcut and says
// the patch was completed. The run is held at its second original, as a
// scanner would hold it, and ended while it waits. (A large file gives the
// time to take hold of the original while the new files are written.)
TEST_F(PatchRun, ARunEndedMidCommitIsCompletedWithItsShortcutAtTheNextStart) {
  const std::wstring game = MakeGame(root + L"\\kaster");
  WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
  std::vector<ArchiveFile> patch = SmallPatch();
  patch.push_back({"データ\\大.dat", std::string(24 << 20, 'z')});
  UseArchive(patch);
  PutOnDesktop(kShortcut);
  {
    Installer app(exe);
    PressStart(StartWith(app, L""));
    // Once the run has its folder, the checks before it are done.
    std::wstring run;
    ASSERT_TRUE(WaitFor([&] { return !(run = FirstMatch(game, L"~ps*.stg")).empty(); }, 60000));
    const HANDLE held = CreateFileW((game + L"\\version.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Game02.exe is placed; version.txt cannot be moved aside.
    EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(game + L"\\Game02.exe") == "new game program"; }, 60000));
    Kill(app);
    CloseHandle(held);
  }
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.000\r\n");
  Installer app(exe);
  const Box box = app.WaitBox();
  EXPECT_EQ(box.text, kRecoveredCompleted);
  Installer::Answer(box, L"OK");
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.260\r\n");
  EXPECT_EQ(ReadFileBytes(game + L"\\データ\\能力\\表.txt"), "deep file");
  EXPECT_TRUE(testfiles::StagingLeftovers(testfiles::TakeSnapshot(game)).empty());
  EXPECT_EQ(GameShortcuts(), std::vector<std::wstring>{kRenamed});
  CloseSetup(app, setup);
}

// A journal that is garbage beside the program (planted, or left by anything
// but a run): it goes silently, and nothing is claimed restored.
TEST_F(PatchRun, AGarbageJournalBesideTheProgramGoesWithoutAClaim) {
  const std::wstring game = MakeGame(root + L"\\kaster");
  const std::wstring planted = game + L"\\~ps1a2b3.stg";
  CreateDirectoryW(planted.c_str(), nullptr);
  WriteFileBytes(planted + L"\\journal", "PSJ2 but nothing a run wrote");
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  Installer app(exe);
  HWND setup = app.SetupWindow();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(app.Find(L"#32770", true), nullptr) << "a message at the start";
  EXPECT_FALSE(Exists(planted));
  testfiles::Snapshot now = testfiles::TakeSnapshot(game);
  EXPECT_EQ(now.size() + 2, before.size());  // the folder and its journal, nothing else
  CloseSetup(app, setup);
}

// The game running from its folder: the run names it and touches nothing; once
// the game has ended, the next press patches it.
TEST_F(PatchRun, TheRunningGameIsNamedAndNothingIsTouchedUntilItEnds) {
  const std::wstring game = MakeGame(root + L"\\game");
  // Any Windows program stands in for the game: this installer itself.
  ASSERT_TRUE(CopyFileW(exe.c_str(), (game + L"\\Game02.exe").c_str(), FALSE));
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  auto running = std::make_unique<Installer>(game + L"\\Game02.exe");
  ASSERT_NE(running->SetupWindow(), nullptr);
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  ExpectMessageAndStay(app, game + L"\\Game02.exe は他のプログラムが使用中です。ゲームを終了してから、もう一度お試し下さい");
  EXPECT_EQ(testfiles::TakeSnapshot(game), before);
  running.reset();  // the player ends the game
  PressStart(setup);
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(ReadFileBytes(game + L"\\Game02.exe"), "new game program");
  EXPECT_TRUE(testfiles::StagingLeftovers(testfiles::TakeSnapshot(game)).empty());
}

// An original held open by another program without delete sharing, or a
// read-only one: named before anything is touched, and the window stays.
TEST_F(PatchRun, AnOriginalThatCannotBeReplacedIsNamedAndNothingIsTouched) {
  const std::wstring game = MakeGame(root + L"\\game");
  WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
  UseArchive(SmallPatch());
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  const std::wstring version = game + L"\\version.txt";
  Installer app(exe);
  HWND setup = StartWith(app, game);
  HANDLE held = CreateFileW(version.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  PressStart(setup);
  ExpectMessageAndStay(app, version + L" は他のプログラムが使用中です。ゲームを終了してから、もう一度お試し下さい");
  CloseHandle(held);
  SetFileAttributesW(version.c_str(), FILE_ATTRIBUTE_READONLY);
  const testfiles::Snapshot readOnly = testfiles::TakeSnapshot(game);
  PressStart(setup);
  ExpectMessageAndStay(app, version +
                                L" は読み取り専用のため置き換えられません。読み取り専用の属性を外してから、もう一度お試し下さい");
  EXPECT_EQ(testfiles::TakeSnapshot(game), readOnly);
  SetFileAttributesW(version.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(testfiles::TakeSnapshot(game), before);
  CloseSetup(app, setup);
}

// A virus scanner holding a fresh file for a moment: the run waits it out.
TEST_F(PatchRun, AFileLockedForAMomentIsWaitedOut) {
  const std::wstring game = MakeGame(root + L"\\game");
  WriteFileBytes(game + L"\\version.txt", "1.000\r\n");
  UseArchive(SmallPatch());
  PutOnDesktop(kShortcut);
  Installer app(exe);
  HWND setup = StartWith(app, game);
  HANDLE held = CreateFileW((game + L"\\version.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  PressStart(setup);
  Sleep(1000);
  CloseHandle(held);
  ExpectLastMessage(app, kM4);
  EXPECT_EQ(ReadFileBytes(game + L"\\version.txt"), "1.260\r\n");
}

// Drive S: of the test prefix is a RAM disk of 2 MB: too small for the staged
// patch beside the game. The run says how much it needs and touches nothing.
TEST_F(PatchRun, ADriveTooSmallForTheStagedPatchIsNamedBeforeAnythingIsWritten) {
  ULARGE_INTEGER freeBytes{}, total{};
  if (!GetDiskFreeSpaceExW(L"S:\\", &freeBytes, &total, nullptr) || total.QuadPart > (64u << 20)) {
    GTEST_SKIP() << "no small disk at S: (mounting a tmpfs needs root; see scripts/lib.sh)";
  }
  const std::wstring game = L"S:\\smallgame";
  testfiles::RemoveTree(game);
  MakeGame(game);
  std::vector<ArchiveFile> patch = SmallPatch();
  patch.push_back({"データ\\大.dat", std::string(3 << 20, 'z')});
  UseArchive(patch);
  const testfiles::Snapshot before = testfiles::TakeSnapshot(game);
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  const Box box = app.WaitBox();
  const std::wstring prefix = L"ゲームフォルダのドライブの空き容量が足りません。必要な空き容量: 4 MB、現在の空き容量: ";
  EXPECT_EQ(box.text.substr(0, prefix.size()), prefix) << box.text;
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(WaitGone(box));
  EXPECT_TRUE(app.Running());
  EXPECT_EQ(testfiles::TakeSnapshot(game), before);
  CloseSetup(app, setup);
  testfiles::RemoveTree(game);
}

}  // namespace
}  // namespace e2e
