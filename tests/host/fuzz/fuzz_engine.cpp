// libFuzzer target over the archive engine, with in-memory output.
//   first byte even: the rest is an archive for ExtractArchive; checks that no
//                    unsafe name reaches the host, that progress offsets grow,
//                    that CheckArchive predicts the extraction (count, stop,
//                    outputs), and the integrity trailer and CRC-32 over it.
//                    With bit 1 set the outputs are written on a writer thread
//                    with a ring of two blocks. The same bytes read as a journal.
//   first byte odd:  4-byte size + stream for DecodeEntry, compared byte for
//                    byte (output, bytes consumed, end, ring) with the plain decoder.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TestBytes.h"
#include "engine/Check.h"
#include "engine/Decoder.h"
#include "engine/Extractor.h"
#include "engine/Journal.h"
#include "engine/PipelinedSink.h"
#include "engine/RecordName.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"

namespace {

constexpr size_t kOutputCap = 1 << 20;  // keeps huge sizes from eating memory

void Check(bool ok) {
  if (!ok) std::abort();
}

class CappedSink : public archive::OutputSink {
 public:
  explicit CappedSink(bool& capped) : capped_(capped) {}
  bool Write(const uint8_t*, size_t size) override {
    written += size;
    capped_ = capped_ || written > kOutputCap;
    return written <= kOutputCap;
  }
  size_t written = 0;

 private:
  bool& capped_;
};

class Host : public archive::ExtractHost {
 public:
  Host(std::string target, size_t writerBlocks) : writer(writerBlocks), target_(std::move(target)) {}
  bool MakeFolder(const std::string& folder) override {
    Check(folder.compare(0, target_.size(), target_) == 0);
    const bool made = folder.size() % 7 != 3;  // some folders fail
    folderFailed = folderFailed || !made;
    return made;
  }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    Check(path.compare(0, target_.size() + 1, target_ + "\\") == 0);
    Check(archive::IsSafeRecordName(path.substr(target_.size() + 1)));
    outputs.push_back(path);
    return writer.Wrap(std::make_unique<CappedSink>(capped));
  }
  void Stopped(archive::ExtractStop reason, const std::string& path) override {
    stops.push_back({reason, path});
  }
  void ShowFile(const std::string&) override {}
  void FileWritten(uint64_t offset) override {
    Check(offset > lastOffset);
    lastOffset = offset;
    ++files;
  }
  void FolderFailed() override {}
  archive::WriterThread writer;  // 0 blocks: the sinks write in the caller
  uint64_t lastOffset = 0;
  int files = 0;
  bool folderFailed = false, capped = false;
  std::vector<std::string> outputs;
  std::vector<std::pair<archive::ExtractStop, std::string>> stops;

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
    Host host("C:\\G", data[0] & 2 ? 2 : 0);
    const int count = archive::ExtractArchive(reader, "C:\\G", ring, host);
    Check(count == 0 || count == host.files);
    Check(host.lastOffset <= archiveBytes.size());

    // The check before extraction predicts it wherever the host did not fail.
    archive::MemorySource again(archiveBytes);
    archive::ByteReader checkReader(again, bufferSize);
    const archive::CheckResult check = archive::CheckArchive(checkReader, "C:\\G", archive::Ring{});
    if (!host.folderFailed && !host.capped) {
      Check(check.count == count);
      Check(check.outputs == host.outputs);
      Check(check.stopped == !host.stops.empty());
      Check(!check.stopped || (check.reason == host.stops[0].first && check.stoppedAt == host.stops[0].second));
    }

    // CRC-32 in eight-byte steps against one bit at a time, split anywhere;
    // the archive sealed with a trailer matches, and any changed byte breaks it.
    uint32_t bitwise = 0xFFFFFFFFu;
    for (uint8_t b : archiveBytes) {
      bitwise ^= b;
      for (int k = 0; k < 8; ++k) bitwise = (bitwise >> 1) ^ (0xEDB88320u & (0u - (bitwise & 1)));
    }
    bitwise = ~bitwise;
    const size_t split = archiveBytes.empty() ? 0 : data[1] % (archiveBytes.size() + 1);
    const uint32_t crc = archive::Crc32(archive::Crc32(0, archiveBytes.data(), split), archiveBytes.data() + split,
                                        archiveBytes.size() - split);
    Check(crc == bitwise);
    testbytes::Bytes sealed = archiveBytes;
    sealed.resize(archiveBytes.size() + archive::Trailer::kSize);
    archive::EncodeTrailer({archiveBytes.size(), crc}, sealed.data() + archiveBytes.size());
    Check(archive::CheckTrailer(sealed) == archive::TrailerStatus::kMatches);
    archive::CheckTrailer(archiveBytes);  // any bytes at all
    if (!archiveBytes.empty()) {
      sealed[split % archiveBytes.size()] ^= 0x80;
      Check(archive::CheckTrailer(sealed) == archive::TrailerStatus::kMismatch);
    }

    // The same bytes as a journal: its valid part is a prefix, and a valid
    // plan names nothing but plain paths below the game folder.
    const archive::JournalState journal = archive::ReadJournal(archiveBytes);
    Check(journal.validBytes <= archiveBytes.size());
    Check(journal.plan.has_value() == (journal.validBytes > 0));
    Check(!(journal.plan && journal.otherFormat));
    if (journal.plan) {
      Check(archive::IsStagingName(journal.plan->staging));
      for (const std::string& folder : journal.plan->folders) Check(archive::IsSafeRecordName(folder));
      for (const auto& item : journal.plan->items) Check(archive::IsSafeRecordName(item.path));
      const testbytes::Bytes plan = archive::EncodePlan(*journal.plan);
      Check(plan.size() <= journal.validBytes && std::equal(plan.begin(), plan.end(), archiveBytes.begin()));
    }
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
