// Checks the generated files' byte layouts and that the copies checked in
// under src/ui/res are exactly what the generator makes now.
#include "artgen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using artgen::Bytes;

const std::map<std::string, Bytes>& Generated() {
  static const std::map<std::string, Bytes> files = artgen::GenerateAll();
  return files;
}

std::uint32_t U16(const Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

struct BmpInfo {
  std::uint32_t fileSize, offset, headerSize, width, height, planes, bits, compression, xPels, yPels,
      coloursUsed;
};

// Reads a BMP file header and info header starting at `at`.
BmpInfo ReadBmp(const Bytes& b, std::size_t at = 0) {
  EXPECT_EQ(b.at(at), 'B');
  EXPECT_EQ(b.at(at + 1), 'M');
  return {U32(b, at + 2),  U32(b, at + 10), U32(b, at + 14), U32(b, at + 18),
          U32(b, at + 22), U16(b, at + 26), U16(b, at + 28), U32(b, at + 30),
          U32(b, at + 38), U32(b, at + 42), U32(b, at + 46)};
}

// Palette colour of the pixel at (x, y), y counted from the top, of an
// uncompressed bottom-up 4- or 8-bpp BMP.
artgen::Rgb PixelAt(const Bytes& b, const BmpInfo& info, int x, int y) {
  const std::uint32_t stride = (info.width * info.bits + 31) / 32 * 4;
  const std::size_t row = info.offset + (info.height - 1 - y) * stride;
  std::uint32_t index = b.at(row + x * info.bits / 8);
  if (info.bits == 4) index = (x % 2 == 0) ? index >> 4 : index & 0x0F;
  const std::size_t entry = 14 + info.headerSize + index * 4;
  return {b.at(entry + 2), b.at(entry + 1), b.at(entry)};
}

TEST(Picture, StoredFormIsClassNameLengthAndBitmapFile) {
  const Bytes& stored = Generated().at("image1.stored");
  ASSERT_EQ(stored.size(), 66626u);
  EXPECT_EQ(stored[0], 7);
  EXPECT_EQ(std::string(stored.begin() + 1, stored.begin() + 8), "TBitmap");
  EXPECT_EQ(U32(stored, 8), 66614u);
  EXPECT_TRUE(std::equal(stored.begin() + 12, stored.end(), Generated().at("image1.bmp").begin()));

  const BmpInfo info = ReadBmp(stored, 12);
  EXPECT_EQ(info.fileSize, 66614u);
  EXPECT_EQ(info.offset, 1078u);
  EXPECT_EQ(info.headerSize, 40u);
  EXPECT_EQ(info.width, 256u);
  EXPECT_EQ(info.height, 256u);  // positive: rows bottom-up
  EXPECT_EQ(info.planes, 1u);
  EXPECT_EQ(info.bits, 8u);
  EXPECT_EQ(info.compression, 0u);
  EXPECT_EQ(info.xPels, 3779u);
  EXPECT_EQ(info.yPels, 3779u);
  EXPECT_EQ(info.coloursUsed, 256u);
  EXPECT_EQ(U32(stored, 12 + 34), 65536u);  // image size
}

double Luminance(artgen::Rgb c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// The bold white title label lies over the picture's right edge (x 224..255,
// y 68..133 in picture coordinates); it must stay readable there. The edges
// fade into the black window while the emblem in the middle is lit.
TEST(Picture, TitleCornerIsDarkAndEmblemIsLit) {
  const Bytes& bmp = Generated().at("image1.bmp");
  const BmpInfo info = ReadBmp(bmp);
  double title = 0, brightest = 0;
  for (int y = 68; y <= 133; ++y) {
    for (int x = 224; x <= 255; ++x) {
      const double l = Luminance(PixelAt(bmp, info, x, y));
      title += l;
      brightest = std::max(brightest, l);
    }
  }
  EXPECT_LT(title / (32 * 66), 24.0);
  EXPECT_LT(brightest, 110.0);
  double centre = 0;
  for (int y = 96; y < 160; ++y)
    for (int x = 90; x < 150; ++x) centre += Luminance(PixelAt(bmp, info, x, y));
  EXPECT_GT(centre / (64 * 60), 80.0);
}

TEST(Icon, OneImage32x32At8BitsWithMask) {
  const Bytes& ico = Generated().at("app.ico");
  ASSERT_GE(ico.size(), 22u);
  EXPECT_EQ(U16(ico, 0), 0u);
  EXPECT_EQ(U16(ico, 2), 1u);  // icon, not cursor
  EXPECT_EQ(U16(ico, 4), 1u);  // one image
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[7], 32);
  EXPECT_EQ(ico[8], 0);  // 256 colours
  EXPECT_EQ(U16(ico, 10), 1u);
  EXPECT_EQ(U16(ico, 12), 8u);
  const std::uint32_t bytes = U32(ico, 14), offset = U32(ico, 18);
  EXPECT_EQ(offset, 22u);
  EXPECT_EQ(offset + bytes, ico.size());
  EXPECT_EQ(bytes, 40u + 1024u + 32u * 32u + 32u * 4u);

  EXPECT_EQ(U32(ico, offset), 40u);
  EXPECT_EQ(U32(ico, offset + 4), 32u);
  EXPECT_EQ(U32(ico, offset + 8), 64u);  // colour rows and mask rows
  EXPECT_EQ(U16(ico, offset + 14), 8u);
  EXPECT_EQ(U32(ico, offset + 16), 0u);

  // A round badge: the corners show the desktop, the middle is opaque, and
  // transparent pixels are black so the AND/XOR drawing leaves the desktop as is.
  const std::size_t xorBits = offset + 40 + 1024, mask = xorBits + 1024;
  auto transparent = [&](int x, int y) { return (ico.at(mask + (31 - y) * 4 + x / 8) >> (7 - x % 8) & 1) != 0; };
  EXPECT_TRUE(transparent(0, 0));
  EXPECT_TRUE(transparent(31, 31));
  EXPECT_FALSE(transparent(16, 16));
  EXPECT_FALSE(transparent(16, 1));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (!transparent(x, y)) continue;
      const std::size_t entry = offset + 40 + ico.at(xorBits + (31 - y) * 32 + x) * 4;
      EXPECT_EQ(U32(ico, entry), 0u) << "transparent pixel " << x << "," << y << " not black";
    }
  }
}

