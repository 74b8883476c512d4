// The release path on the build host: the resource writer on small Windows
// programs shaped like the installer, what `inspect` reads from an
// installer, and `packer build` with its refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "engine/Trailer.h"
#include "packlib/HostArchive.h"
#include "packlib/HostFrontEnd.h"
#include "packlib/InstallerFile.h"
#include "packlib/PeResources.h"
#include "packlib/ReleaseCommands.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct Fixture {
  const char* arch;
  const char* path;
  const char* objdump;
  const char* format;
};
const Fixture kFixtures[] = {{"i686", PS_PE_FIXTURE_i686, PS_OBJDUMP_i686, "pei-i386"},
                             {"x86_64", PS_PE_FIXTURE_x86_64, PS_OBJDUMP_x86_64, "pei-x86-64"}};

bool Found(const char* tool) { return tool[0] != '\0' && std::string(tool).find("NOTFOUND") == std::string::npos; }

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// Runs a shell command; its exit status and what it printed.
std::pair<int, std::string> RunTool(const std::string& command) {
  std::string output;
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return {-1, ""};
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  return {pclose(p), output};
}

// Bytes that do not compress, cheap to make in any amount.
Bytes Noise(size_t size, uint64_t seed = 1) {
  Bytes out(size);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; i += 8) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    for (size_t k = 0; k < 8 && i + k < size; ++k) out[i + k] = static_cast<uint8_t>(x >> (8 * k));
  }
  return out;
}

struct Offsets {
  size_t optional, directories, sections;
  uint16_t count;
};
Offsets OffsetsOf(const Bytes& f) {
  const size_t coff = Get32(f, 0x3C) + 4;
  const size_t optional = coff + 20;
  const bool plus = f[optional] == 0x0B && f[optional + 1] == 0x02;
  return {optional, optional + (plus ? 112 : 96), optional + (f[coff + 16] | f[coff + 17] << 8),
          static_cast<uint16_t>(f[coff + 2] | f[coff + 3] << 8)};
}

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// What a loader and a signer rely on: aligned sections in order without
// overlap, the image size, the checksum, the directories where the sections are.
void ExpectSoundImage(const Bytes& f) {
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::Parse(f, image, error)) << error;
  uint64_t lastAddress = 0, rawEnd = 0;
  for (const pe::Section& s : image.sections) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(s.virtualAddress % image.sectionAlignment, 0u);
    EXPECT_GE(s.virtualAddress, lastAddress);
    lastAddress = AlignUp(uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.rawSize), image.sectionAlignment);
    if (s.rawSize == 0) continue;
    EXPECT_EQ(s.rawOffset % image.fileAlignment, 0u);
    EXPECT_EQ(s.rawSize % image.fileAlignment, 0u);
    EXPECT_GE(s.rawOffset, rawEnd);
    rawEnd = uint64_t{s.rawOffset} + s.rawSize;
  }
  EXPECT_EQ(image.sizeOfImage, lastAddress);
  EXPECT_EQ(rawEnd, f.size()) << "nothing after the sections";
  EXPECT_EQ(image.checksum, pe::Checksum(f, image.checksumOffset));
  const Offsets o = OffsetsOf(f);
  ASSERT_TRUE(image.hasResources);
  const pe::Section& rsrc = image.sections[image.resourceSection];
  EXPECT_EQ(Get32(f, o.directories + 16), rsrc.virtualAddress);
  EXPECT_LE(Get32(f, o.directories + 20), rsrc.virtualSize);
  const pe::Section& reloc = image.sections.back();
  EXPECT_EQ(reloc.name, ".reloc");
  EXPECT_EQ(Get32(f, o.directories + 40), reloc.virtualAddress);
  EXPECT_EQ(Get32(f, o.directories + 32), 0u) << "no certificate table";
}

bool IsArchive(const pe::Resource& r) {
  return r.type == pe::ResourceKey::Named("SMF") && r.name == pe::ResourceKey::Named("KASTER");
}

