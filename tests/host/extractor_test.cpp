#include "engine/Extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/Check.h"
#include "engine/PipelinedSink.h"
#include "engine/Trailer.h"

#include "TestBytes.h"

using archive::ExtractStop;
using archive::Ring;
using namespace testbytes;

namespace {

// Files and folders in memory, and a log of every call in order.
class FakeHost : public archive::ExtractHost {
 public:
  class Sink : public archive::OutputSink {
   public:
    // With a writer, Write and Close run on its thread: they touch only
    // their own file and the log, which has a lock.
    Sink(FakeHost& host, std::string path) : host_(host), path_(std::move(path)), file_(host.files[path_]) {}
    bool Write(const uint8_t* data, size_t size) override {
      if (host_.failWrite) return false;
      file_.insert(file_.end(), data, data + size);
      return true;
    }
    bool Close() override {
      host_.Note("close " + path_);
      return !host_.failClose;
    }

   private:
    FakeHost& host_;
    std::string path_;
    Bytes& file_;
  };

  bool MakeFolder(const std::string& folderPart) override {
    Note("folder " + folderPart);
    return failFolders.count(folderPart) == 0;
  }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    Note("open " + path);
    if (failOpen) return nullptr;
    if (writer && files.count(path)) writer->Finish();  // an earlier file of the name may still be written
    files[path].clear();
    auto sink = std::make_unique<Sink>(*this, path);
    if (writer) return writer->Wrap(std::move(sink), path);
    return sink;
  }
  std::optional<std::string> FinishOutputs() override {
    ++finishes;
    if (writer) return writer->Finish();
    return std::nullopt;
  }
  void Note(std::string entry) {
    std::lock_guard<std::mutex> lock(logLock);
    log.push_back(std::move(entry));
  }
  void ShowFile(const std::string& path) override { Note("show " + path); }
  void FileWritten(uint64_t offset) override {
    Note("written " + std::to_string(offset));
    offsets.push_back(offset);
  }
  void FolderFailed() override { Note("folder failed"); }
  void Stopped(ExtractStop reason, const std::string& path) override {
    Note("stopped " + path);
    stops.push_back(reason);
    stoppedAt.push_back(path);
  }

  std::map<std::string, Bytes> files;
  std::vector<std::string> log;
  std::vector<uint64_t> offsets;
  std::vector<ExtractStop> stops;
  std::vector<std::string> stoppedAt;
  int finishes = 0;
  std::mutex logLock;
  std::set<std::string> failFolders;
  bool failOpen = false, failWrite = false, failClose = false;
  std::unique_ptr<archive::WriterThread> writer;  // when set, files are written on its thread
};

struct Outcome {
  int count;
  uint64_t offset;  // where the reader stopped
};

Outcome Extract(const Bytes& archiveBytes, FakeHost& host, Ring& ring, const std::string& target = "T") {
  archive::MemorySource source(archiveBytes);
  archive::ByteReader reader(source);
  const int count = archive::ExtractArchive(reader, target, ring, host);
  return {count, reader.Offset()};
}

Outcome Extract(const Bytes& archiveBytes, FakeHost& host, const std::string& target = "T") {
  Ring ring;
  return Extract(archiveBytes, host, ring, target);
}

const Bytes kSixteen = Hex("05 61 2E 74 78 74 06 00 00 00 07 61 62 63 EE F0");  // a.txt = "abcabc"

Bytes File(std::string_view name, std::string_view content) {
  return Record(name, static_cast<uint32_t>(content.size()), Literals(Str(content)));
}

TEST(ExtractArchive, SixteenByteRecord) {
  FakeHost host;
  const Outcome run = Extract(kSixteen, host);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(host.files["T\\a.txt"], Str("abcabc"));
  const std::vector<std::string> want = {"folder T", "open T\\a.txt", "show T\\a.txt", "close T\\a.txt",
                                         "written 16"};
  EXPECT_EQ(host.log, want);
  EXPECT_EQ(host.finishes, 1);
}

