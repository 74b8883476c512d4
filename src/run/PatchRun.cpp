#include "run/PatchRun.h"

#include <span>
#include <thread>

#include "engine/Extractor.h"
#include "engine/PipelinedSink.h"
#include "engine/Trailer.h"
#include "platform/FileOps.h"
#include "platform/Handles.h"
#include "platform/Library.h"
#include "platform/ResourceBlock.h"
#include "platform/ScratchFile.h"
#include "platform/ShellApi.h"
#include "platform/Shelllink.h"
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

archive::TrailerStatus CheckTrailerOf(filesys::FileSource& file) {
  const uint64_t length = file.Length();
  uint8_t last[archive::Trailer::kSize];
  if (length < sizeof last || !file.ReadAt(length - sizeof last, last, sizeof last)) {
    return archive::TrailerStatus::kAbsent;
  }
  const auto trailer = archive::ParseTrailer(last, length);
  if (!trailer) return archive::TrailerStatus::kAbsent;
  if (!file.Rewind()) return archive::TrailerStatus::kMismatch;
  archive::ByteReader reader(file);
  uint32_t crc = 0;
  uint64_t left = trailer->length;
  while (left > 0) {
    if (reader.Pos() == reader.End() && !reader.Refill()) return archive::TrailerStatus::kMismatch;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, reader.End() - reader.Pos()));
    crc = archive::Crc32(crc, reader.Pos(), n);
    reader.Consume(reader.Pos() + n);
    left -= n;
  }
  return crc == trailer->crc ? archive::TrailerStatus::kMatches : archive::TrailerStatus::kMismatch;
}

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
                    const std::vector<std::string>& outputs, Progress& progress) {
  ExtractResult result;
  if (!archive.Rewind()) return result;
  progress.ExtractionStarted(archive.Length());
  filesys::Staging staging(outputs);
  StagingHost host(staging, progress);
  archive::ByteReader reader(archive);
  const int count = archive::ExtractArchive(reader, target, ring, host);
  result.folderFailed = host.folderFailed;
  // A run that wrote nothing changes nothing: the staging rolls back.
  if (count > 0 && staging.Commit()) result.count = count;
  if (result.count == 0) staging.Rollback();
  // All of the archive has been read, an ending record and trailer included.
  if (result.count > 0) progress.FileWritten(archive.Length());
  progress.ExtractionEnded();
  return result;
}

// The version line becomes part of the shortcut's name: only when it can stand
// in a file name as it is, so the shortcut never leaves its folder. The game's
// shortcut is looked for on the user's desktop, then on the public desktop
// (where an installation for every user puts it), and renamed where it is.
Outcome UpdateShortcut(const std::string& target, const std::string& version, HWND owner) {
  const bool usable = support::IsNamePart(version);
  const std::string newName = texts::kGameTitle + version + texts::kShortcutExtension;
  Outcome renamed = Outcome::kRenameFailed;
  // Renames the first match in `folder` within that folder; false when there is none.
  const auto renameIn = [&](const std::string& folder) {
    const std::wstring pattern =
        text::Wide(folder + "\\" + texts::kGameTitle + "*" + texts::kShortcutExtension);
    WIN32_FIND_DATAW found;
    // Only the first match is wanted: the search closes at once.
    if (!filesys::FindHandle(FindFirstFileW(pattern.c_str(), &found))) return false;
    std::string foundName;
    if (!usable || !text::NarrowExactly(found.cFileName, foundName)) return true;
    if (MoveFileW(text::Wide(folder + "\\" + foundName).c_str(), text::Wide(folder + "\\" + newName).c_str())) {
      renamed = Outcome::kDone;
    }
    return true;
  };
  std::string desktop(260, ' ');
  const bool hasDesktop = ShellLink->GetSpecialFolderPath(owner, shellapi::kDesktopDirectory, desktop);
  if (hasDesktop && renameIn(desktop)) return renamed;
  std::string publicDesktop(260, ' ');
  if (ShellLink->GetSpecialFolderPath(owner, shellapi::kCommonDesktopDirectory, publicDesktop) &&
      renameIn(publicDesktop)) {
    return renamed;
  }
  // No shortcut to rename: make the one the message promises on the user's
  // desktop, pointing at the game.
  if (hasDesktop && usable && ShellLink->CreateLink(desktop + "\\" + newName, target + texts::kGameProgram, target)) {
    return Outcome::kCreated;
  }
  return Outcome::kNoShortcut;
}

