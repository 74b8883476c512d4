#include "run/PatchRun.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <thread>

#include "engine/Extractor.h"
#include "engine/PipelinedSink.h"
#include "engine/RunLayout.h"
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

using platform::Exception;
using platform::IsExistingDirectory;
using platform::IsExistingFile;

namespace patchrun {
namespace {

// Connects the engine's extraction to the staging and to the progress report.
class StagingHost : public archive::ExtractHost {
 public:
  StagingHost(platform::Staging& staging, Progress& progress) : staging_(staging), progress_(progress) {}
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
  platform::Staging& staging_;
  Progress& progress_;
  archive::WriterThread writer_;  // one writing thread for all the run's files
};

// Writes the new files of some items once more, from the same archive: the
// records of their names are staged again, every other one decoded into
// nothing, so that the ring goes through the same bytes as the first time.
class RestagingHost : public archive::ExtractHost {
 public:
  RestagingHost(platform::Staging& staging, const std::vector<size_t>& items)
      : staging_(staging), items_(items.begin(), items.end()) {}
  bool MakeFolder(const std::string&) override { return true; }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    const std::optional<size_t> item = staging_.ItemOf(path);
    if (item && items_.count(*item)) return staging_.OpenOutput(path);
    return std::make_unique<Discard>();
  }
  void ShowFile(const std::string&) override {}
  void FileWritten(uint64_t) override {}
  void FolderFailed() override {}

 private:
  struct Discard : archive::OutputSink {
    bool Write(const uint8_t*, size_t) override { return true; }
  };
  platform::Staging& staging_;
  std::set<size_t> items_;
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

// Hides the progress window however the staged run ends.
class Extracting {
 public:
  Extracting(Progress& progress, uint64_t archiveLength) : progress_(progress) {
    progress_.ExtractionStarted(archiveLength);
  }
  ~Extracting() { progress_.ExtractionEnded(); }
  Extracting(const Extracting&) = delete;
  Extracting& operator=(const Extracting&) = delete;

