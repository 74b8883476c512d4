#include "forms/StoredPicture.h"

#include <cstring>

namespace forms {

namespace {
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
}  // namespace

StoredBitmap StoredPictureBitmap(const std::uint8_t* data, size_t size) {
  constexpr size_t kPrefix = 1 + 7 + 4;
  constexpr size_t kHeaders = 14 + 40;
  StoredBitmap result;
  if (!data || size < kPrefix + kHeaders) return result;
  if (data[0] != 7 || std::memcmp(data + 1, "TBitmap", 7) != 0) return result;
  const std::uint32_t length = Le32(data + 8);
  if (length < kHeaders || length > size - kPrefix) return result;
  const std::uint8_t* bmp = data + kPrefix;
  if (bmp[0] != 'B' || bmp[1] != 'M' || Le32(bmp + 2) != length) return result;
  const std::uint32_t bitsOffset = Le32(bmp + 10);
  const std::uint32_t headerSize = Le32(bmp + 14);
  const auto width = static_cast<std::int32_t>(Le32(bmp + 18));
  const auto height = static_cast<std::int32_t>(Le32(bmp + 22));
  const int bpp = bmp[28] | (bmp[29] << 8);
  if (headerSize < 40 || width <= 0 || height == 0 || bitsOffset >= length) return result;
  const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4;
  const std::uint64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  if (bitsOffset + rowBytes * rows > length) return result;
  result.Offset = kPrefix;
  result.Length = length;
  result.Width = width;
  result.Height = static_cast<int>(rows);
  result.BitsPerPixel = bpp;
  return result;
}

}  // namespace forms
