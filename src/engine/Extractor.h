// The extraction loop: walks the archive's records and writes every file
// below the target folder, through a host that owns files, folders and progress.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/ByteReader.h"
#include "engine/OutputSink.h"
#include "engine/Ring.h"

namespace archive {

// Why an extraction stopped with 0 apart from a folder it could not create.
enum class ExtractStop {
  kUnsafeName,       // a record name would leave the target folder or is not a plain name
  kDamagedArchive,   // the archive ends inside a name, size or stream
  kCannotOpenOutput,
  kCannotWriteOutput,
};

// What the extraction needs from its surroundings (the progress window, the
// packer tool, tests). Paths are CP932 byte strings with '\' separators.
class ExtractHost {
 public:
  virtual ~ExtractHost() = default;
  // Creates every missing level of `folderPart`; true when it is an existing
  // folder afterwards.
  virtual bool MakeFolder(const std::string& folderPart) = 0;
  // Creates or truncates the file; null when it cannot be opened.
  virtual std::unique_ptr<OutputSink> OpenOutput(const std::string& path) = 0;
  // The file now being written (once per named record, before its data).
  virtual void ShowFile(const std::string& outputPath) = 0;
  // A file is complete; the archive's next record starts at `nextRecordOffset`.
  virtual void FileWritten(uint64_t nextRecordOffset) = 0;
  // MakeFolder failed; the extraction returns 0 right after this call.
  virtual void FolderFailed() = 0;
  // Any other stop with 0; `outputPath` is target + "\" + the record's name.
  virtual void Stopped(ExtractStop /*reason*/, const std::string& /*outputPath*/) {}
  // Returns once every output handed over is written and closed: the path
  // of the first one that could not be, if one could not. Called once, as
  // the extraction ends, whatever it ends with. Hosts whose outputs
  // write and close at once have nothing to finish.
  virtual std::optional<std::string> FinishOutputs() { return std::nullopt; }
};

// Extracts the archive from its current position into `target` and returns
// the number of files written. Records are read until the archive ends or an
// ending record (empty name, or size 0: a named one leaves an empty file) is
// met. Returns 0 when no file was written, when a folder cannot be created,
// and when a record name is unsafe, the archive is damaged or an output
// cannot be opened or written; in the last cases before anything is created
// for that record where it can tell in advance. Files already written stay.
// A record counts once its output is handed over; the extraction's result
// waits for FinishOutputs(), which names the file a failure belongs to.
int ExtractArchive(ByteReader& archive, const std::string& target, Ring& ring, ExtractHost& host);

}  // namespace archive
