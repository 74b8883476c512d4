#include "run/PatchRun.h"

#include <map>
#include <span>
#include <thread>

#include "engine/Extractor.h"
#include "engine/PipelinedSink.h"
#include "engine/Trailer.h"
#include "platform/Exceptions.h"
#include "platform/FileOps.h"
#include "platform/Handles.h"
#include "platform/Library.h"
#include "platform/ResourceBlock.h"
#include "platform/ScratchFile.h"
#include "platform/ShellApi.h"
#include "platform/Shelllink.h"
#include "platform/Situation.h"
#include "platform/Staging.h"
#include "run/Texts.h"
#include "text/LineRules.h"
#include "text/PathRules.h"
#include "text/Wide.h"

namespace patchrun {
namespace {

// Connects the engine's extraction to the staging and to the progress report.
class StagingHost : public archive::ExtractHost {
 public:
  StagingHost(filesys::Staging& staging, Progress& progress) : staging_(staging), progress_(progress) {}
  bool MakeFolder(const std::string& folderPart) override { return staging_.MakeFolder(folderPart); }
  // Each file is written and closed on the writer's thread while the next
  // block is decoded. An earlier file of the same name is deleted when this
  // one is opened, so it must be closed first.
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    if (staging_.Stages(path)) writer_.Finish();
    return writer_.Wrap(staging_.OpenOutput(path), path);
  }
  // Every staged file is closed before the staging commits or rolls back.
  std::optional<std::string> FinishOutputs() override { return writer_.Finish(); }
  void ShowFile(const std::string& outputPath) override { progress_.FileStarted(outputPath); }
  void FileWritten(uint64_t offset) override { progress_.FileWritten(offset); }
  void FolderFailed() override { folderFailed = true; }
  bool folderFailed = false;

 private:
  filesys::Staging& staging_;
  Progress& progress_;
  archive::WriterThread writer_;  // one writing thread for all the run's files
};

// Shows the wait window for as long as it lives.
class Preparing {
 public:
  explicit Preparing(Progress& progress) : progress_(progress) { progress_.Preparing(true); }
  ~Preparing() { progress_.Preparing(false); }
  Preparing(const Preparing&) = delete;
  Preparing& operator=(const Preparing&) = delete;

 private:
  Progress& progress_;
};

ExtractResult Stage(filesys::FileSource& archive, const std::string& target, archive::Ring& ring,
                    const std::vector<std::string>& outputs, Progress& progress, filesys::Disk& disk) {
  ExtractResult result;
  if (!archive.Rewind()) return result;
  progress.ExtractionStarted(archive.Length());
  filesys::Staging staging(target, outputs, disk);
  if (staging.Begin()) {
    StagingHost host(staging, progress);  // its writer's thread ends before the staging commits
    archive::ByteReader reader(archive);
    const int count = archive::ExtractArchive(reader, target, ring, host);
    result.folderFailed = host.folderFailed;
    // A run that wrote nothing changes nothing: the staging rolls back.
    if (count > 0 && staging.Commit()) result.count = count;
  }
  if (result.count == 0) staging.Rollback();
  result.restored = staging.Restored();
  // All of the archive has been read, an ending record and trailer included.
  if (result.count > 0) progress.FileWritten(archive.Length());
  progress.ExtractionEnded();
  return result;
}

// A single-byte '?' stands for a character that had no CP932 form (it is in
// no Windows file name); such a folder field names no folder exactly.
bool HoldsUnusableCharacter(const std::string& path) {
  for (size_t i = 0; i < path.size(); i = pathrules::NextChar(path, i)) {
    if (path[i] == '?') return true;
  }
  return false;
}

Outcome NoSpace(Outcome outcome, const filesys::Space& space, Report& report) {
  report.needed = space.needed;
  report.available = space.available;
  return outcome;
}

// What on the player's machine would make the staged run fail, tested before
// it touches the game folder: an original in use or read-only, too little
// space for the staged files beside the originals. kDone when nothing does.
Outcome CheckSituation(const std::string& target, const archive::CheckResult& check, Report& report) {
  if (const auto blocked = filesys::FindBlockedOriginal(check.outputs)) {
    report.file = blocked->path;
    if (blocked->why == filesys::BlockedOriginal::Why::kReadOnly) return Outcome::kReadOnly;
    report.program = blocked->program;
    return Outcome::kInUse;
  }
  // The last record of a name is the file that stays staged; the journal
  // takes a little room beside them.
  std::map<std::string, uint64_t> staged;
  uint64_t journal = 64 * 1024;
  for (size_t i = 0; i < check.outputs.size(); ++i) {
    staged[check.outputs[i]] = check.sizes[i];
    journal += check.outputs[i].size() + 3;
  }
  std::vector<uint64_t> sizes;
  for (const auto& [path, size] : staged) sizes.push_back(size);
  const filesys::Space space = filesys::StagingSpace(target, sizes, journal);
  return space.Enough() ? Outcome::kDone : NoSpace(Outcome::kNoSpace, space, report);
}

}  // namespace

