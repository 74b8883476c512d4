// demogen: writes the demo patch's files below a folder (UTF-8 names).
// demogen OUTDIR [GAME_PROGRAM]: a real Windows program for Game02.exe, if given.
#include <cstdio>
#include <filesystem>

#include "packlib/DemoPatch.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: demogen OUTDIR [GAME_PROGRAM]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root = argv[1];
  std::error_code ec;
  fs::remove_all(root, ec);  // a stale file from an earlier run would end up in the archive
  uint64_t total = 0;
  std::vector<uint8_t> game;
  if (argc == 3) {
    std::FILE* in = std::fopen(argv[2], "rb");
    if (!in) {
      std::fprintf(stderr, "demogen: cannot read %s\n", argv[2]);
      return 1;
    }
    for (int c; (c = std::fgetc(in)) != EOF;) game.push_back(static_cast<uint8_t>(c));
    std::fclose(in);
  }
  const auto files = packer::MakeDemoPatch(game);
  for (const auto& file : files) {
    const fs::path path = root / file.path;
    fs::create_directories(path.parent_path(), ec);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(file.bytes.data(), 1, file.bytes.size(), f) == file.bytes.size();
    if (f == nullptr || std::fclose(f) != 0 || !ok) {
      std::fprintf(stderr, "demogen: cannot write %s\n", path.c_str());
      return 1;
    }
    total += file.bytes.size();
  }
  std::printf("demogen: %zu files, %llu bytes in %s\n", files.size(), static_cast<unsigned long long>(total),
              root.c_str());
  return 0;
}
