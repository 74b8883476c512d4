#include "engine/Decoder.h"

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
  uint64_t offset = 0;         // reader position afterwards
  std::vector<size_t> blocks;  // sizes handed to the sink
};

class BlockSink : public MemorySink {
 public:
  bool Write(const uint8_t* data, size_t size) override {
    blocks.push_back(size);
    return MemorySink::Write(data, size);
  }
  std::vector<size_t> blocks;
};

Decoded Decode(Ring& ring, const Bytes& stream, uint32_t count, size_t readerBuffer = 64 * 1024) {
  MemorySource source(stream);
  ByteReader reader(source, readerBuffer);
  BlockSink sink;
  Decoded d;
  d.result = DecodeEntry(ring, reader, sink, count);
  d.output = sink.bytes;
  d.offset = reader.Offset();
  d.blocks = sink.blocks;
  return d;
}

// The engine against the plain decoder: output, bytes consumed, end, ring.
testing::AssertionResult SameAsPlain(const Bytes& stream, uint32_t count, size_t readerBuffer) {
  Ring ring;
  std::array<uint8_t, 4096> plainRing{};
  const PlainResult want = PlainDecode(plainRing, stream, 0, count);
  const Decoded got = Decode(ring, stream, count, readerBuffer);
  if (got.output != want.output) return testing::AssertionFailure() << "output differs";
  if (got.offset != want.consumed) {
    return testing::AssertionFailure() << "consumed " << got.offset << ", not " << want.consumed;
  }
  if ((got.result.status == DecodeStatus::kArchiveEnded) != want.ended) return testing::AssertionFailure() << "end";
  if (got.result.decoded != want.output.size()) return testing::AssertionFailure() << "decoded count";
  if (ring.bytes != plainRing) return testing::AssertionFailure() << "ring differs";
  return testing::AssertionSuccess();
}

// Builds a stream group by group: flag bytes and ring positions are worked out.
struct Item {
  int literal;  // the byte, or -1 for a reference
  unsigned distance = 0, length = 0;
};
Item Lit(uint8_t b) { return {b}; }
Item Ref(unsigned distance, unsigned length) { return {-1, distance, length}; }

struct StreamBuilder {
  Bytes bytes;
  uint32_t output = 0;  // bytes decoded so far

  StreamBuilder& Group(std::initializer_list<Item> items) {
    const size_t flagAt = bytes.size();
    bytes.push_back(0);
    unsigned k = 0;
    for (const Item& it : items) {
      if (it.literal >= 0) {
        bytes[flagAt] |= static_cast<uint8_t>(1u << k);
        bytes.push_back(static_cast<uint8_t>(it.literal));
        ++output;
      } else {
        const unsigned p = (Ring::kStart + output - it.distance) & Ring::kMask;
        bytes.push_back(static_cast<uint8_t>(p));
        bytes.push_back(static_cast<uint8_t>((p >> 4 & 0xF0) | (it.length - 3)));
        output += it.length;
      }
      ++k;
    }
    return *this;
  }
  // Groups of eight distinct literals.
  StreamBuilder& Literals(int groups) {
    for (int g = 0; g < groups; ++g) {
      const auto b = [&](int i) { return Lit(static_cast<uint8_t>(output * 7 + i * 13 + 1)); };
      Group({b(0), b(1), b(2), b(3), b(4), b(5), b(6), b(7)});
    }
    return *this;
  }
};

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