// A single-byte '?' stands for a character that had no CP932 form (it is in
// no Windows file name); such a folder field names no folder exactly.
bool HoldsUnusableCharacter(const std::string& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const auto b = static_cast<unsigned char>(path[i]);
    if (pathrules::IsLeadByte(b)) {
      ++i;
    } else if (b == '?') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> Messages(Outcome outcome) {
  switch (outcome) {
    case Outcome::kNoFolder: return {texts::kM1NoFolder};
    case Outcome::kBadFolderName: return {texts::kUnusableFolderName};
    case Outcome::kNoGame: return {std::string(texts::kM2Before) + texts::kGameTitle + texts::kM2After};
    case Outcome::kFailed: return {texts::kM3Failed};
    case Outcome::kFolderFailed: return {texts::kFolderFailed, texts::kM3Failed};
    case Outcome::kDone: return {texts::kM4Done};
    case Outcome::kRenameFailed: return {texts::kM5Exists};
    case Outcome::kCreated: return {texts::kM6Created};
    case Outcome::kNoShortcut: return {texts::kM7NoShortcut};
  }
  return {};
}

bool EndsProgram(Outcome outcome) {
  return outcome != Outcome::kNoFolder && outcome != Outcome::kBadFolderName && outcome != Outcome::kNoGame;
}

int ExitCodeOf(Outcome outcome) { return outcome == Outcome::kFailed || outcome == Outcome::kFolderFailed ? 1 : 0; }

archive::CheckResult CheckArchiveFile(filesys::FileSource& archive, const std::string& target,
                                      const archive::Ring& ring) {
  archive::CheckResult result;
  if (CheckTrailerOf(archive) == archive::TrailerStatus::kMismatch || !archive.Rewind()) {
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
                                 Progress& progress) {
  const archive::CheckResult check = CheckArchiveFile(archive, target, ring);
  if (check.stopped || check.count <= 0) return {};
  return Stage(archive, target, ring, check.outputs, progress);
}

Outcome RunPatch(const Settings& settings, Progress& progress, std::string& version) {
  const std::string& target = settings.target;
  if (HoldsUnusableCharacter(target)) return Outcome::kBadFolderName;
  if (!IsExistingDirectory(target)) return Outcome::kNoFolder;
  if (!IsExistingFile(target + texts::kGameProgram)) return Outcome::kNoGame;
  const platform::ResourceBlock block =
      platform::FindResourceBlock(texts::kArchiveResourceName, texts::kArchiveResourceType);
  const std::span<const uint8_t> carried(static_cast<const uint8_t*>(block.Data), block.Size);

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
    result = Stage(scratch->Source(), target, *settings.ring, check.outputs, progress);
  }
  if (result.count <= 0) return result.folderFailed ? Outcome::kFolderFailed : Outcome::kFailed;

  TextLibrary->ReadLines(target + "\\" + texts::kVersionFile, &version, 1, "rt");
  return UpdateShortcut(target, version, settings.owner);
}

Worker::Worker(Settings settings)
    : settings_(std::move(settings)), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = std::thread([this]() noexcept {
    std::string version;
    Outcome outcome = Outcome::kFailed;
    std::exception_ptr error;
    try {
      outcome = RunPatch(settings_, *this, version);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outcome_ = outcome;
      version_ = std::move(version);
      error_ = error;
      view_.phase = Phase::kDone;
    }
    SetEvent(done_);
  });
}

Worker::~Worker() {
  if (thread_.joinable()) thread_.join();
  CloseHandle(done_);
}

Worker::View Worker::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_;
}

Outcome Worker::Result(std::string& version) {
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(error_);
  version = version_;
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
