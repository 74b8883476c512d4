#include "engine/Check.h"

#include <algorithm>
#include <memory>

#include "engine/Trailer.h"

namespace archive {
namespace {

// Counts an output's bytes and takes their CRC-32 as they are decoded.
class CountingSink : public OutputSink {
 public:
  CountingSink(CheckResult& result, size_t index) : result_(result), index_(index) {}
  bool Write(const uint8_t* data, size_t size) override {
    result_.sizes[index_] += size;
    result_.crcs[index_] = Crc32(result_.crcs[index_], data, size);
    return true;
  }

 private:
  CheckResult& result_;
  size_t index_;
};

class CheckingHost : public ExtractHost {
 public:
  explicit CheckingHost(CheckResult& result) : result_(result) {}
  bool MakeFolder(const std::string&) override { return true; }
  std::unique_ptr<OutputSink> OpenOutput(const std::string& path) override {
    result_.outputs.push_back(path);
    result_.sizes.push_back(0);
    result_.crcs.push_back(0);
    return std::make_unique<CountingSink>(result_, result_.sizes.size() - 1);
  }
  void ShowFile(const std::string&) override {}
  void FileWritten(uint64_t) override {}
  void FolderFailed() override {}
  void Stopped(ExtractStop reason, const std::string& path) override {
    result_.stopped = true;
    result_.reason = reason;
    result_.stoppedAt = path;
  }

 private:
  CheckResult& result_;
};

}  // namespace

TrailerStatus CheckTrailer(RandomSource& archive) {
  const uint64_t length = archive.Length();
  uint8_t last[Trailer::kSize];
  if (length < sizeof last || !archive.ReadAt(length - sizeof last, last, sizeof last)) return TrailerStatus::kAbsent;
  const auto trailer = ParseTrailer(last, length);
  if (!trailer) return TrailerStatus::kAbsent;
  std::vector<uint8_t> chunk(std::min<uint64_t>(trailer->length, 256 * 1024));
  uint32_t crc = 0;
  for (uint64_t at = 0; at < trailer->length;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), trailer->length - at));
    if (!archive.ReadAt(at, chunk.data(), n)) return TrailerStatus::kMismatch;
    crc = Crc32(crc, chunk.data(), n);
    at += n;
  }
  return crc == trailer->crc ? TrailerStatus::kMatches : TrailerStatus::kMismatch;
}

TrailerStatus CheckTrailer(std::span<const uint8_t> archive) {
  MemoryRandomSource source(archive);
  return CheckTrailer(source);
}

CheckResult CheckArchive(ByteReader& archive, const std::string& target, Ring ring) {
  CheckResult result;
  CheckingHost host(result);
  result.count = ExtractArchive(archive, target, ring, host);
  return result;
}

}  // namespace archive