// The resources other than the archive, as comparable tuples.
std::vector<std::tuple<std::string, std::string, uint16_t, uint32_t, Bytes>> Others(const pe::Image& image) {
  std::vector<std::tuple<std::string, std::string, uint16_t, uint32_t, Bytes>> out;
  for (const pe::Resource& r : image.resources) {
    if (!IsArchive(r)) out.emplace_back(r.type.Show(), r.name.Show(), r.language, r.codepage, r.data);
  }
  return out;
}

Bytes SectionBytes(const Bytes& f, const pe::Section& s) {
  return Bytes(f.begin() + s.rawOffset, f.begin() + s.rawOffset + s.rawSize);
}

class ReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Found(kFixtures[0].path)) GTEST_SKIP() << "no mingw-w64 cross compiler: no test programs";
    char pattern[] = "/tmp/release_test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
  static Bytes Stub(const Fixture& f = kFixtures[0]) { return ReadBytes(f.path); }
  fs::path dir;
};

TEST_F(ReleaseTest, ChecksumIsTheLinkers) {
  for (const Fixture& f : kFixtures) {
    const Bytes stub = Stub(f);
    pe::Image image;
    std::string error;
    ASSERT_TRUE(pe::Parse(stub, image, error)) << error;
    EXPECT_NE(image.checksum, 0u);
    EXPECT_EQ(pe::Checksum(stub, image.checksumOffset), image.checksum) << f.arch;
  }
}

TEST_F(ReleaseTest, ArchivesOfEverySizeReadBackByteForByte) {
  const bool haveWrestool = Found(PS_WRESTOOL);
  for (const Fixture& f : kFixtures) {
    const Bytes stub = Stub(f);
    pe::Image before;
    std::string error;
    ASSERT_TRUE(pe::Parse(stub, before, error)) << error;
    std::vector<size_t> sizes = {0, 1, 5 << 20};
    if (std::string(f.arch) == "i686") sizes.push_back(150 << 20);  // the shipped kind only: it costs seconds
    for (size_t size : sizes) {
      SCOPED_TRACE(std::string(f.arch) + ", archive of " + std::to_string(size) + " bytes");
      const Bytes archive = Noise(size, size);
      Bytes out;
      packer::EmbedReport report;
      ASSERT_TRUE(packer::EmbedArchive(stub, archive, out, report, error)) << error;
      EXPECT_EQ(report.languages, 2u);
      EXPECT_FALSE(report.droppedSignature);
      ExpectSoundImage(out);
      pe::Image after;
      ASSERT_TRUE(pe::Parse(out, after, error)) << error;
      EXPECT_EQ(packer::ArchiveLanguages(after), (std::vector<uint16_t>{0, 0x411}));
      for (const pe::Resource* r : after.Find(pe::ResourceKey::Named("SMF"), pe::ResourceKey::Named("KASTER"))) {
        EXPECT_TRUE(r->data == archive) << "language " << r->language;
      }
      EXPECT_EQ(Others(after), Others(before));
      // The moved relocations are the same bytes, and so is everything before the resources.
      EXPECT_EQ(SectionBytes(out, after.sections.back()), SectionBytes(stub, before.sections.back()));
      const size_t rsrcAt = before.sections[before.resourceSection].rawOffset;
      const Offsets o = OffsetsOf(stub);
      EXPECT_TRUE(std::equal(stub.begin() + o.sections + 40 * o.count, stub.begin() + rsrcAt,
                             out.begin() + o.sections + 40 * o.count));

      // Other tools read the result.
      const fs::path file = dir / "out.exe";
      WriteBytes(file, out);
      if (Found(f.objdump)) {
        const auto [status, text] = RunTool(std::string(f.objdump) + " -p " + file.string());
        EXPECT_EQ(status, 0) << text;
        EXPECT_NE(text.find(std::string("file format ") + f.format), std::string::npos);
      }
      if (haveWrestool) {
        const fs::path extracted = dir / "extracted.smf";
        const auto [status, text] = RunTool(std::string(PS_WRESTOOL) + " -x --raw --type=SMF --name=KASTER --language=1041 " +
                                        file.string() + " -o " + extracted.string());
        EXPECT_EQ(status, 0) << text;
        EXPECT_TRUE(ReadBytes(extracted) == archive) << "wrestool reads another archive";
      }
    }
  }
}

