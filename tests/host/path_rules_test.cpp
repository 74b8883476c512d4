#include "filesys/PathRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// CP932 bytes are written out: \x83\x5C is ソ, \x95\x5C is 表, \x94\x5C is 能;
// their 0x5C is a trail byte, never a separator.
struct PathCase {
  std::string path;
  std::string parent;
  std::string folderPart;
  std::string withoutTrailing;
  bool endsWithDelimiter;
  bool endsWithDoubleByte;
};

const PathCase kPaths[] = {
    // path                          parent              folder part          without trailing '\'
    {"C:\\a\\b", "C:\\a\\", "C:\\a", "C:\\a\\b", false, false},
    {"C:\\a", "C:\\", "C:\\", "C:\\a", false, false},
    {"C:\\a\\", "C:\\a\\", "C:\\a", "C:\\a", true, false},
    {"C:\\", "C:\\", "C:\\", "C:", true, false},
    {"C:", "C:", "", "C:", false, false},
    {"abc", "", "", "abc", false, false},
    {"", "", "", "", false, false},
    {"\\", "\\", "", "", true, false},
    {"C:\\g\\\\f", "C:\\g\\\\", "C:\\g\\\\", "C:\\g\\\\f", false, false},
    {"C:\\\x83\x5C", "C:\\", "C:\\", "C:\\\x83\x5C", false, true},
    {"C:\\\x83\x5C\\", "C:\\\x83\x5C\\", "C:\\\x83\x5C", "C:\\\x83\x5C", true, false},
    {"C:\\\x95\x5C\\\x94\x5C.txt", "C:\\\x95\x5C\\", "C:\\\x95\x5C", "C:\\\x95\x5C\\\x94\x5C.txt", false, false},
    {"\x83\x5C\x95\x5C", "", "", "\x83\x5C\x95\x5C", false, true},
    {"a\x83\x5C\\b", "a\x83\x5C\\", "a\x83\x5C", "a\x83\x5C\\b", false, false},
    // A lead byte as the last byte swallows nothing.
    {"a\\\x83", "a\\", "a", "a\\\x83", false, false},
    // 0x5C after a single-byte katakana (0xB1) is a separator.
    {"\xB1\\x", "\xB1\\", "\xB1", "\xB1\\x", false, false},
    {"x:\\\x83\x5C:y", "x:\\\x83\x5C:", "x:\\", "x:\\\x83\x5C:y", false, false},
};

TEST(PathRules, PathTable) {
  for (const PathCase& c : kPaths) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(pathrules::Parent(c.path), c.parent);
    EXPECT_EQ(pathrules::FolderPart(c.path), c.folderPart);
    EXPECT_EQ(pathrules::WithoutTrailingDelimiter(c.path), c.withoutTrailing);
    EXPECT_EQ(pathrules::EndsWithDelimiter(c.path), c.endsWithDelimiter);
    EXPECT_EQ(pathrules::EndsWithDoubleByte(c.path), c.endsWithDoubleByte);
  }
}

TEST(PathRules, CharacterStartsAndDelimiters) {
  // index:            0   1   2   3   4   5   6
  const std::string s = "a\x83\x5C\\\x95\x5C";
  const bool starts[] = {true, true, false, true, true, false};
  const bool delimiters[] = {false, false, false, true, false, false};
  for (size_t i = 0; i < s.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pathrules::IsCharStart(s, i), starts[i]);
    EXPECT_EQ(pathrules::IsPathDelimiter(s, i), delimiters[i]);
  }
  EXPECT_TRUE(pathrules::IsCharStart(s, s.size()));
  EXPECT_FALSE(pathrules::IsPathDelimiter(s, s.size()));
  EXPECT_EQ(pathrules::LastDelimiter(s, "\\"), 3u);
  EXPECT_EQ(pathrules::LastDelimiter("\x83\x5C", "\\"), std::string::npos);
}

TEST(PathRules, LeadByteRanges) {
  for (int b = 0; b < 256; ++b) {
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(pathrules::IsLeadByte(static_cast<unsigned char>(b)), lead) << b;
  }
}

}  // namespace