// Each glyph is drawn transparently in the lists, keyed by its bottom-left pixel.
TEST(Glyphs, SmallFourBitBitmapsOnAKeyColour) {
  const artgen::Rgb key = artgen::GlyphTransparentColour();
  for (const char* name : {"floppy.bmp", "hard.bmp", "network.bmp", "cdrom.bmp", "ram.bmp", "openfolder.bmp",
                           "currentfolder.bmp", "closedfolder.bmp", "executable.bmp", "unknownfile.bmp"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Generated().count(name));
    const Bytes& bmp = Generated().at(name);
    const BmpInfo info = ReadBmp(bmp);
    EXPECT_EQ(info.fileSize, bmp.size());
    EXPECT_EQ(info.headerSize, 40u);
    EXPECT_EQ(info.width, 16u);
    EXPECT_EQ(info.height, 16u);
    EXPECT_EQ(info.bits, 4u);
    EXPECT_EQ(info.compression, 0u);
    EXPECT_EQ(info.coloursUsed, 16u);
    EXPECT_EQ(info.offset, 14u + 40u + 16u * 4u);
    EXPECT_EQ(info.offset + 16u * 8u, bmp.size());

    EXPECT_EQ(PixelAt(bmp, info, 0, 15), key);
    // The key colour may appear only in its own palette entry, or parts of the
    // drawing would vanish; and the drawing must cover a fair share of the cell.
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += !(PixelAt(bmp, info, x, y) == key);
    EXPECT_GT(opaque, 60);
    int keyEntries = 0;
    for (int i = 0; i < 16; ++i) keyEntries += bmp[54 + i * 4 + 2] == key.r && bmp[54 + i * 4 + 1] == key.g && bmp[54 + i * 4] == key.b;
    EXPECT_EQ(keyEntries, 1);
  }
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CheckedIn, ResourceFilesMatchTheGenerator) {
  EXPECT_EQ(Generated().size(), 13u);
  for (const auto& [name, bytes] : Generated()) {
    SCOPED_TRACE(name);
    const Bytes onDisk = ReadFile(std::string(ARTGEN_RES_DIR) + "/" + name);
    ASSERT_FALSE(onDisk.empty()) << "missing; run tools/artgen/regenerate.sh";
    EXPECT_TRUE(onDisk == bytes) << "differs from the generator; run tools/artgen/regenerate.sh";
  }
}

}  // namespace