TEST_F(ReleaseTest, RewritingTheSameResourcesIsStable) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.arch);
    const Bytes stub = Stub(f);
    pe::Image image;
    std::string error;
    ASSERT_TRUE(pe::Parse(stub, image, error)) << error;
    Bytes once, twice;
    pe::RewriteReport report;
    ASSERT_TRUE(pe::Rewrite(stub, image, image.resources, once, report, error)) << error;
    EXPECT_EQ(report.movedSections, 1u);
    ExpectSoundImage(once);
    pe::Image again;
    ASSERT_TRUE(pe::Parse(once, again, error)) << error;
    ASSERT_EQ(again.resources.size(), image.resources.size());
    for (size_t i = 0; i < image.resources.size(); ++i) {
      const pe::Resource &a = image.resources[i], &b = again.resources[i];
      EXPECT_TRUE(a.type == b.type && a.name == b.name && a.language == b.language && a.codepage == b.codepage &&
                  a.data == b.data)
          << a.type.Show() << "/" << a.name.Show();
    }
    EXPECT_EQ(again.Find(pe::ResourceKey::Number(10), pe::ResourceKey{u"\u8868\u793A", 0}).size(), 1u);
    ASSERT_TRUE(pe::Rewrite(once, again, again.resources, twice, report, error)) << error;
    EXPECT_TRUE(once == twice);
  }
}

