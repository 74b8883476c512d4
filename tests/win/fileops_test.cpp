// Folder and file tests and folder creation on real folders, including
// Japanese names whose second byte is 0x5C; what blocks replacing a file; free space.
#include <gtest/gtest.h>

#include <thread>

#include "TempDir.h"
#include "platform/Exceptions.h"
#include "platform/FileOps.h"
#include "platform/Handles.h"
#include "platform/Situation.h"
#include "text/PathRules.h"

using platform::Exception;
using platform::IsExistingDirectory;
using platform::IsExistingFile;
using platform::MakeDirectoryPath;
using platform::NarrowExistingPath;
using namespace wintest;

namespace {

// ソ (83 5C) and 表 (95 5C) end in the byte of '\'.
const std::string kSo = "ソ";
const std::string kHyo = "表";

TEST(FileOps, FolderAndFileTestsTellEntriesApart) {
  TempDir dir("tests");
  WriteFile(dir / "file.txt", "x");
  CreateDirectoryW(text::Wide(dir / (kSo + kHyo)).c_str(), nullptr);
  WriteFile(dir / (kSo + kHyo) + "\\" + kHyo, "y");

  struct Case {
    std::string path;
    bool directory, file;
  } cases[] = {
      {dir.Path(), true, false},
      {dir.Path() + "\\", true, false},
      {dir / "file.txt", false, true},
      {dir / "missing", false, false},
      {dir / (kSo + kHyo), true, false},
      {dir / (kSo + kHyo) + "\\", true, false},
      {dir / (kSo + kHyo) + "\\" + kHyo, false, true},
      {"", false, false},
      {"C:\\", true, false},
      // Pattern characters are not wildcards: "file.*" names no entry.
      {dir / "file.*", false, false},
      {dir / "fil?.txt", false, false},
      // A drive that does not exist.
      {"Q:\\nothing", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsExistingDirectory(c.path), c.directory) << c.path;
    EXPECT_EQ(IsExistingFile(c.path), c.file) << c.path;
  }
}

// A folder named in characters CP932 lacks (Korean; an emoji, a surrogate
// pair) is reached through its short form; an exact name is kept as it is;
// without a folder there is no short form, and nothing is given.
TEST(FileOps, NarrowExistingPathFallsBackToTheShortFormOnly) {
  TempDir dir("narrow");
  const std::wstring base = text::Wide(dir.Path());
  struct Case {
    std::wstring name;
    bool create, found, keepsLongForm;
  } cases[] = {
      {text::Wide(kSo + kHyo), true, true, true},
      {L"\xD55C\xAD6D\xC5B4", true, true, false},
      {L"game \xD83C\xDFAE", true, true, false},
      {L"\xD55C\xAD6D\xC5B4 missing", false, false, false},
  };
  for (const Case& c : cases) {
    const std::wstring path = base + L"\\" + c.name;
    if (c.create) {
      ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    }
    std::string narrow = "unchanged";
    EXPECT_EQ(NarrowExistingPath(path, narrow), c.found);
    if (!c.found) {
      EXPECT_EQ(narrow, "unchanged");
      continue;
    }
    EXPECT_EQ(narrow == text::Narrow(path), c.keepsLongForm) << narrow;
    // The form given names the very folder: a file made through it is seen through the long one.
    WriteFile(narrow + "\\probe", "x");
    EXPECT_TRUE(GetFileAttributesW((path + L"\\probe").c_str()) != INVALID_FILE_ATTRIBUTES) << narrow;
  }
}

TEST(FileOps, AFileStampedBefore1980IsStillAFile) {
  TempDir dir("old");
  const std::string path = dir / "Game02.exe";
  WriteFile(path, "old game");
  HANDLE h = CreateFileW(text::Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SYSTEMTIME st{1975, 6, 0, 1, 12, 0, 0, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ASSERT_TRUE(SetFileTime(h, &ft, &ft, &ft));
  CloseHandle(h);
  EXPECT_TRUE(IsExistingFile(path));
}

TEST(FileOps, MakeDirectoryPathCreatesEveryMissingLevel) {
  TempDir dir("make");
  const std::string deep = dir / (kSo + "\\" + kHyo + "\\" + "c" + kSo);
  EXPECT_TRUE(MakeDirectoryPath(deep));
  EXPECT_TRUE(IsDirectory(dir / kSo));
  EXPECT_TRUE(IsDirectory(dir / (kSo + "\\" + kHyo)));
  EXPECT_TRUE(IsDirectory(deep));
  // The trail byte 0x5C of the last name is not a trailing separator.
  EXPECT_FALSE(Exists(dir / (kSo + "\\" + kHyo + "\\c")));

  // Existing folders, with and without one trailing '\'.
  EXPECT_TRUE(MakeDirectoryPath(deep));
  EXPECT_TRUE(MakeDirectoryPath(deep + "\\"));
  // Texts shorter than 3 characters and drive roots create nothing.
  EXPECT_TRUE(MakeDirectoryPath("C:"));
  EXPECT_TRUE(MakeDirectoryPath("ab"));
  EXPECT_TRUE(MakeDirectoryPath("C:\\"));
}

TEST(FileOps, MakeDirectoryPathCreatesOutermostFirstAndStopsAtAFileInTheWay) {
  TempDir dir("blocked");
  WriteFile(dir / "a", "a file where a folder should be");
  EXPECT_FALSE(MakeDirectoryPath(dir / "a\\b\\c"));
  EXPECT_FALSE(Exists(dir / "a\\b"));

  // The outer levels made before a failing one stay.
  CreateDirectoryW(text::Wide(dir / "x").c_str(), nullptr);
  WriteFile(dir / "x\\y", "in the way");
  EXPECT_FALSE(MakeDirectoryPath(dir / "x\\y\\z"));
  EXPECT_TRUE(IsDirectory(dir / "x"));
}

TEST(FileOps, MakeDirectoryPathRejectsTheEmptyPathAndBareRelativeNames) {
  for (const std::string path : {"", "abc"}) {
    try {
      MakeDirectoryPath(path);
      ADD_FAILURE() << "no exception for \"" << path << "\"";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "ディレクトリを作成することができません") << path;
    }
  }
  EXPECT_FALSE(MakeDirectoryPath("Q:\\no\\drive"));
}

using platform::BlockedOriginal;
using platform::FindBlockedOriginal;

platform::FileHandle Hold(const std::string& path, DWORD access, DWORD share) {
  return platform::FileHandle(
      CreateFileW(text::Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

constexpr DWORD kFullSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(Situation, FilesThatCanBeReplacedAreNotBlocked) {
  TempDir dir("situation-free");
  WriteFile(dir / kSo, "plain");
  WriteFile(dir / "shared", "open with every sharing");
  const platform::FileHandle shared = Hold(dir / "shared", GENERIC_READ | GENERIC_WRITE, kFullSharing);
  ASSERT_TRUE(shared);
  for (const std::string& path : {dir / kSo, dir / "missing", dir.Path(), dir / "shared"}) {
    EXPECT_FALSE(FindBlockedOriginal({path})) << path;
  }
}

TEST(Situation, AReadOnlyFileIsReportedFirstInOrder) {
  TempDir dir("situation-readonly");
  WriteFile(dir / "a", "a");
  WriteFile(dir / kHyo, "read-only");
  WriteFile(dir / "c", "c");
  SetFileAttributesW(text::Wide(dir / kHyo).c_str(), FILE_ATTRIBUTE_READONLY);
  const platform::FileHandle held = Hold(dir / "c", GENERIC_READ, 0);
  const auto blocked = FindBlockedOriginal({dir / "missing", dir / "a", dir / kHyo, dir / "c"});
  ASSERT_TRUE(blocked);
  EXPECT_EQ(blocked->why, BlockedOriginal::Why::kReadOnly);
  EXPECT_EQ(blocked->path, dir / kHyo);
}

TEST(Situation, AFileHeldWithoutDeleteSharingIsInUse) {
  TempDir dir("situation-held");
  WriteFile(dir / kSo, "held");
  // Writing is shared: only the delete sharing it lacks blocks a rename.
  const platform::FileHandle held = Hold(dir / kSo, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(held);
  const auto blocked = FindBlockedOriginal({dir / kSo});
  ASSERT_TRUE(blocked);
  EXPECT_EQ(blocked->why, BlockedOriginal::Why::kInUse);
  EXPECT_EQ(blocked->path, dir / kSo);
  // Wine's Restart Manager is a stub: whatever it gives, it must return.
  EXPECT_EQ(platform::ProgramHolding(dir / kSo), blocked->program);
}

TEST(Situation, ABriefLockIsWaitedOut) {
  TempDir dir("situation-brief");
  WriteFile(dir / "fresh", "scanned");
  platform::FileHandle held = Hold(dir / "fresh", GENERIC_READ, 0);
  ASSERT_TRUE(held);
  std::thread scanner([&held]() noexcept {
    Sleep(600);
    held.reset();
  });
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(FindBlockedOriginal({dir / "fresh"}));
  EXPECT_GE(GetTickCount64() - start, 500u);
  scanner.join();
}

TEST(Situation, ARunningProgramIsInUseUntilItEnds) {
  TempDir dir("situation-running");
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::string game = dir / "Game02.exe";
  ASSERT_TRUE(CopyFileW(self, text::Wide(game).c_str(), TRUE));
  // Suspended, it runs nothing, yet its image is mapped.
  std::wstring command = L"\"" + text::Wide(game) + L"\" --gtest_list_tests";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process));
  CloseHandle(process.hThread);
  const auto blocked = FindBlockedOriginal({game});
  TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hProcess);
  ASSERT_TRUE(blocked);
  EXPECT_EQ(blocked->why, BlockedOriginal::Why::kInUse);
  EXPECT_FALSE(FindBlockedOriginal({game}));
}

TEST(Situation, StagingRoundsEveryFileUpToWholeClusters) {
  struct Case {
    uint64_t size, cluster, taken;
  } cases[] = {
      {0, 4096, 0}, {1, 4096, 4096}, {4096, 4096, 4096}, {4097, 4096, 8192}, {513, 512, 1024},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ClusterRounded(c.size, c.cluster), c.taken) << c.size;

  DWORD sectors = 0, bytes = 0, free = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(L"C:\\", &sectors, &bytes, &free, &total));
  const platform::Space space = platform::StagingSpace("C:\\", {0, 1}, 1000);
  EXPECT_EQ(space.needed, 1000 + uint64_t{sectors} * bytes);
  EXPECT_GT(space.available, 0u);
  // A volume that cannot be asked refuses nothing.
  EXPECT_EQ(platform::StagingSpace("Q:\\nothing", {1}, 0).available, UINT64_MAX);
}

}  // namespace

// The program's own table of assigned CP932 double-byte codes (a record name
// with any other code is refused) agrees with the system's conversion: a code
// is in the table exactly when the system turns it into one character of its
// own, not into the default character that every unassigned code becomes.
TEST(Cp932Table, AgreesWithTheSystemsConversion) {
  int disagreements = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!pathrules::IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0x00; trail <= 0xFF; ++trail) {
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      wchar_t wide[2] = {};
      const bool decodes = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) == 1;
      if (decodes != pathrules::IsAssignedDoubleByte(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))) {
        if (++disagreements <= 10) ADD_FAILURE() << std::hex << lead << " " << trail << ": the system decodes it: " << decodes;
      }
    }
  }
  EXPECT_EQ(disagreements, 0);
}