TEST(ExtractArchive, CutReferenceAndTheNextRecordRightAfterIt) {
  Bytes archive = kSixteen;
  archive[6] = 5;  // size 5
  archive = Cat({archive, File("b.txt", "xyz")});
  FakeHost host;
  EXPECT_EQ(Extract(archive, host).count, 2);
  EXPECT_EQ(host.files["T\\a.txt"], Str("abcab"));
  EXPECT_EQ(host.files["T\\b.txt"], Str("xyz"));
  EXPECT_EQ(host.offsets, (std::vector<uint64_t>{16, archive.size()}));
}

TEST(ExtractArchive, EndingRecords) {
  struct Case {
    const char* what;
    Bytes archive;
    int count;
    std::vector<std::string> files;  // all files afterwards
    uint64_t stop;                   // reader offset afterwards: nothing after an ending record is read
  };
  const Bytes one = File("one.txt", "1");
  const Case cases[] = {
      {"empty archive", {}, 0, {}, 0},
      {"name length 0 first", Hex("00 01 00 00 00 FF"), 0, {}, 5},
      {"first name byte 0", Cat({Hex("02 00 41 03 00 00 00"), one}), 0, {}, 7},
      {"name length 0 after a file", Cat({one, Hex("00"), one}), 1, {"T\\one.txt"}, one.size() + 5},
      {"name length 0 as the last byte", Cat({one, Hex("00")}), 1, {"T\\one.txt"}, one.size() + 1},
      {"size 0 leaves an empty file", Cat({one, Record("e.txt", 0, {}), one}), 1, {"T\\e.txt", "T\\one.txt"},
       one.size() + 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const Outcome run = Extract(c.archive, host);
    EXPECT_EQ(run.count, c.count);
    EXPECT_EQ(run.offset, c.stop);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : host.files) names.push_back(name);
    EXPECT_EQ(names, c.files);
    EXPECT_TRUE(host.stops.empty());
  }
}

TEST(ExtractArchive, NamesBecomePathsBelowTheTarget) {
  struct Case {
    const char* what;
    std::string target;
    std::string name;  // record name field
    std::string path;
    std::string folder;
  };
  const Case cases[] = {
      {"top level", "T", "a.txt", "T\\a.txt", "T"},
      {"two levels deep", "T", "a\\b\\c.txt", "T\\a\\b\\c.txt", "T\\a\\b"},
      {"0x5C trail byte in a folder name", "T", "\x83\x5C\\x.txt", "T\\\x83\x5C\\x.txt", "T\\\x83\x5C"},
      {"0x5C trail byte at the end of a file name", "T", "d\\\x95\x5C", "T\\d\\\x95\x5C", "T\\d"},
      {"separator added after a target ending in one", "C:\\G\\", "a.txt", "C:\\G\\\\a.txt", "C:\\G\\\\"},
      {"drive root target", "C:", "a.txt", "C:\\a.txt", "C:\\"},
      {"zero byte inside the name field", "T", std::string("ab\0cd", 5), "T\\ab", "T"},
      {"255-byte name", "T", std::string(251, 'n') + ".txt", "T\\" + std::string(251, 'n') + ".txt", "T"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    EXPECT_EQ(Extract(Cat({File(c.name, "data"), File("z", "1")}), host, c.target).count, 2);
    EXPECT_EQ(host.files[c.path], Str("data"));
    EXPECT_EQ(host.log.at(0), "folder " + c.folder);
  }
}

TEST(ExtractArchive, FolderThatCannotBeCreated) {
  FakeHost host;
  host.failFolders = {"T\\sub"};
  EXPECT_EQ(Extract(Cat({File("a", "1"), File("sub\\b", "2"), File("c", "3")}), host).count, 0);
  EXPECT_EQ(host.log.back(), "folder failed");
  EXPECT_EQ(host.files.size(), 1u);  // the first file stays
}

TEST(ExtractArchive, UnsafeNamesStopBeforeAnythingIsCreated) {
  const std::string names[] = {"..\\x",  "a\\..\\..\\x", "\\x",     "C:\\x", "c:x", "a\\\\b",
                               "a\\",    "a/../b",      "CON",     "a.",    "\x83"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    FakeHost host;
    EXPECT_EQ(Extract(Cat({File("ok", "1"), File(name, "evil"), File("z", "1")}), host).count, 0);
    EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kUnsafeName});
    // The log ends with the first record; nothing at all for the second.
    EXPECT_EQ(host.log.at(host.log.size() - 2), "written 9");
    EXPECT_EQ(host.files.size(), 1u);
  }
}