// A directory table counts its named and its numbered entries in 16 bits
// each: a level of the tree with more of either is refused, not written with
// its count cut short; one of 65535 reads back whole.
TEST_F(ReleaseTest, RefusesATreeLevelItsCountsCannotHold) {
  const Bytes stub = Stub();
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::Parse(stub, image, error)) << error;
  auto numbered = [](size_t i) { return pe::ResourceKey::Number(static_cast<uint16_t>(i)); };
  auto named = [](size_t i) { return pe::ResourceKey::Named(std::to_string(i).c_str()); };
  auto fixed = [](const char* key) { return [=](size_t) { return pe::ResourceKey::Named(key); }; };
  struct Case {
    const char* what;
    size_t count;
    std::function<pe::ResourceKey(size_t)> type, name;
    bool byLanguage;      // the i-th resource has language i, else language 0
    const char* message;  // part of the error; null: written
  };
  const Case cases[] = {
      {"65535 names by number", 65535, fixed("SMF"), numbered, false, nullptr},
      {"65536 names by number", 65536, fixed("SMF"), numbered, false, "names of resource type SMF: 65536 by number"},
      {"65536 types by name", 65536, named, fixed("KASTER"), false, "resource types: 65536 by name"},
      {"65536 languages", 65536, fixed("SMF"), fixed("KASTER"), true, "languages of resource SMF/KASTER: 65536"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<pe::Resource> resources(c.count);
    for (size_t i = 0; i < c.count; ++i) {
      resources[i].type = c.type(i);
      resources[i].name = c.name(i);
      resources[i].language = c.byLanguage ? static_cast<uint16_t>(i) : 0;
    }
    Bytes out;
    pe::RewriteReport report;
    error.clear();
    const bool written = pe::Rewrite(stub, image, resources, out, report, error);
    if (c.message == nullptr) {
      ASSERT_TRUE(written) << error;
      pe::Image back;
      ASSERT_TRUE(pe::Parse(out, back, error)) << error;
      EXPECT_EQ(back.resources.size(), c.count);
    } else {
      EXPECT_FALSE(written);
      EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
  }
}

// The installer written from files in one pass is the one written in memory,
// on both sides of the size from which the parser leaves a resource in the file.
TEST_F(ReleaseTest, StreamedFromFilesAsInMemory) {
  for (const Fixture& f : kFixtures) {
    for (const size_t size : {pe::kHeldBytes, pe::kHeldBytes + 1, size_t{3} << 20}) {
      SCOPED_TRACE(std::string(f.arch) + ", archive of " + std::to_string(size) + " bytes");
      const Bytes archive = Noise(size, 5);
      WriteBytes(dir / "stub.exe", Stub(f));
      WriteBytes(dir / "archive.smf", archive);
      Bytes inMemory;
      packer::EmbedReport report;
      std::string error;
      ASSERT_TRUE(packer::EmbedArchive(Stub(f), archive, inMemory, report, error)) << error;
      {
        const auto stub = packer::InputFile::Open(dir / "stub.exe");
        const auto carried = packer::InputFile::Open(dir / "archive.smf");
        const auto out = packer::OutputFile::Create(dir / "out.exe");
        ASSERT_TRUE(stub && carried && out);
        ASSERT_TRUE(packer::EmbedArchive(*stub, *carried, *out, report, error)) << error;
        ASSERT_TRUE(out->Close());
      }
      EXPECT_TRUE(ReadBytes(dir / "out.exe") == inMemory);

      const auto written = packer::InputFile::Open(dir / "out.exe");
      pe::Image image;
      ASSERT_TRUE(packer::ReadInstaller(*written, image, error)) << error;
      for (const pe::Resource* r : image.Find(pe::ResourceKey::Named("SMF"), pe::ResourceKey::Named("KASTER"))) {
        EXPECT_EQ(r->from != nullptr, size > pe::kHeldBytes);
        EXPECT_EQ(r->Size(), size);
      }
      packer::Inspection fromFile, fromMemory;
      ASSERT_TRUE(packer::InspectInstaller(*written, fromFile, error)) << error;
      ASSERT_TRUE(packer::InspectInstaller(inMemory, fromMemory, error)) << error;
      EXPECT_EQ(fromFile.archiveBytes, size);
      EXPECT_EQ(fromFile.archiveOffset, fromMemory.archiveOffset);
      EXPECT_EQ(fromFile.records, fromMemory.records);
      EXPECT_TRUE(fromFile.checksumMatches);
      EXPECT_FALSE(fromFile.copiesDiffer);
    }
  }
}

// The checksum summed in pieces, split on either side of every byte of its
// own field and at odd offsets, is the checksum of the whole.
TEST_F(ReleaseTest, ChecksumInPieces) {
  const Bytes stub = Stub();
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::Parse(stub, image, error)) << error;
  const size_t field = image.checksumOffset;
  for (const size_t split : {field - 1, field, field + 1, field + 2, field + 3, field + 4, field + 5, size_t{1},
                             stub.size() - 1}) {
    pe::ChecksumSum sum(field);
    sum.Add(stub.data(), split);
    sum.Add(stub.data() + split, 1);
    sum.Add(stub.data() + split + 1, stub.size() - split - 1);
    EXPECT_EQ(sum.Value(), image.checksum) << "split at " << split;
  }
}

// A certificate table as a signer appends it: the file padded to 8 bytes,
// then WIN_CERTIFICATE records, named by directory entry 4.
Bytes FakeSigned(Bytes file, size_t certificateBytes = 1000) {
  while (file.size() % 8) file.push_back(0);
  const size_t at = file.size();
  Bytes table = Noise(certificateBytes, 7);
  Set32(table, 0, static_cast<uint32_t>(certificateBytes));
  table[4] = 0x00, table[5] = 0x02, table[6] = 0x02, table[7] = 0x00;  // revision 2.0, PKCS#7
  file.insert(file.end(), table.begin(), table.end());
  const Offsets o = OffsetsOf(file);
  Set32(file, o.directories + 32, static_cast<uint32_t>(at));
  Set32(file, o.directories + 36, static_cast<uint32_t>(certificateBytes));
  pe::Image image;
  std::string error;
  pe::Parse(file, image, error);
  Set32(file, image.checksumOffset, pe::Checksum(file, image.checksumOffset));
  return file;
}

