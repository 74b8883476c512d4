// The packer side: the encoder's output against the engine, folder packing,
// and the demo patch's shape.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <unistd.h>

#include "TestBytes.h"
#include "engine/Check.h"
#include "engine/Decoder.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"
#include "packlib/DemoPatch.h"
#include "packlib/HostArchive.h"
#include "packlib/HostNames.h"
#include "packlib/LzssEncoder.h"
#include "packlib/Progress.h"
#include "packlib/StreamScan.h"
#include "text/PathRules.h"

namespace fs = std::filesystem;
using namespace testbytes;

namespace {

// This file is compiled with CP932 literals; file names on Linux are UTF-8.
std::string U8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

Bytes Encode(const Bytes& data, packer::Parsing parsing, packer::EncodeStats* stats = nullptr) {
  Bytes out;
  const auto s = packer::EncodeStream(
      data, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }, parsing);
  if (stats) *stats = s;
  return out;
}

std::vector<std::pair<std::string, Bytes>> SampleData() {
  std::mt19937 rng(3);
  std::vector<std::pair<std::string, Bytes>> samples;
  Bytes random(300000);
  for (auto& b : random) b = static_cast<uint8_t>(rng());
  samples.push_back({"random, past the 256 KiB parse block", random});
  samples.push_back({"one byte", {0x42}});
  samples.push_back({"two zero bytes", {0, 0}});
  samples.push_back({"zeros", Bytes(100000, 0)});
  samples.push_back({"zeros after one byte", Cat({{7}, Bytes(5000, 0)})});
  Bytes pattern;
  for (int i = 0; i < 70000; ++i) pattern.push_back(static_cast<uint8_t>("abcabd"[i % 6]));
  samples.push_back({"short period", pattern});
  Bytes text;
  const char* words[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "epsilon "};
  while (text.size() < 200000) {
    const std::string w = words[rng() % 5];
    text.insert(text.end(), w.begin(), w.end());
  }
  samples.push_back({"text", text});
  // Repeats exactly 4096 and 4097 bytes back: the edge of the window.
  Bytes far(4097 + 4200);
  for (size_t i = 0; i < 4097; ++i) far[i] = static_cast<uint8_t>(rng());
  for (size_t i = 4097; i < far.size(); ++i) far[i] = far[i - (i % 2 ? 4096 : 4097)];
  samples.push_back({"window edge", far});
  // 18 bytes of 0xFF: a stream that read ring positions 4078..4095 would
  // find the garbage planted there below.
  samples.push_back({"short run of one value", Bytes(18, 0xFF)});
  return samples;
}

TEST(Encoder, RoundTripsThroughTheEngine) {
  for (const auto& [what, data] : SampleData()) {
    for (auto parsing : {packer::Parsing::kOptimal, packer::Parsing::kGreedy}) {
      SCOPED_TRACE(what);
      const Bytes stream = Encode(data, parsing);
      // A ring full of garbage: positions 4078..4095 must never be read
      // before the record wrote them, whatever the previous record left.
      archive::Ring ring;
      ring.bytes.fill(0xA5);
      archive::MemorySource source(stream);
      archive::ByteReader reader(source);
      archive::MemorySink sink;
      const auto result = archive::DecodeEntry(ring, reader, sink, static_cast<uint32_t>(data.size()));
      EXPECT_EQ(result.status, archive::DecodeStatus::kComplete);
      EXPECT_TRUE(sink.bytes == data);
      // The stream ends with its last item: no trailing flag byte.
      EXPECT_EQ(reader.Offset(), stream.size());

      archive::MemorySource again(stream);
      archive::ByteReader scanReader(again);
      const packer::StreamScan scan = packer::ScanStream(scanReader, static_cast<uint32_t>(data.size()));
      EXPECT_TRUE(scan.complete);
      EXPECT_EQ(scan.carriedReads, 0u);
      EXPECT_EQ(scan.cutReferences, 0u);
    }
  }
}

