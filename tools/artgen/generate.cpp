// Assembles every generated file from the artwork and the encoders.
#include "artgen.h"

namespace artgen {

std::map<std::string, Bytes> GenerateAll() {
  std::map<std::string, Bytes> files;

  // Black stays at index 0: the picture sits on a black window.
  const IndexedImage picture = Quantize(RenderPicture(), 256, {Rgb{0, 0, 0}}, true);
  files["image1.bmp"] = EncodeBmp(picture, 8);
  files["image1.stored"] = EncodeStoredPicture(files["image1.bmp"]);

  // Transparent icon pixels must be black (index 0) for the AND/XOR drawing.
  std::vector<bool> transparent;
  const IndexedImage icon = Quantize(RenderIcon(transparent), 256, {Rgb{0, 0, 0}}, false);
  files["app.ico"] = EncodeIcon(icon, transparent);

  for (const Glyph& glyph : MakeGlyphs()) files[glyph.file] = EncodeBmp(glyph.image, 4);
  return files;
}

}  // namespace artgen