 private:
  Progress& progress_;
};

// A single-byte '?' stands for a character that had no CP932 form (it is in
// no Windows file name); such a folder field names no folder exactly.
bool HoldsUnusableCharacter(const std::string& path) {
  for (size_t i = 0; i < path.size(); i = pathrules::NextChar(path, i)) {
    if (path[i] == '?') return true;
  }
  return false;
}

Outcome NoSpace(Outcome outcome, const platform::Space& space, Report& report) {
  report.needed = space.needed;
  report.available = space.available;
  return outcome;
}

// What on the player's machine would make the staged run fail, tested before
// it touches the game folder: an original in use or read-only, too little
// space for the staged files beside the originals. kDone when nothing does.
Outcome CheckSituation(const std::string& target, const archive::CheckResult& check, Report& report) {
  if (const auto blocked = platform::FindBlockedOriginal(check.outputs)) {
    report.file = blocked->path;
    if (blocked->why == platform::BlockedOriginal::Why::kReadOnly) return Outcome::kReadOnly;
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
  const platform::Space space = platform::StagingSpace(target, sizes, journal);
  return space.Enough() ? Outcome::kDone : NoSpace(Outcome::kNoSpace, space, report);
}

// Every path the run will use fits what Windows opens: kDone, or the file
// whose paths are the longest, and how long the game folder may be.
Outcome CheckPathLengths(const std::string& target, const archive::JournalPlan& plan, Report& report) {
  const archive::JournalPlan::Item* worst = nullptr;
  size_t worstLimit = SIZE_MAX;
  for (const archive::JournalPlan::Item& item : plan.items) {
    const size_t limit = archive::LongestGameFolderFor(item.path, item.original);
    if (limit < worstLimit) {
      worst = &item;
      worstLimit = limit;
    }
  }
  const size_t longest = std::min(worstLimit, archive::LongestGameFolderForRun());
  if (archive::PathChars(target) <= longest) return Outcome::kDone;
  report.file = worst ? target + "\\" + worst->path : target;
  report.pathChars = archive::PathChars(report.file);
  report.gameFolderChars = longest;
  return Outcome::kPathTooLong;
}

// The version and shortcut step, once the patch is in place.
Outcome VersionAndShortcut(const Settings& settings, Report& report) {
  report.version.clear();
  settings.library->ReadLines(settings.target + "\\" + texts::kVersionFile, &report.version, 1, "rt");
  return UpdateShortcut(*settings.shell, settings.target, report.version, settings.owner);
}

// The staged run over the scratch file: every file written, read back and
// checked (written once more where it is missing or changed), committed,
// and the version and shortcut step.
Outcome Stage(platform::FileSource& archive, platform::Staging& staging, const Settings& settings,
              Progress& progress, Report& report) {
  const std::string& target = settings.target;
  const archive::Ring ring = *settings.ring;  // as it was before this run, for a second pass
  Extracting shown(progress, archive.Length());
  if (!archive.Rewind() || !staging.Begin()) return Outcome::kFailed;
  bool folderFailed = false;
  int count = 0;
  {
    StagingHost host(staging, progress);  // its writer's thread ends before the staging commits
    archive::ByteReader reader(archive);
    count = archive::ExtractArchive(reader, target, *settings.ring, host);
    folderFailed = host.folderFailed;
  }
  const auto failed = [&](Outcome outcome) {
    staging.Rollback();
    return staging.Restored() ? outcome : Outcome::kRestoreIncomplete;
  };
  // A run that wrote nothing changes nothing.
  if (count <= 0) return failed(folderFailed ? Outcome::kFolderFailed : Outcome::kFailed);
  // All of the archive has been read, an ending record and trailer included.
  progress.FileWritten(archive.Length());

  // Something (a virus scanner) may have removed or changed a new file since
  // it was written: it is written once more, and then it must be right.
  std::vector<size_t> unverified = staging.Unverified();
  if (!unverified.empty() && archive.Rewind()) {
    RestagingHost again(staging, unverified);
    archive::ByteReader reader(archive);
    archive::Ring copy = ring;
    archive::ExtractArchive(reader, target, copy, again);
    unverified = staging.Unverified();
  }
  if (!unverified.empty()) {
    report.file = target + "\\" + staging.Plan().items[unverified.front()].path;
    return failed(Outcome::kStagedFileChanged);
  }

  Outcome shortcut = Outcome::kDone;
  const archive::Carried carried = staging.Commit([&] { shortcut = VersionAndShortcut(settings, report); });
  switch (carried.end) {
    case archive::Carried::End::kAfter: return shortcut;
    case archive::Carried::End::kStopped: return Outcome::kRestoreIncomplete;
    case archive::Carried::End::kKept:
      // Something not of the run took a name while it was being put back.
      report.recovery.what = platform::Recovered::kKept;
      for (size_t i : carried.kept) report.recovery.files.push_back(target + "\\" + staging.Plan().items[i].path);
      report.recovery.folder = target + "\\" + archive::KeptFolderName(staging.Plan().staging);
      return Outcome::kFailed;
    case archive::Carried::End::kBefore: break;
  }
  if (carried.unproven && carried.cause < staging.Plan().items.size()) {
    report.file = target + "\\" + staging.Plan().items[carried.cause].path;
    return Outcome::kPlacedFileChanged;
  }
  return Outcome::kFailed;
}

}  // namespace

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

Outcome FinishCutOffRuns(const Settings& settings, Report& report) {
  Outcome shortcut = Outcome::kDone;
  report.recovery =
      platform::Recover(settings.target, *settings.disk, [&] { shortcut = VersionAndShortcut(settings, report); });
  switch (report.recovery.what) {
    case platform::Recovered::kIncomplete:
    case platform::Recovered::kInUse:
    case platform::Recovered::kOtherFormat:
    case platform::Recovered::kLinked: return Outcome::kRecoveryIncomplete;
    default: return Outcome::kDone;
  }
}

Outcome RunPatch(const Settings& settings, Progress& progress, Report& report) {
  const std::string& target = settings.target;
  // The scratch file goes beside the program: without a CP932 name for its
  // folder there is nowhere to write it, and nothing is touched.
  if (settings.exeDir.empty()) return Outcome::kBadProgramFolderName;
  if (HoldsUnusableCharacter(target)) return Outcome::kBadFolderName;
  // A run cut off in this folder is finished before anything else.
  if (IsExistingDirectory(target)) {
    if (const Outcome stop = FinishCutOffRuns(settings, report); stop != Outcome::kDone) return stop;
  }
  if (!IsExistingDirectory(target)) return Outcome::kNoFolder;
  if (!IsExistingFile(target + texts::kGameProgram)) return Outcome::kNoGame;
  std::span<const uint8_t> carried = settings.archive.value_or(std::span<const uint8_t>());
  if (!settings.archive) {  // the program's own, used where the system maps it
    const platform::ResourceBlock block =
        platform::FindResourceBlock(texts::kArchiveResourceName, texts::kArchiveResourceType);
    carried = {static_cast<const uint8_t*>(block.Data), block.Size};
  }
  const platform::Space space = platform::StagingSpace(settings.exeDir, {carried.size()}, 0);
  if (!space.Enough()) return NoSpace(Outcome::kScratchNoSpace, space, report);

  // The scratch file lives until the end of this block and goes with it.
  std::unique_ptr<platform::ScratchFile> scratch;
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
      scratch = std::make_unique<platform::ScratchFile>(settings.exeDir, texts::kScratchFileName, carried);
    } catch (...) {
      checker.join();
      throw;
    }
    checker.join();
    if (checkError) std::rethrow_exception(checkError);
  }
  if (check.stopped || check.count <= 0) return Outcome::kFailed;
  if (const Outcome found = CheckSituation(target, check, report); found != Outcome::kDone) return found;
  platform::Staging staging(target, check, *settings.disk);
  if (const Outcome found = CheckPathLengths(target, staging.Plan(), report); found != Outcome::kDone) return found;
  if (const std::optional<std::string> level = staging.RefusedLevel()) {
    report.file = *level;
    return Outcome::kLinkedFolder;
  }
  return Stage(scratch->Source(), staging, settings, progress, report);
}

Worker::Worker(Settings settings)
    : settings_(std::move(settings)), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Without its event the window thread's wait could never end.
  if (!done_) throw Exception(texts::kNoSystemResources);
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
