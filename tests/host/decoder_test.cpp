#include "archive/engine/Decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "TestBytes.h"

using archive::ByteReader;
using archive::DecodeEntry;
using archive::DecodeStatus;
using archive::MemorySink;
using archive::MemorySource;
using archive::Ring;
using namespace testbytes;

namespace {

struct Decoded {
  Bytes output;
  archive::DecodeResult result;
  uint64_t offset = 0;  // reader position afterwards
};

Decoded Decode(Ring& ring, const Bytes& stream, uint32_t count, size_t readerBuffer = 64 * 1024) {
  MemorySource source(stream);
  ByteReader reader(source, readerBuffer);
  MemorySink sink;
  Decoded d;
  d.result = DecodeEntry(ring, reader, sink, count);
  d.output = sink.bytes;
  d.offset = reader.Offset();
  return d;
}

struct StreamCase {
  const char* what;
  const char* stream;
  uint32_t size;
  const char* output;
  uint64_t consumed;
  DecodeStatus status;
};

const StreamCase kStreams[] = {
    {"three literals then a reference to 4078", "07 61 62 63 EE F0", 6, "61 62 63 61 62 63", 6,
     DecodeStatus::kComplete},
    {"reference cut at the size, both its bytes consumed", "07 61 62 63 EE F0 05 61", 5, "61 62 63 61 62", 6,
     DecodeStatus::kComplete},
    {"reference into the zeroed ring", "00 00 01", 4, "00 00 00 00", 3, DecodeStatus::kComplete},
    {"reference overlapping its own output", "01 61 EE F1", 5, "61 61 61 61 61", 4, DecodeStatus::kComplete},
    {"a new flag byte after eight items", "FF 31 32 33 34 35 36 37 38 01 39", 9, "31 32 33 34 35 36 37 38 39", 11,
     DecodeStatus::kComplete},
    {"no flag byte read after the item completing the size", "FF 31 32 33 34 35 36 37 38 01 39", 8,
     "31 32 33 34 35 36 37 38", 9, DecodeStatus::kComplete},
    {"unused flag bits of the last group ignored", "F5 41 EE F0 42", 5, "41 41 41 41 42", 5,
     DecodeStatus::kComplete},
    {"longest reference, 18 bytes", "00 00 0F", 18, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 3,
     DecodeStatus::kComplete},
    {"archive ends inside a literal run", "07 61 62", 6, "61 62", 3, DecodeStatus::kArchiveEnded},
    {"archive ends between the two reference bytes", "01 61 EE", 5, "61", 3, DecodeStatus::kArchiveEnded},
    {"archive ends where a flag byte is due", "FF 31 32 33 34 35 36 37 38", 9, "31 32 33 34 35 36 37 38", 9,
     DecodeStatus::kArchiveEnded},
    {"empty stream", "", 1, "", 0, DecodeStatus::kArchiveEnded},
    {"size 0 reads nothing", "FF 31", 0, "", 0, DecodeStatus::kComplete},
};

TEST(DecodeEntry, ByteStrings) {
  for (const StreamCase& c : kStreams) {
    SCOPED_TRACE(c.what);
    // A tiny reader buffer as well, so refills fall inside items.
    for (size_t buffer : {size_t{1}, size_t{3}, size_t{64 * 1024}}) {
      Ring ring;
      const Decoded d = Decode(ring, Hex(c.stream), c.size, buffer);
      EXPECT_EQ(d.output, Hex(c.output));
      EXPECT_EQ(d.result.decoded, d.output.size());
      EXPECT_EQ(d.offset, c.consumed);
      EXPECT_EQ(d.result.status, c.status);
    }
  }
}

// Writes the 18 bytes a..r, which land in ring positions 4078..4095.
const Bytes kFirst = Literals(Str("abcdefghijklmnopqr"));

TEST(DecodeEntry, CarriedRingPositionsSurviveIntoTheNextRecord) {
  Ring ring;
  ASSERT_EQ(Decode(ring, kFirst, 18).output, Str("abcdefghijklmnopqr"));
  // Position 4078 is read before this record overwrites it.
  EXPECT_EQ(Decode(ring, Hex("00 EE F3"), 6).output, Str("abcdef"));
  // The same stream on a new ring reads zeros.
  Ring fresh;
  EXPECT_EQ(Decode(fresh, Hex("00 EE F3"), 6).output, Bytes(6, 0));
}

TEST(DecodeEntry, PositionsBelow4078AreZeroedForEveryRecord) {
  Ring ring;
  // 30 bytes: 4078..4095 then 0..11 get written.
  ASSERT_EQ(Decode(ring, Literals(Bytes(30, 0x5A)), 30).output.size(), 30u);
  EXPECT_EQ(ring.bytes[0], 0x5A);
  EXPECT_EQ(Decode(ring, Hex("00 00 02"), 5).output, Bytes(5, 0));
}

TEST(DecodeEntry, RingMatchesThePlainDecoderAfterEveryRecord) {
  std::mt19937 rng(7);
  Ring ring;
  std::array<uint8_t, 4096> plainRing{};
  for (int record = 0; record < 200; ++record) {
    Bytes stream(rng() % 3000);
    for (auto& b : stream) b = static_cast<uint8_t>(rng());
    const uint32_t size = rng() % 20000;
    const PlainResult want = PlainDecode(plainRing, stream, 0, size);
    const Decoded got = Decode(ring, stream, size, 1 + rng() % 100);
    ASSERT_EQ(got.output, want.output) << "record " << record;
    ASSERT_EQ(got.offset, want.consumed);
    ASSERT_EQ(got.result.status == DecodeStatus::kArchiveEnded, want.ended);
    ASSERT_EQ(ring.bytes, plainRing) << "record " << record;
  }
}

TEST(DecodeEntry, LongOutputCrossesManyBlocks) {
  // References of every distance back into output written blocks earlier.
  std::mt19937 rng(11);
  Bytes stream;
  for (int g = 0; g < 60000; ++g) {
    const uint8_t flags = static_cast<uint8_t>(rng());
    stream.push_back(flags);
    for (int k = 0; k < 8; ++k) {
      if (flags >> k & 1) {
        stream.push_back(static_cast<uint8_t>(rng()));
      } else {
        stream.push_back(static_cast<uint8_t>(rng()));
        stream.push_back(static_cast<uint8_t>(rng()));
      }
    }
  }
  Ring ring;
  std::array<uint8_t, 4096> plainRing{};
  const PlainResult want = PlainDecode(plainRing, stream, 0, 3000000);
  const Decoded got = Decode(ring, stream, 3000000);
  ASSERT_GT(want.output.size(), 1000000u);
  EXPECT_TRUE(got.output == want.output);
  EXPECT_EQ(got.offset, want.consumed);
  EXPECT_EQ(ring.bytes, plainRing);
}

// Fails from the n-th block on.
class FailingSink : public archive::OutputSink {
 public:
  explicit FailingSink(int okBlocks) : okBlocks_(okBlocks) {}
  bool Write(const uint8_t*, size_t size) override {
    if (okBlocks_-- <= 0) return false;
    written += size;
    return true;
  }
  uint64_t written = 0;

