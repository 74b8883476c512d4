// The patch run apart from any window: the folder tests, the scratch file,
// the check of the whole archive, the staged extraction with its commit or
// roll-back, and the version-and-shortcut step. It returns an outcome; the
// setup window shows the messages that go with it.
// Part of the PatchSetup and Compress units (see ui/PatchSetup.h, ui/Compress.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/Check.h"
#include "engine/Ring.h"
#include "platform/Disk.h"
#include "platform/FileStreams.h"
#include "platform/Handles.h"
#include "platform/Library.h"
#include "platform/Shelllink.h"
#include "platform/Staging.h"
#include "run/Outcome.h"
#include "run/Shortcut.h"

namespace patchrun {

// What the run reports while it works. Called on the thread that runs it.
class Progress {
 public:
  virtual ~Progress() = default;
  // The scratch file is written and the archive checked (the wait window).
  virtual void Preparing(bool /*on*/) {}
  // The staged extraction begins (the progress window, its bar counting archive bytes).
  virtual void ExtractionStarted(uint64_t /*archiveLength*/) {}
  // The file now being written, by its final path.
  virtual void FileStarted(const std::string& /*finalPath*/) {}
  // A file is complete; the archive's next record starts at `offset`.
  virtual void FileWritten(uint64_t /*offset*/) {}
  virtual void ExtractionEnded() {}
};

struct Settings {
  std::string target;  // the game folder, as the folder field holds it
  std::string exeDir;  // the program's folder ending in '\' (maybe its short form); empty when it has no CP932 form
  HWND owner = nullptr;
  // What the run uses, handed in by its caller, which owns them; all set.
  archive::Ring* ring = nullptr;     // the decoder's ring, owned by the progress window
  platform::TShellLink* shell = nullptr;       // the desktop folders and the shortcut
  platform::TLibrary* library = nullptr;       // reads the new version.txt
  platform::Disk* disk = &platform::Disk::System();  // every access to the game folder
  // The patch archive; none for the one the program carries (its resource).
  std::optional<std::span<const uint8_t>> archive;
};

// The whole run. A cut-off earlier run in the game folder is finished first.
// The framework's errors (a missing resource, a scratch file that cannot be
// created or written) are raised as Exception, before anything in the game
// folder is touched.
Outcome RunPatch(const Settings& settings, Progress& progress, Report& report);

// Finishes the cut-off runs in the settings' folder (a completed one with
// its version and shortcut step) and puts what was done in the report:
// kDone, or kRecoveryIncomplete when one keeps a new run from starting.
Outcome FinishCutOffRuns(const Settings& settings, Report& report);

// The check of the whole archive, with nothing written: what the extraction
// will return, every file's path, size and CRC-32.
archive::CheckResult CheckArchiveBytes(std::span<const uint8_t> archive, const std::string& target,
                                       const archive::Ring& ring);

// Runs a patch run on a thread of its own, so the windows keep answering
// while it works. The run's progress is kept as a view that the window
// thread reads whenever it likes; every exception of the run is caught on
// the worker and raised again by Result() on the thread that asks.
class Worker : private Progress {
 public:
  enum class Phase { kStarting, kPreparing, kWorking, kExtracting, kDone };
  struct View {
    Phase phase = Phase::kStarting;
    unsigned preparations = 0;  // times the scratch file was begun (0 or 1)
    unsigned extractions = 0;   // extractions begun so far
    uint64_t archiveLength = 0;
    uint64_t position = 0;     // the archive offset of the next record
    std::string path;          // the file being written
  };

  explicit Worker(Settings settings);
  ~Worker();  // waits for the run to end
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Signalled once the run has ended (for MsgWaitForMultipleObjects).
  HANDLE Done() const { return done_.get(); }
  View Snapshot() const;
  // The outcome, once Done() is signalled; raises the run's exception if it had one.
  Outcome Result(Report& report);

 private:
  void Preparing(bool on) override;
  void ExtractionStarted(uint64_t archiveLength) override;
  void FileStarted(const std::string& finalPath) override;
  void FileWritten(uint64_t offset) override;
  void ExtractionEnded() override;

  Settings settings_;
  platform::FileHandle done_;  // an event: CloseHandle closes it as it closes a file
  mutable std::mutex mutex_;
  View view_;
  Outcome outcome_ = Outcome::kFailed;
  Report report_;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace patchrun
