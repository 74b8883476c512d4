// Verify: the engine's check of an archive, a walk record by record for statistics, the trailer.
#include "packlib/HostArchive.h"

#include "engine/ByteReader.h"
#include "engine/RecordHeader.h"
#include "engine/Trailer.h"
#include "packlib/RandomFile.h"
#include "packlib/RecordShow.h"
#include "packlib/StreamScan.h"

namespace fs = std::filesystem;

namespace packer {

void VerifyArchive(archive::RandomSource& in, VerifyReport& report) {
  report = {};
  const uint64_t fileSize = in.Length();
  {
    // First what the installer would do with it, then a record-by-record walk.
    archive::WindowSource source(in, 0, fileSize);
    archive::ByteReader reader(source);
    const archive::CheckResult check = archive::CheckArchive(reader, FolderHost::kTarget, archive::Ring{});
    report.engineCount = check.count;
    if (check.stopped) report.engineError = std::string(Describe(check.reason)) + ": " + ShowName(check.stoppedAt.substr(2));
  }
  {
    archive::WindowSource source(in, 0, fileSize);
    archive::ByteReader reader(source);
    for (;;) {
      RecordInfo info;
      info.offset = reader.Offset();
      archive::RecordHeader header;
      const archive::HeaderRead read = archive::ReadRecordHeader(reader, header);
      if (read == archive::HeaderRead::kEnd || read == archive::HeaderRead::kCutInName) break;
      if (archive::EndsArchive(read, header)) {
        report.endingRecord = true;
        if (!header.name.empty()) report.endingName = ShowName(header.name);
        break;
      }
      if (read != archive::HeaderRead::kRecord) break;
      info.name = ShowName(header.name);
      info.size = header.size;
      const uint64_t streamStart = reader.Offset();
      const StreamScan scan = ScanStream(reader, info.size);
      info.codedBytes = reader.Offset() - streamStart;
      report.records.push_back(info);
      report.literals += scan.literals;
      for (size_t n = 0; n < scan.referencesByLength.size(); ++n)
        report.referencesByLength[n] += scan.referencesByLength[n];
      report.carriedReads += scan.carriedReads;
      report.cutReferences += scan.cutReferences;
      if (!scan.complete) break;
    }
    report.endOffset = reader.Offset();
  }

  // The trailer: the last 20 bytes, and the CRC-32 of everything before them.
  uint64_t dataEnd = fileSize;
  report.trailer = archive::CheckTrailer(in);
  uint8_t last[archive::Trailer::kSize];
  if (report.trailer != archive::TrailerStatus::kAbsent && in.ReadAt(fileSize - sizeof last, last, sizeof last)) {
    if (const auto trailer = archive::ParseTrailer(last, fileSize)) dataEnd = trailer->length;
  }
  if (report.endingRecord && report.endOffset < dataEnd) report.bytesAfterEnd = dataEnd - report.endOffset;
  Judge(report);
}

bool VerifyArchive(const fs::path& archivePath, VerifyReport& report, std::string& error) {
  const auto in = InputFile::Open(archivePath);
  if (!in) {
    error = archivePath.string() + ": cannot open";
    return false;
  }
  VerifyArchive(*in, report);
  return true;
}

}  // namespace packer