TEST(ExtractArchive, DamagedArchives) {
  const Bytes good = File("a", "1");
  const Bytes next = File("bb", "12345678901234567890");
  struct Case {
    const char* what;
    size_t keep;  // bytes of `next` kept
    bool created; // whether the cut record got its file
  };
  const Case cases[] = {
      {"ends inside the name", 2, false},
      {"ends inside the size", 5, false},
      {"ends before the stream", 7, true},
      {"ends inside the stream", 12, true},
      {"ends one byte short", next.size() - 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const Bytes archive = Cat({good, Bytes(next.begin(), next.begin() + static_cast<long>(c.keep))});
    EXPECT_EQ(Extract(archive, host).count, 0);
    EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kDamagedArchive});
    EXPECT_EQ(host.files.count("T\\bb"), c.created ? 1u : 0u);
  }
}

TEST(ExtractArchive, HugeSizeWithAShortStreamIsDamaged) {
  FakeHost host;
  EXPECT_EQ(Extract(Record("big", 0x80000000u, Hex("00 00 0F 00 0F")), host).count, 0);
  EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kDamagedArchive});
  EXPECT_EQ(host.files["T\\big"].size(), 36u);
}

TEST(ExtractArchive, OutputFailures) {
  struct Case {
    const char* what;
    bool failOpen, failWrite, failClose;
    ExtractStop stop;
  };
  const Case cases[] = {
      {"cannot open", true, false, false, ExtractStop::kCannotOpenOutput},
      {"cannot write", false, true, false, ExtractStop::kCannotWriteOutput},
      {"cannot close", false, false, true, ExtractStop::kCannotWriteOutput},
  };
  // Small files, and a file of several 64 KiB blocks, which a writer's
  // thread writes while the next block is decoded.
  const std::string large(200000, 'x');
  const Bytes small = Cat({File("a", "1"), File("b", "2")});
  const Bytes big = Cat({File("big", large), File("b", "2")});
  for (const Case& c : cases) {
    for (bool pipelined : {false, true}) {
      for (const Bytes* archive : {&small, &big}) {
        SCOPED_TRACE(std::string(c.what) + (pipelined ? ", pipelined" : "") + (archive == &big ? ", big" : ""));
        FakeHost host;
        host.failOpen = c.failOpen;
        host.failWrite = c.failWrite;
        host.failClose = c.failClose;
        if (pipelined) host.writer = std::make_unique<archive::WriterThread>();
        EXPECT_EQ(Extract(*archive, host).count, 0);
        EXPECT_EQ(host.stops, std::vector<ExtractStop>{c.stop});
        // Told with the first file, whose failure a writer's thread may show
        // only after later records were handed over.
        EXPECT_EQ(host.stoppedAt, std::vector<std::string>{archive == &big ? "T\\big" : "T\\a"});
        EXPECT_EQ(host.finishes, 1);
        if (!pipelined) {
          EXPECT_TRUE(host.offsets.empty());
        }
      }
    }
  }
  // Without failures the writer's thread writes every file whole before its
  // record counts.
  FakeHost host;
  host.writer = std::make_unique<archive::WriterThread>();
  EXPECT_EQ(Extract(Cat({big, small}), host).count, 4);
  EXPECT_EQ(host.files["T\\big"], Str(large));
  EXPECT_EQ(host.files["T\\a"], Str("1"));
  // An empty file of an ending record that cannot be closed is a failure too.
  host.failClose = true;
  EXPECT_EQ(Extract(Record("e", 0, {}), host).count, 0);
}

