// Folder and file tests and folder creation on real folders, including
// Japanese names whose second byte is 0x5C.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/Exceptions.h"
#include "platform/FileOps.h"
#include "text/PathRules.h"

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
