// Artwork generator: draws the installer's picture, icon and list glyphs and
// encodes them as Windows bitmap and icon files. Everything is computed with
// integer arithmetic or with IEEE basic operations only (no libm calls), so
// the output is byte-identical on every host and the checked-in files can be
// compared with a fresh run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace artgen {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// A palette image: one palette index per pixel, rows top-down.
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> palette;
  std::vector<std::uint8_t> pixels;
};

// A true-colour image, rows top-down.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
};

// --- file formats (formats.cpp) ---

// Uncompressed bottom-up BMP with a BITMAPINFOHEADER; bitsPerPixel 4 or 8.
// The colour table has exactly 2^bitsPerPixel entries (unused ones black).
Bytes EncodeBmp(const IndexedImage& image, int bitsPerPixel);

// The stored picture form: length byte 7, "TBitmap", 32-bit LE file length, file.
Bytes EncodeStoredPicture(const Bytes& bmpFile);

// Icon file with one 8-bpp image; mask[i] true marks pixel i transparent.
Bytes EncodeIcon(const IndexedImage& image, const std::vector<bool>& transparent);

// --- colour reduction (quantize.cpp) ---

// Reduces an RGB image to at most `colours` palette entries (median cut refined
// by k-means) and maps it with serpentine Floyd-Steinberg error diffusion.
// Entries listed in `fixed` come first in the palette and are always kept.
IndexedImage Quantize(const RgbImage& image, int colours, const std::vector<Rgb>& fixed,
                      bool dither);

// --- deterministic math (math.cpp) ---

double Sin(double x);
double Cos(double x);
double Clamp01(double x);
double SmoothStep(double edge0, double edge1, double x);

// --- the artwork ---

RgbImage RenderPicture();             // 256 x 256 setup-window picture
RgbImage RenderIcon(std::vector<bool>& transparent);  // 32 x 32 application icon

struct Glyph {
  std::string file;  // e.g. "floppy.bmp"
  IndexedImage image;
};
std::vector<Glyph> MakeGlyphs();
Rgb GlyphTransparentColour();

// Every generated file by name ("image1.bmp", "image1.stored", "app.ico", glyphs).
std::map<std::string, Bytes> GenerateAll();

}  // namespace artgen
