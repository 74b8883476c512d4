// demogen: writes the demo patch's files below a folder (UTF-8 names).
#include <cstdio>
#include <filesystem>

#include "packlib/DemoPatch.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demogen OUTDIR\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root = argv[1];
  std::error_code ec;
  fs::remove_all(root, ec);  // a stale file from an earlier run would end up in the archive
  uint64_t total = 0;
  const auto files = packer::MakeDemoPatch();
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
