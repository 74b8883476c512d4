// artgen FOLDER: writes the installer's picture, icon and glyphs into FOLDER.
#include "artgen.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: artgen FOLDER\n");
    return 2;
  }
  for (const auto& [name, bytes] : artgen::GenerateAll()) {
    const std::string path = std::string(argv[1]) + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%-20s %6zu bytes\n", name.c_str(), bytes.size());
  }
  return 0;
}
