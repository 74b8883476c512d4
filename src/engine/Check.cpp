#include "engine/Check.h"

#include <memory>

#include "engine/Trailer.h"

namespace archive {
namespace {

class CountingSink : public OutputSink {
 public:
  CountingSink(std::vector<uint64_t>& sizes, size_t index) : sizes_(sizes), index_(index) {}
  bool Write(const uint8_t*, size_t size) override {
    sizes_[index_] += size;
    return true;
  }

 private:
  std::vector<uint64_t>& sizes_;
  size_t index_;
};

class CheckingHost : public ExtractHost {
 public:
  explicit CheckingHost(CheckResult& result) : result_(result) {}
  bool MakeFolder(const std::string&) override { return true; }
  std::unique_ptr<OutputSink> OpenOutput(const std::string& path) override {
    result_.outputs.push_back(path);
    result_.sizes.push_back(0);
    return std::make_unique<CountingSink>(result_.sizes, result_.sizes.size() - 1);
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

TrailerStatus CheckTrailer(std::span<const uint8_t> archive) {
  if (archive.size() < Trailer::kSize) return TrailerStatus::kAbsent;
  const auto trailer = ParseTrailer(archive.data() + archive.size() - Trailer::kSize, archive.size());
  if (!trailer) return TrailerStatus::kAbsent;
  return Crc32(0, archive.data(), static_cast<size_t>(trailer->length)) == trailer->crc ? TrailerStatus::kMatches
                                                                                         : TrailerStatus::kMismatch;
}

CheckResult CheckArchive(ByteReader& archive, const std::string& target, Ring ring) {
  CheckResult result;
  CheckingHost host(result);
  result.count = ExtractArchive(archive, target, ring, host);
  return result;
}

}  // namespace archive