TEST_F(ReleaseTest, ASignedStubLosesItsSignatureWhole) {
  const Bytes stub = Stub();
  const Bytes signedStub = FakeSigned(stub);
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::Parse(signedStub, image, error)) << error;
  EXPECT_TRUE(image.Signed());

  Bytes out;
  packer::EmbedReport report;
  ASSERT_TRUE(packer::EmbedArchive(signedStub, Noise(3000), out, report, error)) << error;
  EXPECT_TRUE(report.droppedSignature);
  ExpectSoundImage(out);  // no table left, no entry naming one

  Bytes dropped;
  ASSERT_TRUE(packer::DropSignature(signedStub, dropped, error)) << error;
  EXPECT_TRUE(dropped == stub) << "the unsigned file again, checksum included";

  // A table that is not at the end is not a signature this writer can drop.
  Bytes odd = signedStub;
  odd.push_back(0);
  EXPECT_FALSE(packer::EmbedArchive(odd, Noise(10), out, report, error));
  EXPECT_NE(error.find("certificate table"), std::string::npos) << error;
}

// Offsets of the archive's entries in the fixture's resource tree.
struct TreeSpots {
  size_t root, typeEntry, languageEntry, dataEntry, nameString;
};
TreeSpots SpotsOf(const Bytes& f) {
  pe::Image image;
  std::string error;
  pe::Parse(f, image, error);
  const size_t root = image.sections[image.resourceSection].rawOffset;
  const size_t typeEntry = root + 16;  // SMF: the first named type
  const size_t typeTable = root + (Get32(f, typeEntry + 4) & 0x7FFFFFFF);
  const size_t nameTable = root + (Get32(f, typeTable + 16 + 4) & 0x7FFFFFFF);  // KASTER
  const size_t languageEntry = nameTable + 16;
  return {root, typeEntry, languageEntry, root + Get32(f, languageEntry + 4),
          root + (Get32(f, typeEntry) & 0x7FFFFFFF)};
}