archive::CheckResult CheckArchiveFile(filesys::FileSource& archive, const std::string& target,
                                      const archive::Ring& ring) {
  archive::CheckResult result;
  if (archive::CheckTrailer(archive) == archive::TrailerStatus::kMismatch || !archive.Rewind()) {
    result.stopped = true;
    return result;
  }
  archive::ByteReader reader(archive);
  return archive::CheckArchive(reader, target, ring);
}

archive::CheckResult CheckArchiveBytes(std::span<const uint8_t> archive, const std::string& target,
                                       const archive::Ring& ring) {
  archive::CheckResult result;
  if (archive::CheckTrailer(archive) == archive::TrailerStatus::kMismatch) {
    result.stopped = true;
    return result;
  }
  archive::MemorySource source(archive);
  archive::ByteReader reader(source);
  return archive::CheckArchive(reader, target, ring);
}

ExtractResult ExtractArchiveFile(filesys::FileSource& archive, const std::string& target, archive::Ring& ring,
                                 Progress& progress, filesys::Disk& disk) {
  const archive::CheckResult check = CheckArchiveFile(archive, target, ring);
  if (check.stopped || check.count <= 0) return {};
  return Stage(archive, target, ring, check.outputs, progress, disk);
}

Outcome RunPatch(const Settings& settings, Progress& progress, Report& report) {
  const std::string& target = settings.target;
  if (HoldsUnusableCharacter(target)) return Outcome::kBadFolderName;
  // A run cut off in this folder is finished before anything else.
  if (IsExistingDirectory(target)) report.recovered = filesys::Recover(target, *settings.disk);
  if (report.recovered == filesys::Recovered::kIncomplete) return Outcome::kRecoveryIncomplete;
  if (!IsExistingDirectory(target)) return Outcome::kNoFolder;
  if (!IsExistingFile(target + texts::kGameProgram)) return Outcome::kNoGame;
  const platform::ResourceBlock block =
      platform::FindResourceBlock(texts::kArchiveResourceName, texts::kArchiveResourceType);
  const std::span<const uint8_t> carried(static_cast<const uint8_t*>(block.Data), block.Size);
  if (!settings.exeDir.empty()) {
    const filesys::Space space = filesys::StagingSpace(settings.exeDir, {carried.size()}, 0);
    if (!space.Enough()) return NoSpace(Outcome::kScratchNoSpace, space, report);
  }

  ExtractResult result;
  {
    // The scratch file lives until the end of this block and goes with it.
    std::unique_ptr<filesys::ScratchFile> scratch;
    archive::CheckResult check;
    {
      Preparing shown(progress);
      // The carried bytes are checked while the same bytes go to the scratch
      // file, which nobody else can open until it is deleted.
      std::exception_ptr checkError;
      std::thread checker([&]() noexcept {
        try {
          check = CheckArchiveBytes(carried, target, *settings.ring);
        } catch (...) {
          checkError = std::current_exception();
        }
      });
      try {
        scratch = std::make_unique<filesys::ScratchFile>(settings.exeDir, texts::kScratchFileName, carried);
      } catch (...) {
        checker.join();
        throw;
      }
      checker.join();
      if (checkError) std::rethrow_exception(checkError);
    }
    if (check.stopped || check.count <= 0) return Outcome::kFailed;
    if (const Outcome found = CheckSituation(target, check, report); found != Outcome::kDone) return found;
    result = Stage(scratch->Source(), target, *settings.ring, check.outputs, progress, *settings.disk);
  }
  if (!result.restored) return Outcome::kRestoreIncomplete;
  if (result.count <= 0) return result.folderFailed ? Outcome::kFolderFailed : Outcome::kFailed;

  settings.library->ReadLines(target + "\\" + texts::kVersionFile, &report.version, 1, "rt");
  return UpdateShortcut(*settings.shell, target, report.version, settings.owner);
}

Worker::Worker(Settings settings)
    : settings_(std::move(settings)), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Without its event the window thread's wait could never end.
  if (!done_) throw Exception("システム リソースが不足しています");
  thread_ = std::thread([this]() noexcept {
    Report report;
    Outcome outcome = Outcome::kFailed;
    std::exception_ptr error;
    try {
      outcome = RunPatch(settings_, *this, report);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outcome_ = outcome;
      report_ = std::move(report);
      error_ = error;
      view_.phase = Phase::kDone;
    }
    SetEvent(done_.get());
  });
}

Worker::~Worker() {
  if (thread_.joinable()) thread_.join();
}

Worker::View Worker::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_;
}

Outcome Worker::Result(Report& report) {
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(error_);
  report = report_;
  return outcome_;
}

void Worker::Preparing(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.phase = on ? Phase::kPreparing : Phase::kWorking;
  if (on) ++view_.preparations;
}

void Worker::ExtractionStarted(uint64_t archiveLength) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.phase = Phase::kExtracting;
  ++view_.extractions;
  view_.archiveLength = archiveLength;
  view_.position = 0;
}

void Worker::FileStarted(const std::string& finalPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.path = finalPath;
}

void Worker::FileWritten(uint64_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.position = offset;
}

void Worker::ExtractionEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.phase = Phase::kWorking;
}

}  // namespace patchrun
