// The text library on real files and the shell's special folders.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/Library.h"
#include "platform/ShellApi.h"
#include "platform/Shelllink.h"
#include "run/Shortcut.h"

using platform::TLibrary;
using platform::TShellLink;
using namespace wintest;

namespace {

// The byte rules themselves are tested natively; here, that a real file is
// read as raw bytes with them, not through the C runtime's text mode (which
// would keep a lone CR and stop at Ctrl-Z differently).
TEST(ReadLines, ReadsRealFilesByTheTextAndInvertedRules) {
  TempDir dir("lines");
  TLibrary library;
  struct Case {
    std::string bytes;
    const char* mode;
    int count;
    std::string line;
  } cases[] = {
      {"1.260\r\n", "rt", 1, "1.260"},
      {"a\rb\r\r\n", "rt", 1, "ab"},
      {"\x9E\xF2\xF5", "rb", 1, "a\r"},
  };
  for (const Case& c : cases) {
    const std::string path = dir / "version.txt";
    WriteFile(path, c.bytes);
    std::string line;
    EXPECT_EQ(library.ReadLines(path, &line, 1, c.mode), c.count) << c.bytes;
    EXPECT_EQ(line, c.line) << c.bytes;
  }
}

TEST(ReadLines, AppendsAndLeavesLinesAloneWhenTheFileIsMissing) {
  TempDir dir("append");
  TLibrary library;
  std::string line = "kept";
  EXPECT_EQ(library.ReadLines(dir / "missing.txt", &line, 1, "rt"), 0);
  EXPECT_EQ(library.ReadLines("", &line, 1, "rt"), 0);
  EXPECT_EQ(line, "kept");
  WriteFile(dir / "表示.txt", "1.2\n");  // a name with a 0x5C trail byte
  library.ReadLines(dir / "表示.txt", &line, 1, "rt");
  library.ReadLines(dir / "表示.txt", &line, 1, "rt");
  EXPECT_EQ(line, "kept1.21.2");
}

TEST(ShellLink, FindsTheDesktopFolderAndFailsForFoldersWithoutAPath) {
  TShellLink shell;
  std::string path(260, ' ');
  ASSERT_TRUE(shell.GetSpecialFolderPath(nullptr, platform::kDesktopDirectory, path));
  EXPECT_TRUE(IsDirectory(path)) << path;
  EXPECT_NE(path.back(), '\\');

  // The printers folder is virtual; an unknown number is no folder at all.
  for (int folder : {0x0004 /* CSIDL_PRINTERS */, 0x7777}) {
    std::string unchanged(260, ' ');
    EXPECT_FALSE(shell.GetSpecialFolderPath(nullptr, folder, unchanged)) << folder;
    EXPECT_EQ(unchanged, std::string(260, ' '));
  }
}

TEST(ShellLink, CreatesAShortcutFileWithJapaneseNames) {
  TempDir dir("link");
  TShellLink shell;
  const std::string link = dir / "0(カリオン)のAster1.260.lnk";
  EXPECT_TRUE(shell.CreateLink(link, dir / "Game02.exe", dir.Path()));
  EXPECT_TRUE(Exists(link));
  EXPECT_FALSE(shell.CreateLink(dir / "missing\\x.lnk", dir / "Game02.exe", dir.Path()));
}

// Which desktop the shortcut step looks at and makes the shortcut on, played
// through the shortcut service: Wine has one account only. Run by an
// administrator other than the player, the player's desktop counts and the
// administrator's is left alone; else the program's own, as ever. The public
// desktop comes second either way.
TEST(ShellLink, TheShortcutIsLookedForAndMadeOnThePlayersDesktop) {
  TempDir dir("desktops");
  struct Desktops : TShellLink {
    std::string own, player, common;
    bool otherUser = false;
    bool GetSpecialFolderPath(HWND, int Folder, std::string& Path) override {
      Path = Folder == platform::kDesktopDirectory ? own : common;
      return true;
    }
    bool GetShellUserDesktop(std::string& Path) override {
      if (otherUser) Path = player;
      return otherUser;
    }
  } shell;
  shell.own = dir / "own";
  shell.player = dir / "player";
  shell.common = dir / "public";
  const std::string kOld = "0(カリオン)のAster.lnk", kNew = "0(カリオン)のAster1.3.lnk";
  struct Case {
    bool otherUser;
    std::vector<std::string> before;  // desktops holding the old shortcut
    patchrun::Outcome outcome;
    std::string renamedOn;  // the desktop holding the new name afterwards
  } cases[] = {
      {false, {"own"}, patchrun::Outcome::kDone, "own"},
      {false, {"player", "public"}, patchrun::Outcome::kDone, "public"},
      {false, {"player"}, patchrun::Outcome::kCreated, "own"},
      {true, {"own", "player"}, patchrun::Outcome::kDone, "player"},
      {true, {"own", "public"}, patchrun::Outcome::kDone, "public"},
      {true, {"own"}, patchrun::Outcome::kCreated, "player"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.otherUser ? "another user, " : "one user, ") + c.before[0]);
    for (const char* name : {"own", "player", "public"}) {
      RemoveTree(text::Wide(dir / name));
      CreateDirectoryW(text::Wide(dir / name).c_str(), nullptr);
    }
    for (const std::string& desktop : c.before) WriteFile(dir / desktop + "\\" + kOld, "old");
    shell.otherUser = c.otherUser;
    EXPECT_EQ(patchrun::UpdateShortcut(shell, dir / "game", "1.3", nullptr), c.outcome);
    for (const char* name : {"own", "player", "public"}) {
      EXPECT_EQ(Exists(dir / name + "\\" + kNew), c.renamedOn == name) << name;
    }
  }
}

}  // namespace
