// Byte rules of the text helpers, the error box text and the stored picture.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "forms/ErrorText.h"
#include "forms/StoredPicture.h"
#include "text/LineRules.h"

namespace {

// Reads `bytes` the way TLibrary::ReadLines reads a file.
int Read(const std::string& bytes, std::vector<std::string>& lines, uint32_t maxLines, const char* mode) {
  size_t at = 0;
  return text::ReadLinesFrom([&] { return at < bytes.size() ? static_cast<unsigned char>(bytes[at++]) : -1; },
                                lines.data(), maxLines, mode);
}

TEST(ReadLinesFrom, FollowsTheTextAndInvertedModes) {
  struct Case {
    std::string bytes;
    const char* mode;
    uint32_t maxLines;
    int count;
    std::vector<std::string> lines;
  } cases[] = {
      {"1.260\r\n", "rt", 1, 1, {"1.260"}},
      {"1.260", "rt", 1, 0, {"1.260"}},
      {"a\nb\n", "rt", 1, 1, {"a"}},
      {"a\n\nb", "rt", 3, 2, {"a", "", "b"}},
      {"ab\x1A" "c\n", "rt", 1, 0, {"ab"}},
      {"\r\ra\r", "r", 1, 0, {"a"}},                // any mode without 'b' is text
      {std::string("\0\n", 2), "rt", 1, 1, {std::string(1, '\0')}},
      {"\x9E\xF5", "rb", 1, 1, {"a"}},
      {"\x9E\xF2\xF5", "rb", 1, 1, {"a\r"}},       // an inverted CR stays
      {"\x1A\xE5\xF5", "rb", 1, 1, {"\xE5\x1A"}},  // no Ctrl-Z end in binary mode
      {"\x9E\r\n", "rb+", 1, 1, {"\x9E\r"}},        // only exactly "rb" inverts
      {"a\n", "rt", 0, 0, {""}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines(c.lines.size());
    EXPECT_EQ(Read(c.bytes, lines, c.maxLines, c.mode), c.count) << c.bytes;
    EXPECT_EQ(lines, c.lines) << c.bytes;
  }
}

TEST(ReadLinesFrom, AppendsAndStopsAfterTheLastWantedLine) {
  std::vector<std::string> lines{"x"};
  std::string bytes = "a\nb\n";
  size_t at = 0;
  auto next = [&] { return at < bytes.size() ? static_cast<unsigned char>(bytes[at++]) : -1; };
  EXPECT_EQ(text::ReadLinesFrom(next, lines.data(), 1, "rt"), 1);
  EXPECT_EQ(lines[0], "xa");
  EXPECT_EQ(at, 2u);  // nothing after the line feed was read
}

TEST(ReplaceFirst, ReplacesOnlyTheFirstOccurrenceByteWise) {
  struct Case {
    std::string text, from, to, result;
    int replaced;
  } cases[] = {
      {"TITLE プログラム", "TITLE", "0(カリオン)のAster", "0(カリオン)のAster プログラム", 1},
      {"TITLE TITLE", "TITLE", "x", "x TITLE", 1},
      {"title", "TITLE", "x", "title", 0},
      {"abc", "", "x", "abc", 0},
      {"", "a", "x", "", 0},
      {"abc", "b", "", "ac", 1},
      // Byte-wise: the trail byte of ソ (83 5C) matches a lone '\'.
      {"ソ", "\\", "/", "\x83/", 1},
  };
  for (Case c : cases) {
    EXPECT_EQ(text::ReplaceFirst(c.text, c.from, c.to), c.replaced) << c.result;
    EXPECT_EQ(c.text, c.result);
  }
}

// The version line goes into the shortcut's name only when it is a plain part
// of one name: a path step, a colon or a control byte would move or break it.
TEST(IsNamePart, RefusesSeparatorsReservedCharactersAndBrokenCharacters) {
  struct Case {
    std::string text;
    bool usable;
  } cases[] = {
      {"", true},
      {"1.260", true},
      {" 1.263 ", true},
      {"版1", true},
      {"ソ表", true},                 // 83 5C and 95 5C: trail bytes, not separators
      {"\x81\x7C", true},             // a 0x7C trail byte is no '|'
      {"\\..\\..\\Documents", false},
      {"a/b", false},
      {"1:2", false},
      {"a*", false},
      {"a?", false},
      {"\"a\"", false},
      {"<a>", false},
      {"a|b", false},
      {"1.264\t", false},
      {std::string("a\0b", 3), false},
      {"a\x7F", false},
      {"\x83", false},                // a lead byte without its trail byte
      {"a\x83\x0A", false},           // a lead byte before a byte no trail byte can be
  };
  for (const Case& c : cases) EXPECT_EQ(text::IsNamePart(c.text), c.usable) << c.text;
}

TEST(ErrorBoxText, AppendsAPeriodAfterDoubleByteCharactersAndBytesAboveIt) {
  struct Case {
    std::string message, shown;
  } cases[] = {
      {"Disk full", "Disk full."}, {"9", "9."},       {"Done.", "Done."}, {"Stop!", "Stop!"},
      {"a, ", "a, "},             {"a-", "a-"},      {"a/", "a/."},      {"", ""},
      {"ありません", "ありません."}, {"ソ", "ソ."},     {"ｱ", "ｱ."},  // half-width kana is one byte above '.'
  };
  for (const Case& c : cases) EXPECT_EQ(forms::ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(StoredPicture, AcceptsTheCheckedInPictureAndRejectsDamagedForms) {
  std::ifstream in(PS_SOURCE_DIR "/src/ui/res/image1.stored", std::ios::binary);
  std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), 66626u);
  const auto bmp = forms::StoredPictureBitmap(stored.data(), stored.size());
  ASSERT_TRUE(bmp.Valid());
  EXPECT_EQ(bmp.Offset, 12u);
  EXPECT_EQ(bmp.Length, 66614u);
  EXPECT_EQ(bmp.Width, 256);
  EXPECT_EQ(bmp.Height, 256);
  EXPECT_EQ(bmp.BitsPerPixel, 8);

  auto damaged = [&](size_t at, uint8_t value, size_t size) {
    std::vector<uint8_t> copy(stored.begin(), stored.begin() + static_cast<long>(size));
    if (at < copy.size()) copy[at] = value;
    return !forms::StoredPictureBitmap(copy.data(), copy.size()).Valid();
  };
  EXPECT_TRUE(damaged(0, 6, stored.size()));         // class name length
  EXPECT_TRUE(damaged(1, 'X', stored.size()));       // class name
  EXPECT_TRUE(damaged(10, 0xFF, stored.size()));     // file length beyond the data
  EXPECT_TRUE(damaged(12, 'X', stored.size()));      // not a bitmap file
  EXPECT_TRUE(damaged(0, 7, stored.size() - 100));   // pixel data cut short
  EXPECT_TRUE(damaged(0, 7, 20));
  EXPECT_FALSE(forms::StoredPictureBitmap(nullptr, 0).Valid());
}

}  // namespace
