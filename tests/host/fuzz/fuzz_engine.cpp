// libFuzzer target over the archive engine, with in-memory output.
//   first byte even: the rest is an archive for ExtractArchive; checks that no
//                    unsafe name reaches the host and that progress offsets grow.
//   first byte odd:  4-byte size + stream for DecodeEntry, compared byte for
//                    byte (output, bytes consumed, end, ring) with the plain decoder.
#include <cstdlib>
#include <map>
#include <string>

#include "TestBytes.h"
#include "archive/engine/Decoder.h"
#include "archive/engine/Extractor.h"
#include "archive/engine/RecordName.h"

namespace {

constexpr size_t kOutputCap = 1 << 20;  // keeps huge sizes from eating memory

void Check(bool ok) {
  if (!ok) std::abort();
}

class CappedSink : public archive::OutputSink {
 public:
  bool Write(const uint8_t*, size_t size) override {
    written += size;
    return written <= kOutputCap;
  }
  size_t written = 0;
};

class Host : public archive::ExtractHost {
 public:
  explicit Host(std::string target) : target_(std::move(target)) {}
  bool MakeFolder(const std::string& folder) override {
    Check(folder.compare(0, target_.size(), target_) == 0);
    return folder.size() % 7 != 3;  // some folders fail
  }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    Check(path.compare(0, target_.size() + 1, target_ + "\\") == 0);
    Check(archive::IsSafeRecordName(path.substr(target_.size() + 1)));
    return std::make_unique<CappedSink>();
  }
  void ShowFile(const std::string&) override {}
  void FileWritten(uint64_t offset) override {
    Check(offset > lastOffset);
    lastOffset = offset;
    ++files;
  }
  void FolderFailed() override {}
  uint64_t lastOffset = 0;
  int files = 0;

 private:
  std::string target_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t bufferSize = 1 + data[1] % 32 * 37;  // small reader buffers refill inside items
  if ((data[0] & 1) == 0) {
    const testbytes::Bytes archiveBytes(data + 2, data + size);
    archive::MemorySource source(archiveBytes);
    archive::ByteReader reader(source, bufferSize);
    archive::Ring ring;
    Host host("C:\\G");
    const int count = archive::ExtractArchive(reader, "C:\\G", ring, host);
    Check(count == 0 || count == host.files);
    Check(host.lastOffset <= archiveBytes.size());
    return 0;
  }
  if (size < 6) return 0;
  const uint32_t count = (data[2] | data[3] << 8 | data[4] << 16 | static_cast<uint32_t>(data[5]) << 24) % kOutputCap;
  const testbytes::Bytes stream(data + 6, data + size);
  archive::Ring ring;
  std::array<uint8_t, 4096> plainRing;
  for (size_t i = 0; i < 4096; ++i) plainRing[i] = ring.bytes[i] = static_cast<uint8_t>(i * 131 + data[0]);
  const testbytes::PlainResult want = testbytes::PlainDecode(plainRing, stream, 0, count);
  archive::MemorySource source(stream);
  archive::ByteReader reader(source, bufferSize);
  archive::MemorySink sink;
  const archive::DecodeResult got = archive::DecodeEntry(ring, reader, sink, count);
  Check(sink.bytes == want.output);
  Check(got.decoded == want.output.size());
  Check(reader.Offset() == want.consumed);
  Check((got.status == archive::DecodeStatus::kArchiveEnded) == want.ended);
  Check(ring.bytes == plainRing);
  return 0;
}
