#include "chooser/ChooserRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using chooser::DriveKind;

// One pixel per byte: the width of a text is its length.
int ByteWidth(std::string_view s) { return static_cast<int>(s.size()); }

// Dots draw narrow: each shortening step is narrower than the one before.
int DotlessWidth(std::string_view s) {
  int w = 0;
  for (char c : s) w += c == '.' ? 0 : 1;
  return w;
}

TEST(MinimizeName, WalksFromTheFirstFolderToTheBareName) {
  const std::string path = "C:\\a\\b\\c\\name";  // 13 wide
  const std::pair<int, const char*> steps[] = {
      {100, "C:\\a\\b\\c\\name"}, {13, "C:\\a\\b\\c\\name"},
      {12, "C:\\...\\b\\c\\name"},    {11, "C:\\...\\c\\name"},
      {10, "C:\\...\\c\\name"},        {9, "C:\\...\\name"},
      {8, "C:\\...\\name"},             {7, "...\\name"},
      {5, "...\\name"},                  {4, "name"},
      {0, "name"},
  };
  for (const auto& [width, expected] : steps) {
    EXPECT_EQ(chooser::MinimizeName(path, width, DotlessWidth), expected) << "width " << width;
  }
  // A folder whose name starts with a dot is a folder, not an ellipsis: only
  // ".a" gives way, not ".a" and "b" together.
  EXPECT_EQ(chooser::MinimizeName("C:\\.a\\b\\c\\name", 12, DotlessWidth), "C:\\...\\b\\c\\name");
}

TEST(MinimizeName, KeepsPathsWithoutDriveAndTrailBytes) {
  // ソ (83 5C) and 表 (95 5C) end in a 0x5C byte that is not a separator.
  const std::string so = "\x83\x5C", hyo = "\x95\x5C";
  EXPECT_EQ(chooser::MinimizeName("C:\\" + so + "\\x\\" + hyo, 9, ByteWidth), "C:\\...\\" + hyo);
  EXPECT_EQ(chooser::MinimizeName("C:\\" + so + "\\" + hyo, 3, ByteWidth), hyo);
  // A root keeps its drive while it fits; a bare name is never cut.
  EXPECT_EQ(chooser::MinimizeName("C:\\", 3, ByteWidth), "C:\\");
  EXPECT_EQ(chooser::MinimizeName("longname", 1, ByteWidth), "longname");
  // A network path has no drive: its folders are cut like any others.
  EXPECT_EQ(chooser::MinimizeName("\\\\srv\\share\\d\\name", 12, ByteWidth), "\\...\\d\\name");
}

TEST(CutFirstDirectory, Cases) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\a\\b\\", "\\...\\b\\"}, {"\\...\\b\\", "\\...\\"}, {"\\...\\", "\\"},
      {"...\\", ""},              {"\\", ""},                {"a\\b\\", "...\\b\\"},
  };
  for (const auto& [in, expected] : cases) EXPECT_EQ(chooser::CutFirstDirectory(in), expected) << in;
}

