// Packing a Linux folder into a patch archive, and extracting and verifying
// archives with the product's engine.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Check.h"
#include "engine/Extractor.h"
#include "engine/PipelinedSink.h"
#include "packlib/LzssEncoder.h"

namespace packer {

// The largest file a record holds: its size field has 32 bits.
inline constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;

// One file to pack: its record name (CP932, '\' separators) and where it is.
struct PackItem {
  std::string name;
  std::filesystem::path file;
};

// The files below `folder` in archive order (each folder's files sorted by
// name, then its sub-folders, sorted). Fails with a message naming the file
// for anything the archive cannot carry or the installer could not write
// safely: an empty file (it would end the extraction), a file of 4 GiB or
// more, a name not representable in CP932, longer than 255 bytes or not a
// safe record name, a level of the short-name form (PROGRA~1.TXT), two names
// of one folder that differ only in case (a file and a folder too), a name
// for which below a game folder of 100 characters a path the installer uses
// (the file, or the original it replaces kept aside in the run's folder)
// would be too long for Windows, or something that is neither a file nor a
// folder.
bool CollectFolder(const std::filesystem::path& folder, std::vector<PackItem>& items, std::string& error);

struct PackReport {
  uint32_t files = 0;
  uint64_t inputBytes = 0;
  uint64_t archiveBytes = 0;
  EncodeStats stats;
};

struct PackOptions {
  Parsing parsing = Parsing::kOptimal;
  unsigned jobs = 0;  // encoding threads; 0: one per core (at most kMaxPackJobs)
  // Called after each block written, with the input bytes coded so far and
  // the input bytes of all the files.
  std::function<void(uint64_t doneBytes, uint64_t totalBytes)> progress;
  // Called after each block written with the archive's size so far; false
  // stops the packing: WriteArchive fails, leaving no archive.
  std::function<bool(uint64_t archiveBytesSoFar)> keepGoing;
};

inline constexpr unsigned kMaxPackJobs = 256;

// A thread count as `-j` takes it: 1..kMaxPackJobs in decimal digits.
bool ParseJobs(std::string_view text, unsigned& jobs);

// Writes the archive through a temporary file "<archive>.part", renamed at
// the end and removed on failure. Each file's size is taken when the packing
// starts: a file that is then empty, 4 GiB or more, or reads more or fewer
// bytes is refused. The files are read in blocks, parsed on `jobs` threads
// and written in order; the archive is the same byte for byte for any number
// of threads, and the memory taken is bounded by that number, not by the
// files. The callbacks run on the calling thread.
bool WriteArchive(const std::vector<PackItem>& items, const std::filesystem::path& archivePath,
                  const PackOptions& options, PackReport& report, std::string& error);
bool WriteArchive(const std::vector<PackItem>& items, const std::filesystem::path& archivePath,
                  Parsing parsing, PackReport& report, std::string& error);

// Extraction into a Linux folder: the engine's CP932 paths are taken below
// `root` with names converted to UTF-8 and '\' to '/'. The engine is given
// the target "." and every path it hands back starts with it.
class FolderHost : public archive::ExtractHost {
 public:
  static constexpr const char* kTarget = ".";

  explicit FolderHost(std::filesystem::path root) : root_(std::move(root)) {}
  bool MakeFolder(const std::string& folderPart) override;
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override;
  void ShowFile(const std::string& outputPath) override;
  void FileWritten(uint64_t) override {}
  void FolderFailed() override;
  void Stopped(archive::ExtractStop reason, const std::string& outputPath) override;
  std::optional<std::string> FinishOutputs() override { return writer_.Finish(); }

  std::function<void(const std::string& utf8Path)> onFile;  // called per file when set
  std::string error;  // why the extraction stopped, if it did

 private:
  bool HostPath(const std::string& enginePath, std::filesystem::path& out) const;
  std::filesystem::path root_;
  archive::WriterThread writer_;  // writes every record's file while the next block is decoded
};

// Extracts the archive file into `folder`; returns the engine's count, -1
// when the archive cannot be opened. `error` explains a stop.
int ExtractArchiveFile(const std::filesystem::path& archivePath, const std::filesystem::path& folder,
                       std::string& error, const std::function<void(const std::string&)>& onFile = {});
// The same for an archive read where it lies (an installer's, for one).
int ExtractArchiveFile(archive::RandomSource& archive, const std::filesystem::path& folder, std::string& error,
                       const std::function<void(const std::string&)>& onFile = {});

// One record as `list` and `verify` see it.
struct RecordInfo {
  std::string name;  // UTF-8 with '/' (raw bytes as \xNN if not CP932)
  uint32_t size = 0;
  uint64_t offset = 0;
  uint64_t codedBytes = 0;
};

struct VerifyReport {
  int engineCount = 0;  // what the product's extraction returns for this archive
  std::string engineError;
  std::vector<RecordInfo> records;
  uint64_t literals = 0;
  std::array<uint64_t, 19> referencesByLength{};
  uint64_t carriedReads = 0;
  uint64_t cutReferences = 0;
  bool endingRecord = false;
  std::string endingName;      // an ending record's name (size 0), shown as RecordInfo::name
  uint64_t endOffset = 0;      // where the record walk stopped: after the ending record, or the end
  uint64_t bytesAfterEnd = 0;  // bytes between the ending record and the trailer (or the file's end)
  archive::TrailerStatus trailer = archive::TrailerStatus::kAbsent;

  // The verdict: why the installer would stop or refuse the archive (none when
  // it extracts every file), and unusual but valid constructs it handles.
  std::vector<std::string> failures;
  std::vector<std::string> notes;
  bool Passes() const { return failures.empty(); }
};

// Runs the engine over the archive with outputs discarded, walks it item by
// item for statistics, checks an integrity trailer if there is one, and
// judges. False when the archive cannot be opened.
bool VerifyArchive(const std::filesystem::path& archivePath, VerifyReport& report, std::string& error);
// The same for an archive read where it lies, a buffer at a time.
void VerifyArchive(archive::RandomSource& archive, VerifyReport& report);

// Fills `failures` and `notes` from the rest of the report.
void Judge(VerifyReport& report);

// Prints the notes, the failures and the verdict of a judged report, as
// `packer verify` ends; returns the exit code (0 when the installer extracts
// every file).
int PrintVerdict(const VerifyReport& report);

}  // namespace packer
