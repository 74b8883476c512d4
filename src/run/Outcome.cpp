#include "run/Outcome.h"

#include "run/Texts.h"

namespace patchrun {

namespace {

// A few of the files whose originals are kept, one a line, and how many more.
std::string KeptFiles(const std::vector<std::string>& files) {
  constexpr size_t kShown = 5;
  std::string text;
  for (size_t i = 0; i < files.size() && i < kShown; ++i) text += "\r\n" + files[i];
  if (files.size() > kShown) {
    text += std::string("\r\n") + texts::kKeptMore + std::to_string(files.size() - kShown) + texts::kKeptMoreAfter;
  }
  return text;
}

}  // namespace

std::string RecoveryMessage(const platform::RecoveryReport& recovery) {
  using platform::Recovered;
  switch (recovery.what) {
    case Recovered::kNothing: return {};
    case Recovered::kUndone: return texts::kRecoveredUndone;
    case Recovered::kCompleted: return texts::kRecoveredCompleted;
    case Recovered::kPutBack: return texts::kRecoveredPutBack;
    case Recovered::kKept:
      return texts::kKeptBefore + recovery.folder + texts::kKeptAfter + KeptFiles(recovery.files);
    case Recovered::kIncomplete: return texts::kRestoreIncomplete;
    case Recovered::kInUse: return texts::kOtherSetupRunning;
    case Recovered::kOtherFormat: return texts::kOtherFormatBefore + recovery.folder + texts::kOtherFormatAfter;
    case Recovered::kLinked: return recovery.folder + texts::kLinkedFolder;
  }
  return {};
}

namespace {

std::string Megabytes(uint64_t bytes, bool up) {
  constexpr uint64_t kMB = 1024 * 1024;
  return std::to_string(up ? (bytes + kMB - 1) / kMB : bytes / kMB);
}

std::vector<std::string> OutcomeMessages(Outcome outcome, const Report& report) {
  const std::string space = std::string(texts::kSpaceNeeded) + Megabytes(report.needed, true) + texts::kSpaceFree +
                            Megabytes(report.available, false) + texts::kSpaceAfter;
  switch (outcome) {
    case Outcome::kInUse:
      if (report.program.empty()) return {report.file + texts::kInUse};
      return {report.file + texts::kInUseByMiddle + report.program + texts::kInUseBy};
    case Outcome::kReadOnly: return {report.file + texts::kReadOnly};
    case Outcome::kNoSpace: return {texts::kNoSpaceGame + space};
    case Outcome::kScratchNoSpace: return {texts::kNoSpaceScratch + space};
    case Outcome::kLinkedFolder: return {report.file + texts::kLinkedFolder};
    case Outcome::kPathTooLong:
      return {report.file + texts::kPathTooLongBefore + std::to_string(report.pathChars) + texts::kPathTooLongMiddle +
              std::to_string(report.gameFolderChars) + texts::kPathTooLongAfter};
    case Outcome::kStagedFileChanged: return {report.file + texts::kStagedFileChanged};
    case Outcome::kPlacedFileChanged: return {report.file + texts::kPlacedFileChanged};
    // The recovery's own message says it.
    case Outcome::kRecoveryIncomplete: return {};
    case Outcome::kRestoreIncomplete: return {texts::kRestoreIncomplete, texts::kM3Failed};
    default: break;
  }
  switch (outcome) {
    case Outcome::kNoFolder: return {texts::kM1NoFolder};
    case Outcome::kBadFolderName: return {texts::kUnusableFolderName};
    case Outcome::kBadProgramFolderName: return {texts::kUnusableProgramFolderName};
    case Outcome::kNoGame: return {std::string(texts::kM2Before) + texts::kGameTitle + texts::kM2After};
    case Outcome::kFailed: return {texts::kM3Failed};
    case Outcome::kFolderFailed: return {texts::kFolderFailed, texts::kM3Failed};
    case Outcome::kDone: return {texts::kM4Done};
    case Outcome::kRenameFailed: return {texts::kM5Exists};
    case Outcome::kCreated: return {texts::kM6Created};
    case Outcome::kNoShortcut: return {texts::kM7NoShortcut};
    default: return {};
  }
}

}  // namespace

std::vector<std::string> Messages(Outcome outcome, const Report& report) {
  std::vector<std::string> messages;
  if (const std::string recovery = RecoveryMessage(report.recovery); !recovery.empty()) messages.push_back(recovery);
  for (std::string& message : OutcomeMessages(outcome, report)) messages.push_back(std::move(message));
  return messages;
}

bool EndsProgram(Outcome outcome) {
  switch (outcome) {
    case Outcome::kNoFolder:
    case Outcome::kBadFolderName:
    case Outcome::kBadProgramFolderName:
    case Outcome::kNoGame:
    case Outcome::kInUse:
    case Outcome::kReadOnly:
    case Outcome::kNoSpace:
    case Outcome::kScratchNoSpace:
    case Outcome::kLinkedFolder:
    case Outcome::kPathTooLong:
    case Outcome::kRecoveryIncomplete:
    case Outcome::kStagedFileChanged:
    case Outcome::kPlacedFileChanged: return false;
    default: return true;
  }
}

int ExitCodeOf(Outcome outcome) {
  return outcome == Outcome::kFailed || outcome == Outcome::kFolderFailed || outcome == Outcome::kRestoreIncomplete
             ? 1
             : 0;
}

}  // namespace patchrun