TEST(DriveRowText, ByDriveType) {
  struct Case {
    char letter;
    DriveKind kind;
    const char* label;
    std::optional<std::string> net;
    std::optional<std::string> expected;
  } cases[] = {
      {'A', DriveKind::Removable, "FLOPPY", std::nullopt, "a:"},
      {'C', DriveKind::Fixed, "SYSTEM", std::nullopt, "c: [system]"},
      {'D', DriveKind::CdRom, "", std::nullopt, "d: []"},
      {'R', DriveKind::RamDisk, "Ram", std::nullopt, "r: [ram]"},
      {'N', DriveKind::Remote, "VOL", std::string("\\\\Server\\Share"), "n: \\\\server\\share"},
      {'N', DriveKind::Remote, "VOL", std::nullopt, "n: [vol]"},
      {'X', DriveKind::Unknown, "", std::nullopt, std::nullopt},
      {'Y', DriveKind::NoRoot, "", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(chooser::DriveRowText(c.letter, c.kind, c.label, c.net), c.expected) << c.letter;
  }
}

TEST(DriveRowText, LowerCasingLeavesDoubleByteCharactersAlone) {
  // ア is 83 41: its trail byte is 'A' and must not become 'a'.
  EXPECT_EQ(chooser::DriveRowText('E', DriveKind::Fixed, "\x83\x41X", std::nullopt), "e: [\x83\x41x]");
  EXPECT_EQ(chooser::LowerCaseCp932("AB\x82\x60Z"), "ab\x82\x60z");  // Ａ is 82 60
}

TEST(PathEntries, SplitsRootAndLevels) {
  using V = std::vector<std::string>;
  const std::string so = "\x83\x5C";
  struct Case {
    std::string folder;
    V entries;
    std::string last;  // the folder the last entry stands for
  } cases[] = {
      {"C:\\", V{"C:\\"}, "C:\\"},
      {"C:\\a", V{"C:\\", "a"}, "C:\\a"},
      {"C:\\Program Files\\kaster", V{"C:\\", "Program Files", "kaster"}, "C:\\Program Files\\kaster"},
      {"C:\\" + so + "\\b" + so, V{"C:\\", so, "b" + so}, "C:\\" + so + "\\b" + so},
      {"\\\\srv\\share\\", V{"\\\\srv\\share\\"}, "\\\\srv\\share\\"},
      {"\\\\srv\\share\\dir", V{"\\\\srv\\share\\", "dir"}, "\\\\srv\\share\\dir"},
      {"\\\\srv\\share", V{"\\\\srv\\share\\"}, "\\\\srv\\share\\"},
  };
  for (const auto& c : cases) {
    const V entries = chooser::PathEntries(c.folder);
    EXPECT_EQ(entries, c.entries) << c.folder;
    EXPECT_EQ(chooser::PathEntryFolder(entries, entries.size() - 1), c.last) << c.folder;
  }
  const V entries = chooser::PathEntries("C:\\a\\b\\c");
  EXPECT_EQ(chooser::PathEntryFolder(entries, 0), "C:\\");
  EXPECT_EQ(chooser::PathEntryFolder(entries, 1), "C:\\a");
  EXPECT_EQ(chooser::PathEntryFolder(entries, 2), "C:\\a\\b");
}

TEST(Indents, CountOnlySingleByteSeparators) {
  EXPECT_EQ(chooser::PathEntryIndent(0), 2);
  EXPECT_EQ(chooser::PathEntryIndent(3), 14);
  EXPECT_EQ(chooser::SubFolderIndent("C:\\"), 10);
  EXPECT_EQ(chooser::SubFolderIndent("C:\\a\\b"), 14);
  EXPECT_EQ(chooser::SubFolderIndent("C:\\\x83\x5C\\\x95\x5C"), 14);  // ソ and 表 hold no separator
}

TEST(StartFolder, PatternAndItsFolder) {
  const std::pair<const char*, const char*> patterns[] = {
      {"D:\\patch\\kaster", "D:\\patch\\kaster\\*.*"},
      {"D:\\new\\", "D:\\new\\*.*"},
      {"C:\\", "C:\\*.*"},
      {"C:\\\x83\x5C", "C:\\\x83\x5C\\*.*"},  // ends in ソ, not in a separator
      {"game", "game\\*.*"},
  };
  for (const auto& [folder, expected] : patterns) EXPECT_EQ(chooser::StartPattern(folder), expected) << folder;

  const std::pair<const char*, const char*> folders[] = {
      {"D:\\patch\\kaster\\*.*", "D:\\patch\\kaster"},
      {"C:\\*.*", "C:\\"},
      {"C:\\\x83\x5C\\*.*", "C:\\\x83\x5C"},
      {"\\\\srv\\share\\d\\*.*", "\\\\srv\\share\\d"},
  };
  for (const auto& [pattern, expected] : folders) EXPECT_EQ(chooser::PatternFolder(pattern), expected) << pattern;
}

}  // namespace