TEST_F(ReleaseTest, RefusesFilesItCannotReadOrRewriteSafely) {
  const Bytes stub = Stub();
  const TreeSpots spots = SpotsOf(stub);
  const Offsets o = OffsetsOf(stub);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* message;  // part of the error
  };
  const Case cases[] = {
      {"cut after the DOS header", [](Bytes& f) { f.resize(0x40); }, "no PE header"},
      {"PE header offset past the end", [](Bytes& f) { Set32(f, 0x3C, static_cast<uint32_t>(f.size() - 2)); },
       "no PE header"},
      {"no sections", [&](Bytes& f) { f[o.optional - 18] = f[o.optional - 17] = 0; }, "section count"},
      {"a section's data past the end", [&](Bytes& f) { Set32(f, o.sections + 20, 0xFFFFFF00); }, "beyond the end"},
      {"more entries than the section holds", [&](Bytes& f) { f[spots.root + 14] = f[spots.root + 15] = 0xFF; },
       "entries outside"},
      {"a table used twice (a loop)", [&](Bytes& f) { Set32(f, spots.typeEntry + 4, 0x80000000); }, "used twice"},
      {"a table outside the section", [&](Bytes& f) { Set32(f, spots.typeEntry + 4, 0x80FFFFF0); }, "outside"},
      {"a language that is a table", [&](Bytes& f) { Set32(f, spots.languageEntry + 4, 0x80000000 | 0x200); },
       "three levels"},
      {"data outside every section", [&](Bytes& f) { Set32(f, spots.dataEntry, 0x7FFFFFF0); }, "outside the file"},
      {"data larger than the file", [&](Bytes& f) { Set32(f, spots.dataEntry + 4, 0xFFFFFFF0); }, "outside the file"},
      {"a name longer than the section", [&](Bytes& f) { f[spots.nameString] = f[spots.nameString + 1] = 0xFF; },
       "name outside"},
      {"a certificate table past the end", [&](Bytes& f) { Set32(f, o.directories + 36, 64); Set32(f, o.directories + 32, static_cast<uint32_t>(f.size() - 8)); },
       "certificate"},
      {"not an installer (no SMF type)", [&](Bytes& f) { f[spots.nameString + 6] = 'G'; }, "not a patch installer"},
      {"resources not at their section's start", [&](Bytes& f) { Set32(f, o.directories + 16, Get32(f, o.directories + 16) + 16); },
       ""},
      {"a section after the resources that is not relocations",
       [&](Bytes& f) { Set32(f, o.directories + 40, 0); Set32(f, o.directories + 44, 0); }, "cannot be moved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes damaged = stub;
    c.damage(damaged);
    Bytes out;
    packer::EmbedReport report;
    std::string error;
    EXPECT_FALSE(packer::EmbedArchive(damaged, Noise(100), out, report, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_FALSE(error.empty());
  }
}

// Random damage anywhere in the headers and the resource tree: the reader
// and writer refuse or succeed, never read outside the file (ASan watches),
// and what they write is a sound image.
TEST_F(ReleaseTest, SurvivesRandomDamage) {
  const Bytes stub = Stub();
  const TreeSpots spots = SpotsOf(stub);
  std::mt19937 rng(12);
  int written = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes f = stub;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 4); k < n; ++k) {
      const size_t at = rng() % 2 ? rng() % 0x400 : spots.root + rng() % 0x340;
      f[at] = static_cast<uint8_t>(rng());
    }
    Bytes out;
    packer::EmbedReport report;
    std::string error;
    if (packer::EmbedArchive(f, Noise(50), out, report, error)) {
      pe::Image image;
      ASSERT_TRUE(pe::Parse(out, image, error)) << "round " << round << ": " << error;
      ++written;
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  EXPECT_GT(written, 100);
}

TEST_F(ReleaseTest, InspectionTellsWhatTheInstallerWillDo) {
  // Literal-only records: flag byte 0xFF, then eight bytes.
  auto record = [](const std::string& name, const std::string& data) {
    std::string head(1, static_cast<char>(name.size()));
    head += name;
    for (int k = 0; k < 4; ++k) head += static_cast<char>(data.size() >> (8 * k));
    Bytes out(head.begin(), head.end());
    for (size_t i = 0; i < data.size(); i += 8) {
      out.push_back(0xFF);
      out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                 data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), i + 8)));
    }
    return out;
  };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  auto sealed = [](Bytes archive, bool damage) {
    archive::Trailer t{archive.size(), archive::Crc32(0, archive.data(), archive.size())};
    uint8_t bytes[archive::Trailer::kSize];
    archive::EncodeTrailer(t, bytes);
    if (damage) archive[17] ^= 1;  // a byte of "program": the records still read
    archive.insert(archive.end(), bytes, bytes + sizeof bytes);
    return archive;
  };
  const Bytes patch = cat({record("Game02.exe", "program"), record("sub\\version.txt", "9.9\r\n"),
                           record("VERSION.TXT", "1.260\r\nsecond line")});
  const Bytes ending = cat({patch, Bytes{0}});
  struct Case {
    const char* what;
    Bytes archive;
    uint32_t records;
    uint64_t bytes;
    int count;
    archive::TrailerStatus trailer;
    const char* version;  // nullptr: none
    bool complete;
  };
  using TS = archive::TrailerStatus;
  const Case cases[] = {
      {"empty (the stub)", {}, 0, 0, 0, TS::kAbsent, nullptr, true},
      {"three records", patch, 3, 7 + 5 + 18, 3, TS::kAbsent, "1.260", true},
      {"ending record and trailer", sealed(ending, false), 3, 30, 3, TS::kMatches, "1.260", true},
      {"damaged under its trailer", sealed(ending, true), 3, 30, 3, TS::kMismatch, "1.260", true},
      {"cut inside a record", Bytes(patch.begin(), patch.end() - 4), 3, 30, 0, TS::kAbsent, nullptr, false},
      {"unsafe name", record("..\\x.txt", "x"), 1, 1, 0, TS::kAbsent, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes installer;
    packer::EmbedReport report;
    std::string error;
    ASSERT_TRUE(packer::EmbedArchive(Stub(), c.archive, installer, report, error)) << error;
    packer::Inspection in;
    ASSERT_TRUE(packer::InspectInstaller(installer, in, error)) << error;
    EXPECT_EQ(in.archiveBytes, c.archive.size());
    EXPECT_EQ(in.records, c.records);
    EXPECT_EQ(in.decodedBytes, c.bytes);
    EXPECT_EQ(in.check.count, c.count);
    EXPECT_EQ(in.trailer, c.trailer);
    EXPECT_EQ(in.complete, c.complete);
    EXPECT_EQ(in.hasVersion, c.version != nullptr);
    if (c.version) {
      EXPECT_EQ(in.version, c.version);
    }
    EXPECT_FALSE(in.isSigned);
    EXPECT_TRUE(in.checksumMatches);
    EXPECT_FALSE(in.copiesDiffer);
    EXPECT_TRUE(std::equal(c.archive.begin(), c.archive.end(), installer.begin() + static_cast<std::ptrdiff_t>(in.archiveOffset)));
  }
  packer::Inspection in;
  std::string error;
  ASSERT_TRUE(packer::InspectInstaller(FakeSigned(Stub()), in, error)) << error;
  EXPECT_TRUE(in.isSigned);
  EXPECT_EQ(in.certificateBytes, 1000u);
}

