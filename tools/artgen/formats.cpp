// Windows bitmap, stored-picture and icon encoders.
#include "artgen.h"

#include <stdexcept>
#include <string_view>

namespace artgen {
namespace {

constexpr std::int32_t kPelsPerMeter = 3779;  // 96 dots per inch

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

int RowStride(int width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }

void PutInfoHeader(Bytes& out, int width, int height, int bitsPerPixel, std::uint32_t imageSize,
                   std::uint32_t coloursUsed, std::int32_t pelsPerMeter) {
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);  // planes
  Put16(out, static_cast<std::uint32_t>(bitsPerPixel));
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, static_cast<std::uint32_t>(pelsPerMeter));
  Put32(out, static_cast<std::uint32_t>(pelsPerMeter));
  Put32(out, coloursUsed);
  Put32(out, 0);  // every colour is important
}

void PutPalette(Bytes& out, const std::vector<Rgb>& palette, std::size_t entries) {
  if (palette.size() > entries) throw std::invalid_argument("palette too large");
  for (std::size_t i = 0; i < entries; ++i) {
    Rgb c = i < palette.size() ? palette[i] : Rgb{};
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
}

// Pixel rows bottom-up, each padded to a multiple of four bytes.
void PutPixels(Bytes& out, const IndexedImage& image, int bitsPerPixel) {
  const int stride = RowStride(image.width, bitsPerPixel);
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < image.width; ++x) {
      std::uint8_t index = image.pixels[y * image.width + x];
      if (bitsPerPixel == 8) {
        row[x] = index;
      } else {
        row[x / 2] |= (x % 2 == 0) ? static_cast<std::uint8_t>(index << 4) : index;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

}  // namespace

Bytes EncodeBmp(const IndexedImage& image, int bitsPerPixel) {
  if (bitsPerPixel != 4 && bitsPerPixel != 8) throw std::invalid_argument("bits per pixel");
  const std::uint32_t entries = 1u << bitsPerPixel;
  const std::uint32_t paletteBytes = entries * 4;
  const std::uint32_t imageSize = RowStride(image.width, bitsPerPixel) * image.height;
  const std::uint32_t offset = 14 + 40 + paletteBytes;

  Bytes out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + imageSize);
  Put32(out, 0);  // reserved
  Put32(out, offset);
  PutInfoHeader(out, image.width, image.height, bitsPerPixel, imageSize, entries, kPelsPerMeter);
  PutPalette(out, image.palette, entries);
  PutPixels(out, image, bitsPerPixel);
  return out;
}

Bytes EncodeStoredPicture(const Bytes& bmpFile) {
  static constexpr std::string_view kClass = "TBitmap";
  Bytes out;
  out.reserve(1 + kClass.size() + 4 + bmpFile.size());
  out.push_back(static_cast<std::uint8_t>(kClass.size()));
  for (char c : kClass) out.push_back(static_cast<std::uint8_t>(c));
  Put32(out, static_cast<std::uint32_t>(bmpFile.size()));
  out.insert(out.end(), bmpFile.begin(), bmpFile.end());
  return out;
}

Bytes EncodeIcon(const IndexedImage& image, const std::vector<bool>& transparent) {
  const int maskStride = RowStride(image.width, 1);
  const std::uint32_t xorSize = RowStride(image.width, 8) * image.height;
  const std::uint32_t andSize = maskStride * image.height;
  const std::uint32_t resSize = 40 + 256 * 4 + xorSize + andSize;

  Bytes out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // type: icon
  Put16(out, 1);  // one image
  out.push_back(static_cast<std::uint8_t>(image.width));
  out.push_back(static_cast<std::uint8_t>(image.height));
  out.push_back(0);  // colour count: 0 means 256 or more
  out.push_back(0);  // reserved
  Put16(out, 1);     // planes
  Put16(out, 8);     // bits per pixel
  Put32(out, resSize);
  Put32(out, 6 + 16);

  // Icon images carry twice the height: colour rows, then the AND mask rows.
  // Icons leave the colour count and resolution fields zero.
  PutInfoHeader(out, image.width, image.height * 2, 8, xorSize + andSize, 0, 0);
  PutPalette(out, image.palette, 256);
  PutPixels(out, image, 8);
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(maskStride, 0);
    for (int x = 0; x < image.width; ++x) {
      if (transparent[y * image.width + x]) row[x / 8] |= 0x80 >> (x % 8);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace artgen