// Whole flag groups are decoded without per-item checks only while a group
// can neither run out of input (17 bytes, and 18 read ahead by a literal's
// wide copy) nor pass the size (144 bytes out), and runs of literal-only
// groups only as far as input, size and block allow. Each stream is cut at
// every size and read through reader buffers of every size up to 100, so
// that each limit falls exactly at, one before and one after a group's start.
TEST(DecodeEntry, FastPathsHandOverToTheCarefulPathAtTheirLimits) {
  struct Case {
    const char* what;
    StreamBuilder stream;
  };
  Case cases[] = {
      {"a group of eight 18-byte references", {}},
      {"a run of literal-only groups", {}},
      {"a group of references less than 18 bytes back", {}},
      {"literals and references mixed", {}},
  };
  // Every stream: three groups of history, the groups under test, more input.
  for (Case& c : cases) c.stream.Literals(3);
  cases[0].stream.Group({Ref(24, 18), Ref(20, 18), Ref(40, 18), Ref(18, 18), Ref(100, 18), Ref(19, 18),
                         Ref(60, 18), Ref(4096, 18)});
  cases[1].stream.Literals(24);  // longer than the 144 bytes a group may need
  cases[2].stream.Group({Ref(1, 18), Ref(3, 17), Ref(7, 18), Ref(8, 3), Ref(9, 18), Ref(16, 11), Ref(17, 18),
                         Ref(2, 18)});
  cases[3].stream.Group({Lit(1), Ref(5, 4), Lit(2), Lit(3), Ref(30, 18), Ref(4, 18), Lit(4), Ref(12, 9)});
  for (Case& c : cases) c.stream.Literals(3).Group({Ref(50, 18), Lit(9), Ref(3, 5)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const StreamBuilder& s = c.stream;
    for (uint32_t count = 0; count <= s.output + 1; ++count) {
      for (size_t buffer : {size_t{1}, size_t{64 * 1024}}) {
        ASSERT_TRUE(SameAsPlain(s.bytes, count, buffer)) << "size " << count << ", buffer " << buffer;
      }
    }
    for (size_t buffer = 2; buffer <= 100; ++buffer) {
      ASSERT_TRUE(SameAsPlain(s.bytes, s.output, buffer)) << "buffer " << buffer;
      ASSERT_TRUE(SameAsPlain(s.bytes, s.output - 145, buffer)) << "buffer " << buffer;
    }
  }
}

// A reference less than 18 bytes back repeats its own output: every distance
// up to 20 with every length, inside a whole group and item by item at a
// record's end (cut one byte short too).
TEST(DecodeEntry, ReferencesRepeatingTheirOwnOutput) {
  for (unsigned distance = 1; distance <= 20; ++distance) {
    for (unsigned length = 3; length <= 18; ++length) {
      StreamBuilder s;
      s.Literals(3).Group({Ref(distance, length), Lit(0xA1), Lit(0xA2), Lit(0xA3), Lit(0xA4), Lit(0xA5),
                           Lit(0xA6), Lit(0xA7)});
      const uint32_t end = 24 + length;  // the reference's last byte
      s.Literals(20);
      for (uint32_t count : {s.output, end, end - 1}) {
        ASSERT_TRUE(SameAsPlain(s.bytes, count, 64 * 1024))
            << "distance " << distance << ", length " << length << ", size " << count;
      }
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
  // References of every distance back into output written blocks earlier,
  // and literal-only groups (data that does not compress) crossing blocks
  // inside a run of them.
  std::mt19937 rng(11);
  Bytes mixed, literals;
  for (int g = 0; g < 60000; ++g) {
    const uint8_t flags = static_cast<uint8_t>(rng());
    mixed.push_back(flags);
    for (int k = 0; k < 8; ++k) {
      mixed.push_back(static_cast<uint8_t>(rng()));
      if ((flags >> k & 1) == 0) mixed.push_back(static_cast<uint8_t>(rng()));
    }
  }
  for (int g = 0; g < 30000; ++g) {
    literals.push_back(g % 1000 == 999 ? 0x7F : 0xFF);  // now and then a reference ends a run
    for (int k = 0; k < 8; ++k) literals.push_back(static_cast<uint8_t>(rng()));
    if (g % 1000 == 999) literals.push_back(static_cast<uint8_t>(rng()));
  }
  for (const Bytes* stream : {&mixed, &literals}) {
    Ring ring;
    std::array<uint8_t, 4096> plainRing{};
    const PlainResult want = PlainDecode(plainRing, *stream, 0, 3000000);
    const Decoded got = Decode(ring, *stream, 3000000);
    ASSERT_GT(want.output.size(), 200000u);
    EXPECT_TRUE(got.output == want.output);
    EXPECT_EQ(got.offset, want.consumed);
    EXPECT_EQ(ring.bytes, plainRing);
    // Every block but the last is 64 KiB, so file writes stay page-aligned.
    for (size_t i = 0; i + 1 < got.blocks.size(); ++i) ASSERT_EQ(got.blocks[i], 64u * 1024) << "block " << i;
  }
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