TEST(Encoder, OptimalParsingBeatsGreedyAndBoundsTheRatio) {
  for (const auto& [what, data] : SampleData()) {
    SCOPED_TRACE(what);
    const size_t optimal = Encode(data, packer::Parsing::kOptimal).size();
    EXPECT_LE(optimal, Encode(data, packer::Parsing::kGreedy).size());
    // No coding does better than 17 bits per 18 bytes or worse than 9 bits per byte.
    EXPECT_GE(optimal * 8 * 18, data.size() * 17);
    EXPECT_LE(optimal * 8, data.size() * 9 + 8);
  }
}

TEST(StreamScan, FindsReadsOfCarriedPositionsAndCutReferences) {
  struct Case {
    const char* stream;
    uint32_t size;
    uint64_t carried, cut;
  };
  const Case cases[] = {
      {"00 EE F0", 3, 3, 0},      // reads 4078..4080 before writing them
      {"01 61 EE F1", 5, 0, 0},   // reads 4078 after writing it
      {"00 EE F0", 2, 2, 1},      // cut after two bytes
      {"00 00 0F", 18, 0, 0},     // zero part of the ring
      {"00 FF FF", 2, 1, 1},      // 4095, then wraps to 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stream);
    const Bytes stream = Hex(c.stream);
    archive::MemorySource source(stream);
    archive::ByteReader reader(source);
    const auto scan = packer::ScanStream(reader, c.size);
    EXPECT_EQ(scan.carriedReads, c.carried);
    EXPECT_EQ(scan.cutReferences, c.cut);
  }
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("ps_packer_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

void WriteFile(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(Packer, PackVerifyExtractRoundTrip) {
  TempDir dir;
  const fs::path src = dir.path() / "src";
  std::map<std::string, Bytes> files;
  int i = 0;
  for (const auto& [what, data] : SampleData()) files[std::string("f") + std::to_string(i++) + ".bin"] = data;
  files[U8(u8"表示/ソード.txt")] = Str("0x5C trail bytes in folder and file names");
  files[U8(u8"表示/能力/十字架.dat")] = Bytes(70000, 0x5C);
  files[U8(u8"data/a b.txt")] = Str("space");
  for (const auto& [name, data] : files) WriteFile(src / name, data);

  const fs::path archivePath = dir.path() / "patch.smf";
  std::vector<packer::PackItem> items;
  std::string error;
  ASSERT_TRUE(packer::CollectFolder(src, items, error)) << error;
  // Each folder's files first, then its sub-folders; '\' between levels.
  EXPECT_EQ(items.front().name, "f0.bin");
  EXPECT_EQ(items.back().name, "\x95\x5C\x8E\xA6\\\x94\x5C\x97\xCD\\\x8F\x5C\x8E\x9A\x89\xCB.dat");
  packer::PackReport report;
  ASSERT_TRUE(packer::WriteArchive(items, archivePath, packer::Parsing::kOptimal, report, error)) << error;
  EXPECT_EQ(report.files, files.size());
  EXPECT_EQ(report.archiveBytes, fs::file_size(archivePath));

  packer::VerifyReport verify;
  ASSERT_TRUE(packer::VerifyArchive(archivePath, verify, error));
  EXPECT_EQ(verify.engineCount, static_cast<int>(files.size()));
  EXPECT_TRUE(verify.Passes());
  EXPECT_TRUE(verify.notes.empty());
  // The archive ends with the 5-byte ending record and a trailer that matches.
  const Bytes written = ReadFile(archivePath);
  EXPECT_EQ(Bytes(written.end() - 25, written.end() - 20), Bytes(5, 0));
  EXPECT_EQ(archive::CheckTrailer(written), archive::TrailerStatus::kMatches);
  EXPECT_EQ(verify.trailer, archive::TrailerStatus::kMatches);
  EXPECT_EQ(verify.carriedReads, 0u);

  const fs::path out = dir.path() / "out";
  std::vector<std::string> shown;
  EXPECT_EQ(packer::ExtractArchiveFile(archivePath, out, error, [&](const std::string& p) { shown.push_back(p); }),
            static_cast<int>(files.size()));
  EXPECT_EQ(shown.size(), files.size());
  for (const auto& [name, data] : files) EXPECT_TRUE(ReadFile(out / name) == data) << name;
}

TEST(Packer, RefusesWhatTheArchiveCannotCarry) {
  struct Case {
    std::string file;  // UTF-8 relative path
    Bytes content;
    const char* reason;  // part of the message
    std::string other = {};  // a second file, which the message names as well
  };
  const char* const tooLong = "longer than the 259 characters (247 for a folder)";
  std::string dbcs60;  // a folder: UTF-8 names are at most 255 bytes on Linux
  for (int i = 0; i < 60; ++i) dbcs60 += U8(u8"表");
  const Case cases[] = {
      {"empty.txt", {}, "empty file"},
      {U8(u8"한국어.txt"), {1}, "code page 932"},
      {U8(u8"emoji😀.txt"), {1}, "code page 932"},
      {std::string(200, 'x') + "/" + std::string(60, 'y'), {1}, "more than 255"},
      {"CON.txt", {1}, "not a name the installer accepts"},
      {"trailing.", {1}, "not a name the installer accepts"},
      {"a:b", {1}, "not a name the installer accepts"},
      {"back\\slash", {1}, "not a name the installer accepts"},
      {U8(u8"yen¥sign"), {1}, "code page 932"},  // iconv would turn ¥ into 0x5C, a separator
      {U8(u8"dir¥x/file.txt"), {1}, "code page 932"},
      // Names Windows does not tell apart.
      {"Data.txt", {1}, "differ only in case", "data.TXT"},
      {"data", {1}, "differ only in case", "DATA/x.txt"},  // a file and a folder
      {"a/x.txt", {1}, "differ only in case", "A/y.txt"},  // two folders
      {U8(u8"ａ.txt"), {1}, "differ only in case", U8(u8"Ａ.txt")},  // full-width Latin
      {U8(u8"αβ"), {1}, "differ only in case", U8(u8"ΑΒ")},
      {U8(u8"ёж"), {1}, "differ only in case", U8(u8"ЁЖ")},
      {U8(u8"ⅰ.dat"), {1}, "differ only in case", U8(u8"Ⅰ.dat")},  // IBM small Roman numeral, NEC capital
      // Short-name forms at any level.
      {"PROGRA~1.TXT", {1}, "short-name form"},
      {"DATA~12", {1}, "short-name form"},
      {"sub~3/x.txt", {1}, "short-name form"},
      {U8(u8"表示~1.dat"), {1}, "short-name form"},
      {"~1", {1}, "short-name form"},
      // Too long below a game folder of 100 characters, counted in characters:
      // the original kept aside at "\~psXXXXX.stg\o\" + the name, or its folder.
      {std::string(144, 'n'), {1}, tooLong},
      {dbcs60 + "/" + std::string(83, 'a'), {1}, tooLong},
      {std::string(132, 'f') + "/a", {1}, tooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    WriteFile(dir.path() / "ok.txt", {1});
    WriteFile(dir.path() / c.file, c.content);
    if (!c.other.empty()) WriteFile(dir.path() / c.other, {2});
    std::vector<packer::PackItem> items;
    std::string error;
    EXPECT_FALSE(packer::CollectFolder(dir.path(), items, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    // The message names the file, or the folder on its way that is refused.
    EXPECT_NE(error.find((dir.path() / *fs::path(c.file).begin()).string()), std::string::npos) << error;
    if (!c.other.empty()) {
      EXPECT_NE(error.find((dir.path() / *fs::path(c.other).begin()).string()), std::string::npos) << error;
    }
  }
}

// Right beside each refusal above: names the installer writes safely.
TEST(Packer, AcceptsNamesBesideTheRefusals) {
  std::string dbcs79;
  for (int i = 0; i < 79; ++i) dbcs79 += U8(u8"表");
  const std::string names[] = {
      "a.txt", U8(u8"ａａ.txt"),  // half- and full-width differ
      "a~.txt", "a~1b.txt", "a~x1.txt", "b~1.tar.gz", "x.~1", "~",
      std::string(143, 'n'),                  // 100 + 16 + 143 = 259
      dbcs79 + "/" + std::string(63, 'a'),    // 143 characters, 222 bytes in code page 932
      std::string(131, 'f') + "/a",           // its kept folder: 100 + 16 + 131 = 247
      std::string(131, 'g') + "/" + std::string(11, 'b'),
  };
  TempDir dir;
  for (const std::string& name : names) WriteFile(dir.path() / name, {1});
  std::vector<packer::PackItem> items;
  std::string error;
  EXPECT_TRUE(packer::CollectFolder(dir.path(), items, error)) << error;
  EXPECT_EQ(items.size(), std::size(names));
}

// The rule the packer and the installer share, at a game folder of 100
// characters: a file the run adds ends at game\name (259 characters at most,
// its folder 247); a file it replaces is first kept aside at
// game\~psXXXXX.stg\o\name, 15 characters further down. The packer, which
// cannot know which files a game folder holds, takes the second.
TEST(Packer, PathLengthsBelowAGameFolderOf100Characters) {
  // A name `chars` characters deep: folders of `unit` up to a short file name.
  auto deep = [](size_t chars, const std::string& file, const std::string& unit = "d") {
    std::string folder;
    for (size_t i = 0; i + file.size() + 1 < chars; ++i) folder += unit;
    return folder + "\\" + file;
  };
  struct Case {
    std::string name;  // CP932
    bool keepsOriginal;
    size_t longest;  // game folder
  };
  const Case cases[] = {
      {deep(158, "ABCDEFGH.TXT"), false, 100},  // 100 + 1 + 158 = 259
      {deep(159, "ABCDEFGH.TXT"), false, 99},
      {std::string(158, 'n'), false, 100},
      {std::string(159, 'n'), false, 99},
      {deep(148, "a"), false, 100},  // its folder: 100 + 1 + 146 = 247
      {deep(149, "a"), false, 99},
      {deep(158, "ABCDEFGH.TXT", "表"), false, 100},  // characters, not bytes (表 ends in 0x5C)
      {deep(159, "ABCDEFGH.TXT", "表"), false, 99},
      {deep(143, "ABCDEFGH.TXT"), true, 100},  // 100 + 16 + 143 = 259
      {deep(144, "ABCDEFGH.TXT"), true, 99},
      {deep(133, "a"), true, 100},  // its kept folder: 100 + 16 + 131 = 247
      {deep(134, "a"), true, 99},
      {deep(143, "ABCDEFGH.TXT", "表"), true, 100},
      {deep(144, "ABCDEFGH.TXT", "表"), true, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(archive::PathChars(c.name)) + (c.keepsOriginal ? " characters, kept" : " characters"));
    EXPECT_EQ(archive::LongestGameFolderFor(c.name, c.keepsOriginal), c.longest);
  }
  // The run's own longest path is its folder of kept originals, game\~psXXXXX.stg\o.
  EXPECT_EQ(archive::LongestGameFolderForRun(), 247u - 15);
}

TEST(Packer, ExtractionReportsADamagedArchive) {
  TempDir dir;
  WriteFile(dir.path() / "src" / "a.bin", Bytes(5000, 1));
  std::vector<packer::PackItem> items;
  std::string error;
  packer::PackReport report;
  ASSERT_TRUE(packer::CollectFolder(dir.path() / "src", items, error));
  ASSERT_TRUE(packer::WriteArchive(items, dir.path() / "p.smf", packer::Parsing::kOptimal, report, error));
  // Cut one byte short of the stream (before the ending record and the trailer).
  fs::resize_file(dir.path() / "p.smf", report.archiveBytes - archive::Trailer::kSize - 5 - 1);
  EXPECT_EQ(packer::ExtractArchiveFile(dir.path() / "p.smf", dir.path() / "out", error), 0);
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  EXPECT_EQ(packer::ExtractArchiveFile(dir.path() / "missing.smf", dir.path() / "out", error), -1);
}

// Files are written on a thread of their own while later records are
// decoded: a record of a name already written must wait for the earlier
// file, and a failure is told with the file it belongs to.
TEST(Packer, ExtractionWritesTheLastRecordOfANameAndNamesTheFileThatFailed) {
  TempDir dir;
  Bytes first(300000), second(200000);
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i * 31 + (i >> 11));
  for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(i * 17 + 5);
  auto record = [](const char* name, const Bytes& data) {
    return Record(name, static_cast<uint32_t>(data.size()), Literals(data));
  };
  std::string error;
  WriteFile(dir.path() / "twice.smf", Cat({record("d.bin", first), record("d.bin", second)}));
  EXPECT_EQ(packer::ExtractArchiveFile(dir.path() / "twice.smf", dir.path() / "out", error), 2) << error;
  EXPECT_TRUE(ReadFile(dir.path() / "out" / "d.bin") == second);

  WriteFile(dir.path() / "two.smf", Cat({record("a.bin", first), record("b.bin", second)}));
  fs::create_directories(dir.path() / "full");
  fs::create_symlink("/dev/full", dir.path() / "full" / "a.bin");  // every write fails: no space
  EXPECT_EQ(packer::ExtractArchiveFile(dir.path() / "two.smf", dir.path() / "full", error), 0);
  EXPECT_EQ(error, "cannot write the output file: a.bin");
}

Bytes Sealed(const Bytes& archiveBytes) {
  uint8_t trailer[archive::Trailer::kSize];
  archive::EncodeTrailer({archiveBytes.size(), archive::Crc32(0, archiveBytes.data(), archiveBytes.size())}, trailer);
  return Cat({archiveBytes, Bytes(trailer, trailer + sizeof trailer)});
}

// `packer verify` passes exactly the archives the installer extracts whole,
// and names what is unusual in them.
TEST(Packer, VerifyPassesExactlyWhatTheInstallerExtracts) {
  const Bytes one = Record("one.txt", 1, Literals(Str("1")));
  const Bytes sixteen = Hex("05 61 2E 74 78 74 06 00 00 00 07 61 62 63 EE F0");  // a.txt = "abcabc"
  Bytes cut = sixteen;
  cut[6] = 5;  // the reference runs one byte past the size
  const Bytes carried = Cat({Record("a", 18, Literals(Str("abcdefghijklmnopqr"))),
                             Record("b", 6, Hex("00 EE F3"))});  // reads a's 4078.. before writing them
  const Bytes ending = Hex("00 00 00 00 00");
  Bytes tampered = Sealed(Cat({one, ending}));
  tampered[13] ^= 1;  // the literal "1"
  struct Case {
    const char* what;
    Bytes archive;
    bool passes;
    int count;
    const char* says;  // in a note when it passes, in a failure when not; "" for nothing to say
    archive::TrailerStatus trailer;
  };
  using enum archive::TrailerStatus;
  const Case cases[] = {
      {"records to the end of the file", Cat({sixteen, one}), true, 2, "", kAbsent},
      {"ending record and trailer", Sealed(Cat({sixteen, one, ending})), true, 2, "", kMatches},
      {"one-byte ending record before the trailer", Sealed(Cat({one, Hex("00")})), true, 1, "", kMatches},
      {"reference cut at its record's end", Cat({cut, one}), true, 2, "cut there by the extraction: 1", kAbsent},
      {"reads of positions an earlier record wrote", Sealed(Cat({carried, ending})), true, 2, "4078..4095", kMatches},
      {"bytes after the ending record", Cat({one, ending, Str("junk")}), true, 1, "never read by the extraction: 4", kAbsent},
      {"bytes between ending record and trailer", Sealed(Cat({one, ending, Str("ab")})), true, 1, "never read by the extraction: 2",
       kMatches},
      {"named ending record", Sealed(Cat({one, Record("e.txt", 0, {})})), true, 1, "empty file", kMatches},
      {"empty file", {}, false, 0, "holds no file", kAbsent},
      {"only an ending record", Sealed(ending), false, 0, "holds no file", kMatches},
      {"unsafe name", Cat({one, Record("..\\x", 1, Literals(Str("1")))}), false, 0, "unsafe record name", kAbsent},
      {"unassigned CP932 code", Record("\x85\x40", 1, Literals(Str("1"))), false, 0, "unsafe record name", kAbsent},
      {"cut inside a stream", Cat({one, Bytes(sixteen.begin(), sixteen.end() - 1)}), false, 0, "damaged", kAbsent},
      {"trailer without an ending record", Sealed(one), false, 0, "damaged", kMatches},
      {"a byte changed under the trailer", tampered, false, 1, "trailer does not match", kMismatch},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(dir.path() / "a.smf", c.archive);
    packer::VerifyReport report;
    std::string error;
    ASSERT_TRUE(packer::VerifyArchive(dir.path() / "a.smf", report, error)) << error;
    EXPECT_EQ(report.Passes(), c.passes);
    EXPECT_EQ(report.engineCount, c.count);
    EXPECT_EQ(report.trailer, c.trailer);
    const auto& said = c.passes ? report.notes : report.failures;
    std::string all;
    for (const auto& s : said) all += s + "\n";
    if (*c.says == '\0') {
      EXPECT_EQ(all, "");
    } else {
      EXPECT_NE(all.find(c.says), std::string::npos) << all;
    }
    if (c.passes) {
      EXPECT_EQ(report.failures, std::vector<std::string>{});
    }
  }
}

// Files that meet the block hand-overs of the parallel packing: block-sized
// files and one byte either side, a short last block after full ones (whose
// parse compares with bytes of the block before), tiny files, references
// reaching back across block starts, and many small files in a row.
std::map<std::string, Bytes> BlockEdgeFiles() {
  constexpr size_t kBlock = packer::kEncodeBlock;
  std::mt19937 rng(11);
  auto random = [&](size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
  };
  auto text = [&](size_t n) {
    Bytes b;
    while (b.size() < n) {
      const std::string line = "line " + std::to_string(rng() % 50) + " of text\r\n";
      b.insert(b.end(), line.begin(), line.end());
    }
    b.resize(n);
    return b;
  };
  std::map<std::string, Bytes> files;
  files["a/block.bin"] = random(kBlock);
  files["a/block+1.txt"] = text(kBlock + 1);
  files["a/block-1.bin"] = random(kBlock - 1);
  files["b/2 blocks+17.txt"] = text(2 * kBlock + 17);
  Bytes runs(2 * kBlock + 16);
  for (size_t i = 0; i < runs.size(); ++i) runs[i] = i % 1000 < 500 ? 'x' : static_cast<uint8_t>(i / 1000);
  files["b/2 blocks+16.bin"] = runs;
  files["b/repeats.txt"] = text(3 * kBlock + 1000);
  for (size_t n = 1; n <= 3; ++n) files[std::string(n, 't')] = random(n);
  for (int i = 0; i < 60; ++i) files["many/m" + std::to_string(100 + i)] = text(1 + rng() % 700);
  return files;
}

// The archive the packing must write: each record's header and EncodeStream
// of its file, in the order of CollectFolder, the ending record, the trailer.
Bytes ExpectedArchive(const std::vector<packer::PackItem>& items, packer::Parsing parsing) {
  Bytes archive;
  for (const auto& item : items) {
    const Bytes data = ReadFile(item.file);
    archive = Cat({archive, Record(item.name, static_cast<uint32_t>(data.size()), Encode(data, parsing))});
  }
  return Sealed(Cat({archive, Bytes(5, 0)}));
}

TEST(Packer, ArchiveIsTheSameForEveryThreadCount) {
  TempDir dir;
  for (const auto& [name, data] : BlockEdgeFiles()) WriteFile(dir.path() / "src" / name, data);
  std::vector<packer::PackItem> items;
  std::string error;
  ASSERT_TRUE(packer::CollectFolder(dir.path() / "src", items, error)) << error;
  const Bytes optimal = ExpectedArchive(items, packer::Parsing::kOptimal);
  // Length and CRC-32 of what the one-threaded packer of earlier versions
  // wrote for this folder: the coding has not changed.
  const auto trailer = archive::ParseTrailer(&optimal[optimal.size() - archive::Trailer::kSize], optimal.size());
  ASSERT_TRUE(trailer);
  EXPECT_EQ(trailer->length, 846168u);
  EXPECT_EQ(trailer->crc, 2603769040u);

  const struct {
    packer::Parsing parsing;
    unsigned jobs;
  } cases[] = {{packer::Parsing::kOptimal, 1}, {packer::Parsing::kOptimal, 2}, {packer::Parsing::kOptimal, 3},
               {packer::Parsing::kOptimal, 7}, {packer::Parsing::kGreedy, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jobs);
    packer::PackOptions options;
    options.parsing = c.parsing;
    options.jobs = c.jobs;
    uint64_t lastDone = 0, calls = 0;
    options.progress = [&](uint64_t done, uint64_t total) {
      EXPECT_GT(done, lastDone);
      EXPECT_LE(done, total);
      lastDone = done;
      ++calls;
    };
    packer::PackReport report;
    const fs::path archivePath = dir.path() / "p.smf";
    ASSERT_TRUE(packer::WriteArchive(items, archivePath, options, report, error)) << error;
    const Bytes expected = c.parsing == packer::Parsing::kOptimal ? optimal : ExpectedArchive(items, c.parsing);
    EXPECT_TRUE(ReadFile(archivePath) == expected);
    EXPECT_EQ(report.files, items.size());
    EXPECT_EQ(report.archiveBytes, expected.size());
    EXPECT_EQ(lastDone, report.inputBytes);
    EXPECT_GE(calls, items.size());  // at least once a file
  }
}

TEST(Packer, StoppedPackingLeavesNoArchive) {
  TempDir dir;
  WriteFile(dir.path() / "src" / "big.bin", Bytes(20 * packer::kEncodeBlock, 7));
  WriteFile(dir.path() / "src" / "small.bin", Bytes(100, 8));
  std::vector<packer::PackItem> items;
  std::string error;
  ASSERT_TRUE(packer::CollectFolder(dir.path() / "src", items, error));
  packer::PackOptions options;
  options.jobs = 2;
  uint64_t seen = 0;
  options.keepGoing = [&](uint64_t archiveBytes) {
    EXPECT_GT(archiveBytes, seen);
    seen = archiveBytes;
    return archiveBytes < 100000;
  };
  packer::PackReport report;
  const fs::path archivePath = dir.path() / "p.smf";
  EXPECT_FALSE(packer::WriteArchive(items, archivePath, options, report, error));
  EXPECT_NE(error.find("stopped"), std::string::npos) << error;
  EXPECT_GE(seen, 100000u);
  EXPECT_FALSE(fs::exists(archivePath));
  EXPECT_FALSE(fs::exists(archivePath.string() + ".part"));
}

// A record's size is written before its stream: a file whose size changes
// once the packing has started is refused, whenever it changes.
TEST(Packer, RefusesAFileWhoseSizeChangesWhilePacking) {
  // More blocks than are in flight at a time, so the change meets the
  // reader before it has finished the file.
  const size_t blocks = 40;
  const struct {
    const char* what;
    bool beforeStart;
    uint64_t newSize;
  } cases[] = {
      {"emptied", true, 0},
      {"cut while being read", false, 20 * packer::kEncodeBlock + 100},
      {"grown while being read", false, blocks * packer::kEncodeBlock + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path file = dir.path() / "src" / "a.bin";
    WriteFile(file, Bytes(blocks * packer::kEncodeBlock, 0));
    std::vector<packer::PackItem> items;
    std::string error;
    ASSERT_TRUE(packer::CollectFolder(dir.path() / "src", items, error));
    packer::PackOptions options;
    options.jobs = 1;
    bool changed = false;
    auto change = [&] {
      fs::resize_file(file, c.newSize);
      changed = true;
    };
    if (c.beforeStart) change();
    options.progress = [&](uint64_t, uint64_t) {
      if (!changed) change();
    };
    packer::PackReport report;
    const fs::path archivePath = dir.path() / "p.smf";
    EXPECT_FALSE(packer::WriteArchive(items, archivePath, options, report, error));
    EXPECT_EQ(error, file.string() + ": size changed while packing");
    EXPECT_FALSE(fs::exists(archivePath));
    EXPECT_FALSE(fs::exists(archivePath.string() + ".part"));
  }
}

TEST(DemoPatch, ShapedLikeTheRealPatch) {
  const auto files = packer::MakeDemoPatch();
  ASSERT_EQ(files.size(), 283u);
  EXPECT_EQ(files[0].path, "Config02.exe");
  EXPECT_EQ(files[1].path, "Game02.exe");
  EXPECT_EQ(files[2].path, "version.txt");
  EXPECT_EQ(files[2].bytes, Str("1.260\r\n"));
  uint64_t total = 0;
  size_t smallest = SIZE_MAX, largest = 0, doubleByte = 0, trail5C = 0;
  std::set<std::string> folders, names;
  for (const auto& f : files) {
    total += f.bytes.size();
    smallest = std::min(smallest, f.bytes.size());
    largest = std::max(largest, f.bytes.size());
    const auto name = packer::Utf8ToCp932(f.path);
    ASSERT_TRUE(name) << f.path;
    EXPECT_GE(name->size(), 10u) << f.path;
    EXPECT_LE(name->size(), 24u) << f.path;
    EXPECT_TRUE(names.insert(f.path).second) << f.path;
    bool dbcs = false, has5C = false;
    for (size_t i = 0; i < name->size(); ++i) {
      if (pathrules::IsLeadByte(static_cast<unsigned char>((*name)[i]))) {
        dbcs = true;
        has5C |= (*name)[i + 1] == '\\';
        ++i;
      }
    }
    doubleByte += dbcs;
    trail5C += has5C;
    if (f.path.find('/') != std::string::npos) folders.insert(f.path.substr(0, f.path.find('/')));
  }
  EXPECT_EQ(folders.size(), 2u);
  EXPECT_EQ(doubleByte, 215u);
  EXPECT_GE(trail5C, 10u);
  EXPECT_EQ(smallest, 7u);
  EXPECT_EQ(largest, 1481728u);
  EXPECT_EQ(total, 19946092u);
  EXPECT_TRUE(files == packer::MakeDemoPatch()) << "not deterministic";
}

TEST(DemoPatch, PacksAboutFourPointSixToOneWithEveryReferenceLength) {
  packer::EncodeStats all;
  uint64_t in = 0, out = 0;
  for (const auto& f : packer::MakeDemoPatch()) {
    packer::EncodeStats stats;
    out += Encode(f.bytes, packer::Parsing::kOptimal, &stats).size() + 5 + packer::Utf8ToCp932(f.path)->size();
    in += f.bytes.size();
    for (int n = 3; n <= 18; ++n) all.referencesByLength[n] += stats.referencesByLength[n];
  }
  for (int n = 3; n <= 18; ++n) EXPECT_GT(all.referencesByLength[n], 0u) << "length " << n;
  const double ratio = static_cast<double>(in) / static_cast<double>(out);
  EXPECT_GT(ratio, 4.4);
  EXPECT_LT(ratio, 4.8);
}

TEST(Progress, FormatsPercentMegabytesRateAndTimeLeft) {
  const struct {
    uint64_t done, total;
    double seconds;
    const char* line;
  } cases[] = {
      {0, 0, 0.0, "100%     0.0 of 0.0 MB     0.0 MB/s     0:00 left"},
      {0, 193000000, 2.0, "  0%     0.0 of 193.0 MB     0.0 MB/s    --:-- left"},
      {50000000, 200000000, 10.0, " 25%    50.0 of 200.0 MB     5.0 MB/s     0:30 left"},
      {999999, 1000000, 1.0, " 99%     1.0 of 1.0 MB     1.0 MB/s     0:01 left"},
      {193000000, 193000000, 8.0, "100%   193.0 of 193.0 MB    24.1 MB/s     0:00 left"},
      {1000000, 1000000000, 10.0, "  0%     1.0 of 1000.0 MB     0.1 MB/s  2:46:30 left"},
      {1, 4000000000, 100.0, "  0%     0.0 of 4000.0 MB     0.0 MB/s    >99 h left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(packer::FormatProgress(c.done, c.total, c.seconds), c.line);
  }
}

TEST(Progress, DrawsNothingOffATerminal) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    packer::ProgressLine line(file, true);
    ::usleep(300000);  // past the redraw interval
    line.Update(1, 2);
  }
  EXPECT_EQ(std::ftell(file), 0);
  std::fclose(file);
}

}  // namespace
