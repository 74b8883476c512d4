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
  kRecoveryIncomplete,  // a cut-off earlier run could not be fully undone yet; the window stays
  kRestoreIncomplete,   // this run failed and could not put everything back: the next start will
};

// What a run found, beside its outcome, for the messages.
struct Report {
  std::string version;  // the version line, when the run got that far
  filesys::Recovered recovered = filesys::Recovered::kNothing;  // a cut-off earlier run, finished first
  std::string file;     // kInUse, kReadOnly: the original
  std::string program;  // kInUse: the program holding it, when the system can tell
  uint64_t needed = 0, available = 0;  // kNoSpace, kScratchNoSpace: bytes
};

// The message that tells what was done with a cut-off earlier run; empty when nothing was.
std::string RecoveryMessage(filesys::Recovered recovered);
// The messages of an outcome, in the order they are shown (a recovery's first).
std::vector<std::string> Messages(Outcome outcome, const Report& report = {});
// False for the outcomes that leave the setup window open for another try.
bool EndsProgram(Outcome outcome);
// The program's exit code when it ends after this outcome: 1 after a failed run.
int ExitCodeOf(Outcome outcome);

}  // namespace patchrun
