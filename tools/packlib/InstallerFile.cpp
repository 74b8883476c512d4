#include "packlib/InstallerFile.h"

#include <algorithm>

#include "engine/ByteReader.h"
#include "engine/Decoder.h"
#include "engine/RecordHeader.h"
#include "engine/Trailer.h"
#include "text/PathRules.h"

namespace packer {
namespace {

bool IsArchive(const pe::Resource& r) {
  return r.type == pe::ResourceKey::Named(kArchiveType) && r.name == pe::ResourceKey::Named(kArchiveName);
}

// Keeps the first line of what it is given, up to a bound; discards the rest.
class FirstLineSink : public archive::OutputSink {
 public:
  bool Write(const uint8_t* data, size_t size) override {
    for (size_t i = 0; i < size && !ended_; ++i) {
      if (data[i] == '\r' || data[i] == '\n' || line.size() >= 256) {
        ended_ = true;
      } else {
        line.push_back(static_cast<char>(data[i]));
      }
    }
    return true;
  }
  std::string line;

 private:
  bool ended_ = false;
};

class DiscardSink : public archive::OutputSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

// Walks the records as the format defines them: sizes, and the version the
// installer will read afterwards from version.txt at the top of the folder
// (the last such record wins, as the extraction overwrites).
void WalkRecords(archive::ByteSource& source, Inspection& inspection) {
  archive::ByteReader reader(source);
  archive::Ring ring;
  for (;;) {
    archive::RecordHeader header;
    const archive::HeaderRead read = archive::ReadRecordHeader(reader, header);
    if (read == archive::HeaderRead::kEnd || archive::EndsArchive(read, header)) break;
    if (read != archive::HeaderRead::kRecord) return;
    const std::string& name = header.name;
    const uint32_t count = header.size;
    ++inspection.records;
    inspection.decodedBytes += count;
    const bool isVersion = pathrules::EqualsIgnoringAsciiCase(name, "version.txt");
    FirstLineSink version;
    DiscardSink discard;
    archive::OutputSink& sink = isVersion ? static_cast<archive::OutputSink&>(version) : discard;
    if (archive::DecodeEntry(ring, reader, sink, count).status != archive::DecodeStatus::kComplete) return;
    if (isVersion) {
      inspection.hasVersion = true;
      inspection.version = version.line;
    }
  }
  inspection.complete = true;
}

bool CarriesArchive(const pe::Image& image, std::string& error) {
  const bool hasType = std::any_of(image.resources.begin(), image.resources.end(), [](const pe::Resource& r) {
    return r.type == pe::ResourceKey::Named(kArchiveType);
  });
  if (!hasType || ArchiveLanguages(image).empty()) {
    error = std::string("not a patch installer: it carries no ") + kArchiveType + "/" + kArchiveName + " resource";
    return false;
  }
  return true;
}

}  // namespace

bool ReadInstaller(archive::RandomSource& file, pe::Image& image, std::string& error) {
  return pe::Parse(file, image, error) && CarriesArchive(image, error);
}

bool ReadInstaller(std::span<const uint8_t> file, pe::Image& image, std::string& error) {
  return pe::Parse(file, image, error) && CarriesArchive(image, error);
}

bool SameBytes(archive::RandomSource& a, uint64_t aAt, archive::RandomSource& b, uint64_t bAt, uint64_t size) {
  constexpr size_t kChunk = 256 * 1024;
  std::vector<uint8_t> x(static_cast<size_t>(std::min<uint64_t>(size, kChunk))), y(x.size());
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, kChunk));
    if (!a.ReadAt(aAt + done, x.data(), n) || !b.ReadAt(bAt + done, y.data(), n) ||
        !std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), y.begin())) {
      return false;
    }
    done += n;
  }
  return true;
}

std::vector<uint16_t> ArchiveLanguages(const pe::Image& image) {
  std::vector<uint16_t> languages;
  for (const pe::Resource& r : image.resources) {
    if (IsArchive(r)) languages.push_back(r.language);
  }
  return languages;
}

bool EmbedArchive(archive::RandomSource& stub, archive::RandomSource& archive, pe::Output& out, EmbedReport& report,
                  std::string& error, uint64_t imageLimit) {
  report = {};
  if (archive.Length() > 0xFFFFFFFFull) {
    error = "the archive is 4 GiB or larger; a resource holds less";
    return false;
  }
  pe::Image image;
  if (!ReadInstaller(stub, image, error)) return false;
  std::vector<pe::Resource> resources = std::move(image.resources);
  image.resources.clear();
  for (pe::Resource& r : resources) {
    if (!IsArchive(r)) continue;
    r.data.clear();
    r.from = &archive;
    r.fileOffset = 0;
    r.size = static_cast<uint32_t>(archive.Length());
    ++report.languages;
  }
  pe::RewriteReport rewrite;
  const bool ok = pe::Rewrite(stub, image, resources, out, rewrite, error, imageLimit);
  report.droppedSignature = rewrite.droppedSignature;
  report.imageSize = rewrite.imageSize;
  return ok;
}

bool EmbedArchive(std::span<const uint8_t> stub, std::span<const uint8_t> archive, std::vector<uint8_t>& out,
                  EmbedReport& report, std::string& error) {
  archive::MemoryRandomSource stubSource(stub), archiveSource(archive);
  pe::VectorOutput output(out);
  return EmbedArchive(stubSource, archiveSource, output, report, error);
}

bool DropSignature(std::span<const uint8_t> file, std::vector<uint8_t>& out, std::string& error) {
  pe::Image image;
  return pe::Parse(file, image, error) && pe::DropCertificates(file, image, out, error);
}

bool InspectInstaller(archive::RandomSource& file, Inspection& inspection, std::string& error) {
  inspection = {};
  pe::Image image;
  if (!ReadInstaller(file, image, error)) return false;
  inspection.pe32plus = image.pe32plus;
  inspection.subsystem = image.subsystem;
  inspection.imageSize = image.sizeOfImage;
  inspection.isSigned = image.Signed();
  inspection.certificateBytes = image.certificateSize;
  uint32_t checksum = 0;
  if (!pe::Checksum(file, image.checksumOffset, checksum)) {
    error = "cannot read the file";
    return false;
  }
  inspection.checksumMatches = image.checksum != 0 && image.checksum == checksum;
  const pe::Resource* first = nullptr;
  for (const pe::Resource& r : image.resources) {
    if (!IsArchive(r)) continue;
    inspection.languages.push_back(r.language);
    if (first == nullptr) {
      first = &r;
    } else if (r.Size() != first->Size() || !SameBytes(file, r.fileOffset, file, first->fileOffset, r.Size())) {
      inspection.copiesDiffer = true;
    }
  }
  inspection.archiveBytes = first->Size();
  inspection.archiveOffset = first->fileOffset;
  {
    archive::WindowSource source(file, first->fileOffset, first->Size());
    archive::ByteReader reader(source);
    inspection.check = archive::CheckArchive(reader, ".", archive::Ring{});
  }
  archive::WindowSource records(file, first->fileOffset, first->Size());
  WalkRecords(records, inspection);
  archive::WindowSource whole(file, first->fileOffset, first->Size());
  inspection.trailer = archive::CheckTrailer(whole);
  return true;
}

bool InspectInstaller(std::span<const uint8_t> file, Inspection& inspection, std::string& error) {
  archive::MemoryRandomSource source(file);
  return InspectInstaller(source, inspection, error);
}

bool NearImageLimit(uint64_t imageSize) { return imageSize * 10 >= kImageLimit * 9; }

}  // namespace packer
