// Reads a picture in the stored form a layout keeps (portable): a length byte,
// the picture class name "TBitmap", the bitmap file's length as 32-bit
// little-endian, then the bitmap file itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace forms {

struct StoredBitmap {
  size_t Offset = 0;  // where the bitmap file starts within the stored form
  size_t Length = 0;  // the bitmap file's length
  int Width = 0, Height = 0, BitsPerPixel = 0;
  bool Valid() const { return Length != 0; }
};

// Checks the stored form and the bitmap headers inside it; an invalid picture
// gives a StoredBitmap whose Valid() is false.
StoredBitmap StoredPictureBitmap(const std::uint8_t* data, size_t size);

}  // namespace forms