TEST(ExtractArchive, RingCarriesOverBetweenExtractions) {
  const Bytes first = File("a", "abcdefghijklmnopqr");  // a..r into ring positions 4078..4095
  const Bytes second = Record("b", 6, Hex("00 EE F3"));  // reads 4078.. before writing it
  Ring ring;
  FakeHost host;
  ASSERT_EQ(Extract(first, host, ring).count, 1);
  ASSERT_EQ(Extract(second, host, ring).count, 1);
  EXPECT_EQ(host.files["T\\b"], Str("abcdef"));
  FakeHost fresh;
  ASSERT_EQ(Extract(second, fresh).count, 1);
  EXPECT_EQ(fresh.files["T\\b"], Bytes(6, 0));
}

// The check before extraction sees what the extraction does: the same count,
// the same stop, every output path in order.
TEST(CheckArchive, AgreesWithTheExtraction) {
  const Bytes one = File("one.txt", "1");
  const Bytes ending = Hex("00 00 00 00 00");
  struct Case {
    const char* what;
    Bytes archive;
  };
  const Case cases[] = {
      {"files and an ending record", Cat({kSixteen, File("d\\b.txt", "xyz"), ending, Str("after")})},
      {"the same name twice", Cat({one, one})},
      {"named ending record", Cat({one, Record("e.txt", 0, {}), one})},
      {"unsafe name", Cat({one, File("..\\x", "1")})},
      {"unassigned CP932 code", Cat({one, File("\x86\x40", "1")})},
      {"cut inside a stream", Cat({one, Bytes(kSixteen.begin(), kSixteen.end() - 1)})},
      {"cut inside a size", Cat({one, Hex("01 61 05 00")})},
      {"no records", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const int count = Extract(c.archive, host).count;
    std::vector<std::string> opened;
    for (const std::string& line : host.log) {
      if (line.rfind("open ", 0) == 0) opened.push_back(line.substr(5));
    }
    archive::MemorySource source(c.archive);
    archive::ByteReader reader(source);
    const archive::CheckResult check = archive::CheckArchive(reader, "T", Ring{});
    EXPECT_EQ(check.count, count);
    EXPECT_EQ(check.outputs, opened);
    // Each output's size and CRC-32, as the extraction wrote it.
    for (size_t i = 0; i < check.outputs.size() && !check.stopped; ++i) {
      const Bytes& file = host.files[check.outputs[i]];
      if (std::count(opened.begin(), opened.end(), check.outputs[i]) > 1) continue;
      EXPECT_EQ(check.sizes[i], file.size());
      EXPECT_EQ(check.crcs[i], archive::Crc32(0, file.data(), file.size()));
    }
    EXPECT_EQ(check.stopped, !host.stops.empty());
    if (!host.stops.empty()) {
      EXPECT_EQ(check.reason, host.stops[0]);
      EXPECT_EQ(check.stoppedAt, host.log.back().substr(8));  // "stopped " + path
    }
  }
}

// A CRC-32 one bit at a time, to hold the eight-byte steps against.
uint32_t BitwiseCrc32(const uint8_t* data, size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

TEST(Crc32, KnownValuesAndEveryHandOverOfTheEightByteSteps) {
  const Bytes check = Str("123456789");
  const Bytes fox = Str("The quick brown fox jumps over the lazy dog");
  EXPECT_EQ(archive::Crc32(0, check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(archive::Crc32(0, fox.data(), fox.size()), 0x414FA339u);
  EXPECT_EQ(archive::Crc32(0, nullptr, 0), 0u);
  EXPECT_EQ(archive::Crc32(0x12345678u, nullptr, 0), 0x12345678u);

  std::mt19937 rng(7);
  Bytes data(8 + 1000);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  // Sizes 0..17 (no step, one step and its tail, two steps) from every
  // alignment, then one long run.
  for (size_t start = 0; start < 8; ++start) {
    for (size_t size = 0; size <= 17; ++size) {
      EXPECT_EQ(archive::Crc32(0, data.data() + start, size), BitwiseCrc32(data.data() + start, size))
          << "start " << start << " size " << size;
    }
  }
  EXPECT_EQ(archive::Crc32(0, data.data() + 3, 1000), BitwiseCrc32(data.data() + 3, 1000));
  // Continued over any split, it is the CRC of the whole.
  const uint32_t whole = archive::Crc32(0, data.data(), 40);
  for (size_t split = 0; split <= 40; ++split) {
    EXPECT_EQ(archive::Crc32(archive::Crc32(0, data.data(), split), data.data() + split, 40 - split), whole)
        << "split " << split;
  }
}

Bytes Sealed(const Bytes& archiveBytes) {
  uint8_t trailer[archive::Trailer::kSize];
  archive::EncodeTrailer({archiveBytes.size(), archive::Crc32(0, archiveBytes.data(), archiveBytes.size())}, trailer);
  return Cat({archiveBytes, Bytes(trailer, trailer + sizeof trailer)});
}

TEST(Trailer, LayoutAndWhatCountsAsPresent) {
  uint8_t t[archive::Trailer::kSize];
  archive::EncodeTrailer({0x0102030405060708u, 0xCBF43926u}, t);
  EXPECT_EQ(Bytes(t, t + sizeof t), Hex("53 4D 46 53 45 41 4C 31  08 07 06 05 04 03 02 01  26 39 F4 CB"));
  const auto parsed = archive::ParseTrailer(t, 0x0102030405060708u + 20);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->length, 0x0102030405060708u);
  EXPECT_EQ(parsed->crc, 0xCBF43926u);

  EXPECT_FALSE(archive::ParseTrailer(t, 0x0102030405060708u + 19));  // length field one too large
  EXPECT_FALSE(archive::ParseTrailer(t, 0x0102030405060708u + 21));  // one too small
  archive::EncodeTrailer({0, 0}, t);
  EXPECT_TRUE(archive::ParseTrailer(t, 20));  // a trailer over nothing
  EXPECT_FALSE(archive::ParseTrailer(t, 19));  // a file shorter than a trailer
  t[7] = '2';
  EXPECT_FALSE(archive::ParseTrailer(t, 20));  // another signature

  const Bytes archive = Cat({kSixteen, Hex("00 00 00 00 00")});
  const Bytes sealed = Sealed(archive);
  auto changed = [&](size_t at) {
    Bytes b = sealed;
    b[at] ^= 0x01;
    return b;
  };
  struct Case {
    const char* what;
    Bytes bytes;
    archive::TrailerStatus status;
  };
  using enum archive::TrailerStatus;
  const Case cases[] = {
      {"sealed", sealed, kMatches},
      {"a trailer over nothing", Sealed({}), kMatches},
      {"no trailer", archive, kAbsent},
      {"empty", {}, kAbsent},
      {"shorter than a trailer", Bytes(sealed.end() - 19, sealed.end()), kAbsent},
      {"a byte after the trailer", Cat({sealed, {0}}), kAbsent},
      {"the first byte gone", Bytes(sealed.begin() + 1, sealed.end()), kAbsent},
      {"a data byte changed", changed(12), kMismatch},
      {"the last data byte changed", changed(archive.size() - 1), kMismatch},
      {"the CRC changed", changed(sealed.size() - 1), kMismatch},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(archive::CheckTrailer(c.bytes), c.status) << c.what;
  }
}

}  // namespace
