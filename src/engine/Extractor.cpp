#include "engine/Extractor.h"

#include <algorithm>

#include "engine/Decoder.h"
#include "engine/RecordName.h"
#include "text/PathRules.h"

namespace archive {

int ExtractArchive(ByteReader& archive, const std::string& target, Ring& ring, ExtractHost& host) {
  int count = 0;
  for (;;) {
    const int length = archive.Get();
    if (length < 0) return count;  // the archive simply ends after its last record

    uint8_t field[255];
    const size_t got = archive.Read(field, static_cast<size_t>(length));
    // The name is used up to its first zero byte; the rest of the field is skipped.
    const std::string name(reinterpret_cast<const char*>(field),
                           reinterpret_cast<const char*>(std::find(field, field + got, 0)));
    const std::string path = target + "\\" + name;
    if (got != static_cast<size_t>(length)) {
      host.Stopped(ExtractStop::kDamagedArchive, path);
      return 0;
    }
    if (!name.empty() && !IsSafeRecordName(name)) {
      host.Stopped(ExtractStop::kUnsafeName, path);
      return 0;
    }
    // The size is read before anything is created, so a record cut inside it
    // neither creates a folder nor truncates an existing file. An empty name
    // ends the extraction whatever follows it.
    uint8_t sizeField[4] = {};
    if (archive.Read(sizeField, 4) != 4 && !name.empty()) {
      host.Stopped(ExtractStop::kDamagedArchive, path);
      return 0;
    }
    const uint32_t size = sizeField[0] | (sizeField[1] << 8) | (sizeField[2] << 16) |
                          (static_cast<uint32_t>(sizeField[3]) << 24);

    if (!host.MakeFolder(pathrules::FolderPart(path))) {
      host.FolderFailed();
      return 0;
    }
    std::unique_ptr<OutputSink> output;
    if (!name.empty()) {
      output = host.OpenOutput(path);
      if (!output) {
        host.Stopped(ExtractStop::kCannotOpenOutput, path);
        return 0;
      }
    }
    if (!name.empty()) host.ShowFile(path);  // a nameless ending record names no file
    if (name.empty() || size == 0) {  // ending record, not counted
      if (output && !output->Close()) {
        host.Stopped(ExtractStop::kCannotWriteOutput, path);
        return 0;
      }
      return count;
    }

    const DecodeResult result = DecodeEntry(ring, archive, *output, size);
    const bool closed = output->Close();
    if (result.status == DecodeStatus::kArchiveEnded) {
      host.Stopped(ExtractStop::kDamagedArchive, path);
      return 0;
    }
    if (result.status == DecodeStatus::kWriteFailed || !closed) {
      host.Stopped(ExtractStop::kCannotWriteOutput, path);
      return 0;
    }
    host.FileWritten(archive.Offset());
    ++count;
  }
}

}  // namespace archive