 private:
  int okBlocks_;
};

TEST(DecodeEntry, ReportsAFailingOutput) {
  for (int okBlocks : {0, 1}) {
    // 200 KB of zeros: a reference to the zeroed ring, then ones to itself.
    Bytes longStream = Hex("00 00 0F");
    for (int i = 0; i < 2000; ++i) longStream.insert(longStream.end(), {0x00, 0xEE, 0xFF, 0xEE, 0xFF, 0xEE, 0xFF, 0xEE,
                                                                         0xFF, 0xEE, 0xFF, 0xEE, 0xFF, 0xEE, 0xFF, 0xEE, 0xFF});
    MemorySource source(longStream);
    ByteReader reader(source);
    FailingSink sink(okBlocks);
    Ring ring;
    const auto result = DecodeEntry(ring, reader, sink, 200000);
    EXPECT_EQ(result.status, DecodeStatus::kWriteFailed);
    EXPECT_EQ(sink.written > 0, okBlocks > 0);
    EXPECT_LT(sink.written, 200000u);
  }
}

TEST(DecodeEntry, SizesOf2To31AndAboveAreUnsigned) {
  // A stream that ends early: whatever the size, the bytes present are decoded.
  for (uint32_t size : {0x80000000u, 0xFFFFFFFFu}) {
    Ring ring;
    FailingSink counter(1 << 30);
    Bytes stream = Hex("00 00 0F 00 0F");
    MemorySource source(stream);
    ByteReader reader(source);
    const auto result = DecodeEntry(ring, reader, counter, size);
    EXPECT_EQ(result.status, DecodeStatus::kArchiveEnded);
    EXPECT_EQ(result.decoded, 36u);
    EXPECT_EQ(counter.written, 36u);
  }
}

}  // namespace
