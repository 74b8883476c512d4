// What a patch run ends with, and what the setup window makes of it: the
// messages in the order they are shown, whether the program ends, and its
// exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Staging.h"

namespace patchrun {

enum class Outcome {
  kNoFolder,       // M1; the setup window stays
  kBadFolderName,  // the folder's name holds characters that cannot be used; the window stays
  kBadProgramFolderName,  // so does the program's own folder, in its long and its short form; the window stays
  kNoGame,         // M2; the window stays
  kFailed,         // M3: nothing in the game folder changed
  kFolderFailed,   // the folder message, then M3: nothing changed
  kDone,           // M4
  kRenameFailed,   // M5
  kCreated,        // M6
  kNoShortcut,     // M7
  // What would make the run fail, found before anything is touched: the
  // message says which; the window stays for another try.
  kInUse,          // an original is held by a running program
  kReadOnly,       // an original is read-only
  kNoSpace,        // the game folder's drive cannot hold the staged files
  kScratchNoSpace, // the program's drive cannot hold the scratch file
  kLinkedFolder,   // a level of the game folder or of a file's folder is a link
  kPathTooLong,    // a path the run would use is longer than Windows opens
  // A cut-off earlier run keeps this one from starting: not fully undone yet,
  // held by another setup, of another version, or behind a link; its message
  // says which. The window stays.
  kRecoveryIncomplete,
  // A new file was missing or changed, written again and still so: nothing
  // changed, and the window stays for another try.
  kStagedFileChanged,
  // A placed file was missing or changed: everything was put back, and the
  // window stays for another try.
  kPlacedFileChanged,
  kRestoreIncomplete,   // this run failed and could not put everything back: the next start will
};

// What a run found, beside its outcome, for the messages.
struct Report {
  std::string version;  // the version line, when the run got that far
  platform::RecoveryReport recovery;  // a cut-off earlier run, finished first (or originals this run kept)
  std::string file;     // kInUse, kReadOnly, kStagedFileChanged, kPlacedFileChanged, kPathTooLong: the file;
                        // kLinkedFolder: the folder
  std::string program;  // kInUse: the program holding it, when the system can tell
  uint64_t needed = 0, available = 0;  // kNoSpace, kScratchNoSpace: bytes
  size_t pathChars = 0, gameFolderChars = 0;  // kPathTooLong: the file's path, the longest game folder
};

// The message that tells what was done with a cut-off earlier run (or with
// originals a run kept); empty when nothing was.
std::string RecoveryMessage(const platform::RecoveryReport& recovery);
// The messages of an outcome, in the order they are shown (a recovery's first).
std::vector<std::string> Messages(Outcome outcome, const Report& report = {});
// False for the outcomes that leave the setup window open for another try.
bool EndsProgram(Outcome outcome);
// The program's exit code when it ends after this outcome: 1 after a failed run.
int ExitCodeOf(Outcome outcome);

}  // namespace patchrun
