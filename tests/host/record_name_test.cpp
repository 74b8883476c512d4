#include "engine/RecordName.h"

#include <gtest/gtest.h>

#include <string>

using archive::IsSafeRecordName;

namespace {

struct NameCase {
  std::string name;
  bool safe;
};

// \x83\x5C is ソ and \x95\x5C is 表: their 0x5C is no separator.
const NameCase kNames[] = {
    {"version.txt", true},
    {"data\\bg001.bmp", true},
    {"a\\b\\c\\d.dat", true},
    {"\x95\x5C\x8E\xA6\\\x83\x5C\x81\x5B\x83\x68.txt", true},  // 表示\ソード.txt
    {"\x83\x5C", true},                                          // ends in a 0x5C trail byte
    {"\x83\x5C\\x", true},
    {"\xB1\xB2\xB3.txt", true},        // single-byte katakana
    {"a..b", true},
    {".hidden", true},
    {"console.txt", true},
    {"COM10", true},
    {std::string(255, 'a'), true},
    {"", false},
    {std::string(256, 'a'), false},
    {"..", false},
    {"..\\x", false},
    {"a\\..\\..\\x", false},
    {"a\\..", false},
    {".", false},
    {"a\\.\\b", false},
    {"...", false},
    {". .", false},
    {"a.", false},
    {"a ", false},
    {"a \\b", false},
    {"\\x", false},
    {"\\\\server\\share\\x", false},
    {"a\\\\b", false},
    {"a\\", false},
    {"c:x", false},
    {"C:\\Windows\\x.dll", false},
    {"x:stream", false},
    {"../x", false},
    {"a/b", false},
    {"a*b", false},
    {"a?b", false},
    {"a\"b", false},
    {"a<b", false},
    {"a>b", false},
    {"a|b", false},
    {"a\tb", false},
    {std::string("a\0b", 3), false},
    {"\x83", false},          // lead byte without its trail byte
    {"\x81\x2E\x2E", false},  // 0x2E is no trail byte: not CP932
    {"\x83\x3A", false},      // nor is 0x3A
    // Codes without a character: Windows turns them all into one default character.
    {"a\x85\x40.txt", false},    // row 9, unassigned
    {"\x87\x5E", false},         // gap in NEC row 13
    {"\xEB\x9F\\x", false},     // in a folder level
    {"x\xFC\x4C", false},        // past the IBM extensions
    {"\x87\x5F\xFC\x4B", true},  // the codes beside those gaps
    {"\xF0\x40.dat", true},      // user-defined area: one to one to U+E000
    {"CON", false},
    {"con.txt", false},
    {"data\\NUL", false},
    {"aux .dat", false},
    {"COM1", false},
    {"lpt9.txt", false},
    {"PRN", false},
};

TEST(IsSafeRecordName, Table) {
  for (const NameCase& c : kNames) {
    EXPECT_EQ(IsSafeRecordName(c.name), c.safe) << '"' << c.name << '"';
  }
}

}  // namespace
