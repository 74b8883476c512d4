#include "engine/Extractor.h"

#include <algorithm>

#include "engine/Decoder.h"
#include "engine/RecordHeader.h"
#include "engine/RecordName.h"
#include "text/PathRules.h"

namespace archive {
namespace {

// How the walk over the records ended.
struct Walk {
  int count = 0;           // files handed over
  bool stopped = false;    // a stop was reported to the host
  std::string writeFailed; // the output whose write or close failed; not reported yet
};

Walk ExtractRecords(ByteReader& archive, const std::string& target, Ring& ring, ExtractHost& host) {
  Walk walk;
  auto stop = [&](ExtractStop reason, const std::string& path) {
    host.Stopped(reason, path);
    walk.stopped = true;
    return walk;
  };
  for (;;) {
    RecordHeader header;
    const HeaderRead read = ReadRecordHeader(archive, header);
    if (read == HeaderRead::kEnd) return walk;  // the archive simply ends after its last record
    const std::string& name = header.name;
    const std::string path = target + "\\" + name;
    if (read == HeaderRead::kCutInName) return stop(ExtractStop::kDamagedArchive, path);
    if (!name.empty() && !IsSafeRecordName(name)) return stop(ExtractStop::kUnsafeName, path);
    // The size is read before anything is created, so a record cut inside it
    // neither creates a folder nor truncates an existing file. An empty name
    // ends the extraction whatever follows it.
    if (read == HeaderRead::kCutInSize && !name.empty()) return stop(ExtractStop::kDamagedArchive, path);
    const uint32_t size = header.size;

    if (!host.MakeFolder(pathrules::FolderPart(path))) {
      host.FolderFailed();
      walk.stopped = true;
      return walk;
    }
    std::unique_ptr<OutputSink> output;
    if (!name.empty()) {
      output = host.OpenOutput(path);
      if (!output) return stop(ExtractStop::kCannotOpenOutput, path);
    }
    if (!name.empty()) host.ShowFile(path);  // a nameless ending record names no file
    if (name.empty() || size == 0) {  // ending record, not counted
      if (output && !output->Close()) walk.writeFailed = path;
      return walk;
    }

    const DecodeResult result = DecodeEntry(ring, archive, *output, size);
    const bool closed = output->Close();
    if (result.status == DecodeStatus::kArchiveEnded) return stop(ExtractStop::kDamagedArchive, path);
    if (result.status == DecodeStatus::kWriteFailed || !closed) {
      walk.writeFailed = path;
      return walk;
    }
    host.FileWritten(archive.Offset());
    ++walk.count;
  }
}

}  // namespace

int ExtractArchive(ByteReader& archive, const std::string& target, Ring& ring, ExtractHost& host) {
  const Walk walk = ExtractRecords(archive, target, ring, host);
  // Outputs may still be written elsewhere (a writer's thread): the result
  // waits for them, and a failure is told with the file it belongs to, which
  // may be an earlier record's than the one being decoded when it showed.
  const std::optional<std::string> failed = host.FinishOutputs();
  if (walk.stopped) return 0;
  if (failed || !walk.writeFailed.empty()) {
    host.Stopped(ExtractStop::kCannotWriteOutput, failed.value_or(walk.writeFailed));
    return 0;
  }
  return walk.count;
}

}  // namespace archive
