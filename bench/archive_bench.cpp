// Archive engine benchmarks on the demo patch, each beside its floor in the
// same run:
//   decode:  the engine's decoder vs memcpy of the same output and vs a plain
//            byte-at-a-time decoder (getc/putc on stdio streams);
//   extract: extracting the archive into a temp folder vs writing the same
//            283 files from memory.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Decoder.h"
#include "packlib/DemoPatch.h"
#include "packlib/HostArchive.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestSeconds(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

class NullSink : public archive::OutputSink {
 public:
  explicit NullSink(std::FILE* f) : f_(f) {}
  bool Write(const uint8_t* data, size_t size) override { return std::fwrite(data, 1, size, f_) == size; }

 private:
  std::FILE* f_;
};

uint32_t ReadSize(std::FILE* f) {
  uint32_t size = 0;
  for (int k = 0; k < 4; ++k) size |= static_cast<uint32_t>(getc(f)) << (8 * k);
  return size;
}

// The engine: records read through its buffered reader, output to /dev/null.
uint64_t EngineDecode(const char* archivePath, std::FILE* devNull) {
  std::FILE* in = std::fopen(archivePath, "rb");
  archive::StdioSource source(in);
  archive::ByteReader reader(source);
  archive::Ring ring;
  NullSink sink(devNull);
  uint64_t total = 0;
  uint8_t name[255], size[4];
  for (int length; (length = reader.Get()) > 0;) {
    reader.Read(name, static_cast<size_t>(length));
    reader.Read(size, 4);
    const uint32_t count = size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint32_t>(size[3]) << 24;
    if (name[0] == 0 || count == 0) break;  // the ending record; the trailer follows
    total += archive::DecodeEntry(ring, reader, sink, count).decoded;
  }
  std::fclose(in);
  return total;
}

// The plain way: one getc or putc per byte.
uint64_t PlainDecode(const char* archivePath, std::FILE* out) {
  std::FILE* in = std::fopen(archivePath, "rb");
  static uint8_t ring[4096];
  uint64_t total = 0;
  for (int length; (length = getc(in)) != EOF && length > 0;) {
    const int first = getc(in);
    for (int i = 1; i < length; ++i) getc(in);
    const uint32_t count = ReadSize(in);
    if (first == 0 || count == 0) break;  // the ending record; the trailer follows
    std::memset(ring, 0, 4078);
    unsigned r = 4078, flags = 0;
    for (uint32_t written = 0; written < count;) {
      flags >>= 1;
      if (!(flags & 0x100)) flags = static_cast<unsigned>(getc(in)) | 0xFF00;
      if (flags & 1) {
        const int c = getc(in);
        putc(c, out);
        ring[r] = static_cast<uint8_t>(c);
        r = (r + 1) & 0xFFF;
        ++written;
      } else {
        const unsigned b0 = static_cast<unsigned>(getc(in)), b1 = static_cast<unsigned>(getc(in));
        const unsigned p = b0 | ((b1 & 0xF0) << 4), n = (b1 & 0x0F) + 3;
        for (unsigned k = 0; k < n && written < count; ++k, ++written) {
          const uint8_t c = ring[(p + k) & 0xFFF];
          putc(c, out);
          ring[r] = c;
          r = (r + 1) & 0xFFF;
        }
      }
    }
    total += count;
  }
  std::fclose(in);
  return total;
}

void WriteFiles(const std::vector<packer::DemoFile>& files, const fs::path& root) {
  for (const auto& f : files) {
    const fs::path path = root / f.path;
    fs::create_directories(path.parent_path());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::setvbuf(out, nullptr, _IONBF, 0);
    std::fwrite(f.bytes.data(), 1, f.bytes.size(), out);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: archive_bench DEMO_ARCHIVE\n");
    return 2;
  }
  const char* archivePath = argv[1];
  const auto files = packer::MakeDemoPatch();
  uint64_t total = 0;
  for (const auto& f : files) total += f.bytes.size();
  const double mb = static_cast<double>(total) / 1e6;
  std::FILE* devNull = std::fopen("/dev/null", "wb");

  // (a) decoding, output bytes per second.
  std::vector<uint8_t> flat, copy(total);
  for (const auto& f : files) flat.insert(flat.end(), f.bytes.begin(), f.bytes.end());
  const double tMemcpy = BestSeconds(10, [&] {
    for (size_t i = 0; i < flat.size(); i += 65536) {
      const size_t n = std::min<size_t>(65536, flat.size() - i);
      std::memcpy(copy.data() + i, flat.data() + i, n);
    }
    std::fwrite(copy.data(), 1, 1, devNull);
  });
  uint64_t engineBytes = 0, plainBytes = 0;
  // In turns, so that both see the same moments of a busy machine; the best of each.
  double tEngine = 1e30, tPlain = 1e30;
  for (int round = 0; round < 7; ++round) {
    tEngine = std::min(tEngine, BestSeconds(2, [&] { engineBytes = EngineDecode(archivePath, devNull); }));
    tPlain = std::min(tPlain, BestSeconds(1, [&] { plainBytes = PlainDecode(archivePath, devNull); }));
  }
  if (engineBytes != total || plainBytes != total) {
    std::fprintf(stderr, "archive_bench: %s is not the demo archive (decodes to %llu bytes)\n", archivePath,
                 static_cast<unsigned long long>(engineBytes));
    return 1;
  }
  std::printf("decode  (%.1f MB of output)\n", mb);
  std::printf("  memcpy                     %8.0f MB/s\n", mb / tMemcpy);
  std::printf("  engine decoder             %8.0f MB/s\n", mb / tEngine);
  std::printf("  byte-at-a-time getc/putc   %8.0f MB/s\n", mb / tPlain);
  std::printf("  engine / byte-at-a-time    %8.1fx   (target >= 8x)\n", tPlain / tEngine);

  // (b) extraction into a folder vs writing the same files from memory.
  const fs::path root = fs::temp_directory_path() / ("ps_archive_bench_" + std::to_string(::getpid()));
  double tExtract = 1e30, tFloor = 1e30;
  for (int i = 0; i < 5; ++i) {
    fs::remove_all(root);
    std::string error;
    int count = 0;
    tExtract = std::min(tExtract, BestSeconds(1, [&] { count = packer::ExtractArchiveFile(archivePath, root / "x", error); }));
    if (count != static_cast<int>(files.size())) {
      std::fprintf(stderr, "archive_bench: extraction returned %d: %s\n", count, error.c_str());
      return 1;
    }
    fs::remove_all(root);
    tFloor = std::min(tFloor, BestSeconds(1, [&] { WriteFiles(files, root / "x"); }));
  }
  fs::remove_all(root);
  std::printf("extract (%zu files, %.1f MB, into %s)\n", files.size(), mb, fs::temp_directory_path().c_str());
  std::printf("  write the files from memory%8.1f ms\n", tFloor * 1e3);
  std::printf("  extract with the engine    %8.1f ms\n", tExtract * 1e3);
  std::printf("  extract / write            %8.2fx   (target <= 1.3x)\n", tExtract / tFloor);
  std::fclose(devNull);
  return 0;
}
