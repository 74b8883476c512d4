// The list glyphs of the directory chooser: drives, folders and files, drawn
// as 16 x 16 pixel art over magenta, which the lists treat as transparent
// (the colour of each bitmap's bottom-left pixel).
#include "artgen.h"

#include <stdexcept>

namespace artgen {
namespace {

// One letter per palette entry; '.' is the transparent background.
constexpr char kKeys[] = ".kdglwYyobcnGers";
const std::vector<Rgb> kPalette = {
    {255, 0, 255},    // . transparent
    {0, 0, 0},        // k black outline
    {72, 72, 80},     // d dark grey
    {128, 128, 136},  // g grey
    {196, 198, 204},  // l light grey
    {255, 255, 255},  // w white
    {255, 216, 104},  // Y folder yellow
    {224, 168, 48},   // y folder shade
    {136, 88, 16},    // o folder outline
    {40, 88, 208},    // b blue
    {132, 208, 255},  // c light cyan
    {16, 32, 112},    // n navy
    {48, 192, 80},    // G green
    {0, 96, 48},      // e dark green
    {216, 40, 40},    // r red
    {232, 236, 244},  // s silver
};

using Art = std::vector<const char*>;

IndexedImage FromArt(const Art& art) {
  IndexedImage image{16, 16, kPalette, {}};
  if (art.size() != 16) throw std::logic_error("glyph art must have 16 rows");
  for (const char* row : art) {
    for (int x = 0; x < 16; ++x) {
      const char* key = row[x] ? std::char_traits<char>::find(kKeys, 16, row[x]) : nullptr;
      if (!key) throw std::logic_error("glyph art row of wrong width or unknown colour");
      image.pixels.push_back(static_cast<std::uint8_t>(key - kKeys));
    }
    if (row[16]) throw std::logic_error("glyph art row too long");
  }
  return image;
}

const Art kFloppy = {
    "................", ".kkkkkkkkkkkkk..", ".kbblllllgllbbk.", ".kbblllllgllbbk.",
    ".kbblllllgllbbk.", ".kbbllllllllbbk.", ".kbbbbbbbbbbbbk.", ".kbbbbbbbbbbbbk.",
    ".kbwwwwwwwwwwbk.", ".kbwllllllllwbk.", ".kbwwwwwwwwwwbk.", ".kbwllllllllwbk.",
    ".kbwwwwwwwwwwbk.", ".kbwwwwwwwwwwbk.", ".kkkkkkkkkkkkkk.", "................",
};

const Art kHard = {
    "................", "................", "................", "................",
    ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwwk.", ".kwllllllllllgk.", ".kwllllllllllgk.",
    ".kwldddddddllgk.", ".kwllllllllGlgk.", ".kgggggggggggdk.", ".kkkkkkkkkkkkkk.",
    "................", "................", "................", "................",
};

const Art kNetwork = {
    "................", "................", "..kkkkkkkkkkkk..", "..kwwwwwwwwwwk..",
    "..kwllllllllgk..", "..kwllllllGlgk..", "..kgggggggggdk..", "..kkkkkkkkkkkk..",
    ".......dd.......", ".......dd.......", "..kk...dd...kk..", "..kkbbbbbbbbkk..",
    "..kk........kk..", "................", "................", "................",
};

const Art kCdrom = {
    "................", ".....gggggg.....", "...ggssssssgg...", "..gwwssssssccg..",
    "..gwwwsssscccg..", ".gsswwllllccllg.", ".gsssllgglllllg.", ".gssslg..gllllg.",
    ".gssslg..gllllg.", ".gsssllgglllllg.", ".gssslllllccllg.", "..gsllllllcccg..",
    "..gllllllllccg..", "...ggllllllgg...", ".....gggggg.....", "................",
};

const Art kRam = {
    "................", "................", "................", ".eeeeeeeeeeeeeee",
    ".eGGGGGGGGGGGGGe", ".eGkkkGkkkGkkkGe", ".eGkkkGkkkGkkkGe", ".eGkkkGkkkGkkkGe",
    ".eGGGGGGGGGGGGGe", ".eGyGyGyGyGyGyGe", ".eGyGyGy.yGyGyGe", ".eeeeeee.eeeeeee",
    "................", "................", "................", "................",
};

const Art kClosedFolder = {
    "................", "................", "................", "..oooo..........",
    ".oYYYYo.........", ".oYYYYYoooooooo.", ".oYwwwwwwwwwwYo.", ".oYYYYYYYYYYYyo.",
    ".oYYYYYYYYYYYyo.", ".oYYYYYYYYYYYyo.", ".oYYYYYYYYYYYyo.", ".oYYYYYYYYYYYyo.",
    ".oyyyyyyyyyyyyo.", ".oooooooooooooo.", "................", "................",
};

const Art kOpenFolder = {
    "................", "................", "................", "..oooo..........",
    ".oYYYYo.........", ".oYYYYYooooooo..", ".oYwwwwwwwwwwo..", ".oYwoooooooooooo",
    ".oYoYYYYYYYYYYo.", ".oYoYYYYYYYYYo..", ".ooYYYYYYYYYyo..", ".ooYYYYYYYYyo...",
    ".oYYYYYYYYyo....", ".oooooooooo.....", "................", "................",
};

const Art kCurrentFolder = {
    "................", "................", ".....ggggggg....", "..ooogwwwwwg....",
    ".oYYYgwbbbwg....", ".oYYYgwwwwwgoo..", ".oYYYgwbbbwgYo..", ".oYwoooooooooooo",
    ".oYoYYYYYYYYYYo.", ".oYoYYYYYYYYYo..", ".ooYYYYYYYYYyo..", ".ooYYYYYYYYyo...",
    ".oYYYYYYYYyo....", ".oooooooooo.....", "................", "................",
};

const Art kExecutable = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".knnnnnnnnnnrrk.",
    ".knnnnnnnnnnrrk.", ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwlk.", ".kwbbbwwwwwwwlk.",
    ".kwbbbwllllwwlk.", ".kwbbbwwwwwwwlk.", ".kwwwwwllllwwlk.", ".kwwwwwwwwwwwlk.",
    ".klllllllllllgk.", ".kkkkkkkkkkkkkk.", "................", "................",
};

const Art kUnknownFile = {
    "................", "..kkkkkkkkk.....", "..kwwwwwwwkk....", "..kwwwwwwwklk...",
    "..kwwwwwwwkllk..", "..kwwwwwwwkkkkk.", "..kwwwwwwwwwwlk.", "..kwwwwwwwwwwlk.",
    "..kwwwwwwwwwwlk.", "..kwwwwwwwwwwlk.", "..kwwwwwwwwwwlk.", "..kwwwwwwwwwwlk.",
    "..kwwwwwwwwwwlk.", "..kllllllllllgk.", "..kkkkkkkkkkkkk.", "................",
};

}  // namespace

Rgb GlyphTransparentColour() { return kPalette[0]; }

std::vector<Glyph> MakeGlyphs() {
  return {
      {"floppy.bmp", FromArt(kFloppy)},
      {"hard.bmp", FromArt(kHard)},
      {"network.bmp", FromArt(kNetwork)},
      {"cdrom.bmp", FromArt(kCdrom)},
      {"ram.bmp", FromArt(kRam)},
      {"openfolder.bmp", FromArt(kOpenFolder)},
      {"currentfolder.bmp", FromArt(kCurrentFolder)},
      {"closedfolder.bmp", FromArt(kClosedFolder)},
      {"executable.bmp", FromArt(kExecutable)},
      {"unknownfile.bmp", FromArt(kUnknownFile)},
  };
}

}  // namespace artgen
