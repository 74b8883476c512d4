#include "text/PathRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packlib/HostNames.h"

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

// The levels a run checks for links, outermost first, below the root.
TEST(PathRules, LevelsBelowTheRoot) {
  using Levels = std::vector<std::string>;
  const struct {
    std::string path;
    Levels levels;
  } cases[] = {
      {"C:\\a\\b", {"C:\\a", "C:\\a\\b"}},
      {"C:\\a\\b\\", {"C:\\a", "C:\\a\\b"}},
      {"C:\\", {}},
      {"R:\\\\x", {"R:\\\\x"}},  // a doubled separator adds no level
      {"\\\\srv\\share", {}},
      {"\\\\srv\\share\\games\\kaster", {"\\\\srv\\share\\games", "\\\\srv\\share\\games\\kaster"}},
      {"C:\\\x83\x5C\\\x95\x5C", {"C:\\\x83\x5C", "C:\\\x83\x5C\\\x95\x5C"}},  // trail bytes 0x5C
      {"a\\b", {"a", "a\\b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(pathrules::Levels(c.path), c.levels);
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

// The edges of CP932's two lead-byte ranges, 0x81-0x9F and 0xE0-0xFC.
TEST(PathRules, LeadByteRanges) {
  const struct {
    unsigned char byte;
    bool lead;
  } edges[] = {{0x00, false}, {0x5C, false}, {0x7F, false}, {0x80, false}, {0x81, true},  {0x9F, true},
               {0xA0, false}, {0xA1, false}, {0xDF, false}, {0xE0, true},  {0xFC, true},  {0xFD, false},
               {0xFF, false}};
  for (const auto& e : edges) {
    EXPECT_EQ(pathrules::IsLeadByte(e.byte), e.lead) << std::hex << int{e.byte};
    // Followed by a 0x5C, the byte is one character with it or one of its own;
    // at the end of the text it is always one of its own.
    const std::string pair = {static_cast<char>(e.byte), '\\'};
    EXPECT_EQ(pathrules::NextChar(pair, 0), e.lead ? 2u : 1u) << std::hex << int{e.byte};
    EXPECT_EQ(pathrules::NextChar(pair.substr(0, 1), 0), 1u) << std::hex << int{e.byte};
  }
}

// The edges of every kind of gap in code page 932: (lead, trail, assigned).
TEST(PathRules, AssignedDoubleByteEdges) {
  struct Code {
    unsigned char lead, trail;
    bool assigned;
  };
  const Code codes[] = {
      {0x81, 0x3F, false}, {0x81, 0x40, true},  {0x81, 0x7E, true},  {0x81, 0x7F, false},
      {0x81, 0x80, true},  {0x81, 0xAC, true},  {0x81, 0xAD, false}, {0x81, 0xFB, false},
      {0x81, 0xFC, true},  {0x81, 0xFD, false}, {0x82, 0x4E, false}, {0x82, 0x4F, true},
      {0x84, 0xBE, true},  {0x84, 0xBF, false},
      {0x85, 0x40, false}, {0x86, 0x40, false}, {0x86, 0x9F, false},  // rows 9-12
      {0x87, 0x40, true},  {0x87, 0x5D, true},  {0x87, 0x5E, false}, {0x87, 0x5F, true},   // NEC row 13
      {0x87, 0x75, true},  {0x87, 0x76, false}, {0x87, 0x7D, false}, {0x87, 0x7E, true},
      {0x87, 0x80, true},  {0x87, 0x9C, true},  {0x87, 0x9D, false}, {0x87, 0xFC, false},
      {0x88, 0x9E, false}, {0x88, 0x9F, true},  {0x98, 0x72, true},  {0x98, 0x73, false},  // kanji
      {0x98, 0x9E, false}, {0x98, 0x9F, true},  {0x9F, 0xFC, true},  {0xE0, 0x40, true},
      {0xEA, 0xA4, true},  {0xEA, 0xA5, false},
      {0xEB, 0x40, false}, {0xEC, 0x9F, false}, {0xEF, 0x40, false}, {0xEF, 0xFC, false},
      {0xED, 0x40, true},  {0xED, 0xFC, true},  {0xEE, 0xEC, true},  {0xEE, 0xED, false},  // NEC-selected IBM
      {0xEE, 0xEE, false}, {0xEE, 0xEF, true},  {0xEE, 0xFC, true},
      {0xF0, 0x40, true},  {0xF9, 0xFC, true},  {0xF5, 0x7F, false},  // user-defined area
      {0xFA, 0x40, true},  {0xFC, 0x4B, true},  {0xFC, 0x4C, false}, {0xFC, 0xFC, false},  // IBM
      {0x80, 0x40, false}, {0xA0, 0x40, false}, {0xFD, 0x40, false}, {0x41, 0x40, false},  // no lead byte
  };
  for (const Code& c : codes) {
    EXPECT_EQ(pathrules::IsAssignedDoubleByte(c.lead, c.trail), c.assigned)
        << std::hex << static_cast<int>(c.lead) << ' ' << static_cast<int>(c.trail);
  }
}

// The packer converts names with iconv and the installer refuses codes this
// table lacks: both must agree on every code, and the runs must be sorted and
// apart so that lookups and the Windows tier's walk over them hold.
TEST(PathRules, AssignedDoubleBytesAreExactlyWhatIconvDecodes) {
  size_t codes = 0;
  for (unsigned lead = 0; lead < 256; ++lead) {
    for (unsigned trail = 0; trail < 256; ++trail) {
      // Two bytes that iconv decodes and whose first is a lead byte make one character.
      const bool one = pathrules::IsLeadByte(static_cast<unsigned char>(lead)) &&
                       packer::Cp932ToUtf8(std::string{static_cast<char>(lead), static_cast<char>(trail)});
      ASSERT_EQ(pathrules::IsAssignedDoubleByte(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)), one)
          << std::hex << lead << ' ' << trail;
      codes += one;
    }
  }
  EXPECT_EQ(codes, 9604u);
  const auto runs = pathrules::AssignedDoubleByteRuns();
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_LE(runs[i].first, runs[i].last);
    if (i == 0) continue;
    EXPECT_GE(runs[i].lead, runs[i - 1].lead);
    if (runs[i].lead == runs[i - 1].lead) {
      EXPECT_GT(runs[i].first, runs[i - 1].last + 1);
    }
  }
}

}  // namespace