// The command as a publisher runs it, with the host front end.
class BuildCommand : public ReleaseTest {
 protected:
  int Build(const std::vector<fs::path>& args) {
    packer::HostFrontEnd frontEnd;
    return packer::BuildCommand(frontEnd, args);
  }
  fs::path Folder() {
    const fs::path files = dir / "files";
    fs::create_directories(files / "data");
    WriteBytes(files / "version.txt", {'2', '.', '0', '\r', '\n'});
    WriteBytes(files / "Game02.exe", Noise(20000));
    WriteBytes(files / "data" / "a.dat", Bytes(5000, 'a'));
    return files;
  }
};

TEST_F(BuildCommand, WritesAnInstallerThatCarriesTheFolder) {
  const fs::path stub = dir / "stub.exe";
  WriteBytes(stub, FakeSigned(Stub()));
  const fs::path out = dir / "PatchSetup.exe";
  ASSERT_EQ(Build({Folder(), "-o", out, "--stub", stub}), 0);
  packer::Inspection in;
  std::string error;
  ASSERT_TRUE(packer::InspectInstaller(ReadBytes(out), in, error)) << error;
  EXPECT_EQ(in.check.count, 3);
  EXPECT_EQ(in.version, "2.0");
  EXPECT_FALSE(in.isSigned);
  EXPECT_TRUE(fs::status(out).permissions() != fs::perms::none &&
              (fs::status(out).permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_FALSE(fs::exists(dir / "PatchSetup.exe.part"));
  // Building again replaces the installer.
  EXPECT_EQ(Build({Folder(), "-o", out, "--stub", stub}), 0);
}

TEST_F(BuildCommand, RefusesAStubThatIsNotAnInstallerAndWritingOverTheStub) {
  const fs::path stub = dir / "stub.exe";
  WriteBytes(stub, Stub());
  Bytes notOurs = Stub();
  notOurs[SpotsOf(notOurs).nameString + 6] = 'G';  // type SMG
  WriteBytes(dir / "other.exe", notOurs);
  WriteBytes(dir / "text.exe", Bytes{'h', 'i'});
  fs::create_directories(dir / "sub");
  const std::vector<std::vector<fs::path>> refused = {
      {Folder(), "-o", stub, "--stub", stub},
      {Folder(), "-o", dir / "sub" / ".." / "stub.exe", "--stub", stub},
      {Folder(), "-o", dir / "new.exe", "--stub", dir / "other.exe"},
      {Folder(), "-o", dir / "new.exe", "--stub", dir / "text.exe"},
      {Folder(), "-o", dir / "new.exe", "--stub", dir / "missing.exe"},
      {dir / "no-such-folder", "-o", dir / "new.exe", "--stub", stub},
      {Folder(), "-o", dir / "files" / "data" / "new.exe", "--stub", stub},
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(args[2].string() + " from " + args[4].string());
    EXPECT_EQ(Build(args), 1);
    EXPECT_TRUE(ReadBytes(stub) == Stub());
    EXPECT_FALSE(fs::exists(dir / "new.exe"));
    EXPECT_FALSE(fs::exists(dir / "files" / "data" / "new.exe"));
  }
  EXPECT_EQ(Build({Folder(), "-o"}), 2);
  EXPECT_EQ(Build({Folder(), dir / "x.exe"}), 2);
}

// An installer exactly at the image limit is written; one byte less refuses
// it, leaving nothing behind. Inspect warns from 90% of the limit on.
TEST_F(BuildCommand, RefusesAnImagePastTheLimitAndWarnsNearIt) {
  const fs::path stub = dir / "stub.exe", out = dir / "PatchSetup.exe";
  WriteBytes(stub, Stub());
  ASSERT_EQ(Build({Folder(), "-o", out, "--stub", stub}), 0);
  packer::Inspection in;
  std::string error;
  ASSERT_TRUE(packer::InspectInstaller(ReadBytes(out), in, error)) << error;
  fs::remove(out);
  packer::HostFrontEnd frontEnd;
  // One byte short: refused as the installer is laid out. A tenth: refused while packing.
  for (const uint64_t limit : {uint64_t{in.imageSize} - 1, uint64_t{in.imageSize} / 10}) {
    EXPECT_EQ(packer::BuildCommand(frontEnd, {Folder(), "-o", out, "--stub", stub, "-j", "2"}, limit), 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir / "PatchSetup.exe.part"));
  }
  EXPECT_EQ(packer::BuildCommand(frontEnd, {Folder(), "-o", out, "--stub", stub}, in.imageSize), 0);

  auto warns = [&](uint64_t imageSize) {
    in.imageSize = static_cast<uint32_t>(imageSize);
    const auto lines = packer::DescribeInspection(in, frontEnd);
    return std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("warning:"); });
  };
  const uint64_t nine = (packer::kImageLimit * 9 + 9) / 10;  // the first size within 10%
  EXPECT_FALSE(warns(nine - 1));
  EXPECT_TRUE(warns(nine));
  EXPECT_TRUE(warns(packer::kImageLimit + 1));
}

// list, verify and extract read an installer's archive where it lies in the file.
TEST_F(BuildCommand, ReadsTheCarriedArchiveInPlace) {
  const fs::path stub = dir / "stub.exe", out = dir / "PatchSetup.exe";
  WriteBytes(stub, Stub());
  ASSERT_EQ(Build({Folder(), "-o", out, "--stub", stub}), 0);
  packer::ArchiveInput input;
  std::string error;
  ASSERT_TRUE(input.Open(out, error)) << error;
  packer::VerifyReport report;
  packer::VerifyArchive(input.Archive(), report);
  EXPECT_EQ(report.engineCount, 3);
  EXPECT_EQ(report.trailer, archive::TrailerStatus::kMatches);
  EXPECT_TRUE(report.Passes());
  EXPECT_EQ(packer::ExtractArchiveFile(input.Archive(), dir / "out", error), 3) << error;
  EXPECT_TRUE(ReadBytes(dir / "out" / "data" / "a.dat") == Bytes(5000, 'a'));
  EXPECT_FALSE(input.Open(dir / "missing.exe", error));
}

}  // namespace
