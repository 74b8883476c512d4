#include "platform/Staging.h"

#include <windows.h>

#include <algorithm>

#include "text/PathRules.h"
#include "text/Wide.h"

namespace filesys {
namespace {

using archive::JournalMark;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EndsWith(const std::wstring& name, const wchar_t* end) {
  const size_t n = wcslen(end);
  return name.size() >= n && name.compare(name.size() - n, n, end) == 0;
}

// Each level of a relative CP932 path, outermost first, without the last one
// ("a\b\c" gives "a", "a\b"). Only a single-byte '\' separates levels.
std::vector<std::string> FolderLevels(const std::string& relative) {
  std::vector<std::string> levels;
  for (size_t i = 0; i < relative.size(); i = pathrules::NextChar(relative, i)) {
    if (relative[i] == '\\') levels.push_back(relative.substr(0, i));
  }
  return levels;
}

// Removes the staging folder's new files, then the journal, then the folder.
// Kept-aside originals (".old") are never deleted here: while one remains,
// so do the journal and the folder, and the answer is false.
bool SweepStaging(Disk& disk, const std::wstring& staging) {
  bool asides = false;
  WIN32_FIND_DATAW found;
  if (FindHandle search{FindFirstFileW((staging + L"\\*").c_str(), &found)}) {
    do {
      const std::wstring name = found.cFileName;
      const std::wstring path = staging + L"\\" + name;
      if (name == L"." || name == L".." || name == text::Wide(archive::kJournalFileName)) continue;
      if (EndsWith(name, L".old")) {
        asides = true;
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        disk.RemoveFolder(path);
      } else {
        Retrying([&] { return disk.Delete(path); });
      }
    } while (FindNextFileW(search.get(), &found));
  }
  if (asides) return false;
  const std::wstring journal = staging + L"\\" + text::Wide(archive::kJournalFileName);
  if (Exists(journal) && !Retrying([&] { return disk.Delete(journal); })) return false;
  return Retrying([&] { return disk.RemoveFolder(staging); }) || !Exists(staging);
}

}  // namespace

PlannedChange::PlannedChange(Disk& disk, std::string target, archive::JournalPlan plan, FileHandle journal,
                             const archive::JournalState& marks)
    : disk_(disk),
      target_(std::move(target)),
      plan_(std::move(plan)),
      staging_(Below(plan_.staging)),
      journal_(std::move(journal)),
      committed_(marks.committed) {}

std::wstring PlannedChange::Below(const std::string& relative) const {
  return text::Wide(target_ + "\\" + relative);
}

std::wstring PlannedChange::Final(size_t item) const { return Below(plan_.items[item].path); }
std::wstring PlannedChange::NewFile(size_t item) const {
  return staging_ + L"\\" + text::Wide(archive::ItemFileName(item, false));
}
std::wstring PlannedChange::Aside(size_t item) const {
  return staging_ + L"\\" + text::Wide(archive::ItemFileName(item, true));
}

bool PlannedChange::Mark(JournalMark mark) {
  const std::vector<uint8_t> record = archive::EncodeMark(mark);
  if (!disk_.Write(journal_.get(), record.data(), record.size()) || !disk_.Flush(journal_.get())) return false;
  if (mark == JournalMark::kCommit) committed_ = true;
  return true;
}

bool PlannedChange::Forward() {
  for (const std::string& folder : plan_.folders) {
    const std::wstring path = Below(folder);
    if (!IsFolder(path) && !disk_.MakeFolder(path)) return false;
  }
  for (size_t i = 0; i < plan_.items.size(); ++i) {
    const std::wstring fresh = NewFile(i), final = Final(i), aside = Aside(i);
    if (!Exists(fresh)) continue;  // placed already
    // The original is moved aside, not overwritten: a file in use refuses the
    // move while nothing of it has changed yet.
    if (plan_.items[i].original && !Exists(aside) && Exists(final) &&
        !Retrying([&] { return disk_.Move(final, aside, false); })) {
      return false;
    }
    // Never over a file: one that appeared since the plan stops the commit.
    if (!Retrying([&] { return disk_.Move(fresh, final, false); })) return false;
  }
  if (!Mark(JournalMark::kPlaced)) return false;
  CleanUp();
  return true;
}

bool PlannedChange::Backward() {
  bool restored = true;
  for (size_t i = plan_.items.size(); i-- > 0;) {
    const std::wstring fresh = NewFile(i), final = Final(i), aside = Aside(i);
    if (Exists(aside)) {
      // The original returns, over the new file if that was placed.
      restored &= Retrying([&] { return disk_.Move(aside, final, true); });
    } else if (committed_ && !plan_.items[i].original && !Exists(fresh) && Exists(final)) {
      restored &= Retrying([&] { return disk_.Delete(final); });  // a placed file that is new to the game
    }
    if (Exists(fresh)) restored &= Retrying([&] { return disk_.Delete(fresh); });
  }
  // The plan's folders did not exist when it was written; one that still
  // holds something not of this run stays.
  for (auto it = plan_.folders.rbegin(); it != plan_.folders.rend(); ++it) {
    if (IsFolder(Below(*it)) && !disk_.RemoveFolder(Below(*it)) && GetLastError() != ERROR_DIR_NOT_EMPTY) {
      restored = false;
    }
  }
  if (!restored) return false;
  journal_.reset();
  return SweepStaging(disk_, staging_);
}

void PlannedChange::CleanUp() {
  bool gone = true;
  for (size_t i = 0; i < plan_.items.size(); ++i) {
    const std::wstring aside = Aside(i);
    if (Exists(aside) && !Retrying([&] { return disk_.Delete(aside); })) {
      // A program still running from it: Windows deletes it at the restart.
      disk_.DeleteAtRestart(aside);
      gone = false;
    }
  }
  journal_.reset();
  const std::wstring journal = staging_ + L"\\" + text::Wide(archive::kJournalFileName);
  if (gone && SweepStaging(disk_, staging_)) return;
  // The journal stays, so that the next start finishes what the restart may not.
  disk_.DeleteAtRestart(journal);
  disk_.DeleteAtRestart(staging_);
}

Staging::Staging(const std::string& target, const std::vector<std::string>& outputs, Disk& disk)
    : disk_(disk), target_(target) {
  std::map<std::wstring, bool> knownFolders;  // key: planned (true) or already there (false)
  for (const std::string& output : outputs) {
    const std::string relative = output.substr(std::min(output.size(), target.size() + 1));
    const std::wstring key = Key(text::Wide(output));
    if (itemByKey_.count(key)) continue;
    const DWORD attributes = GetFileAttributesW(text::Wide(output).c_str());
    itemByKey_.emplace(key, plan_.items.size());
    plan_.items.push_back({relative, attributes != INVALID_FILE_ATTRIBUTES});
    for (const std::string& level : FolderLevels(relative)) {
      const std::wstring path = text::Wide(target + "\\" + level);
      const std::wstring levelKey = Key(path);
      if (knownFolders.count(levelKey)) continue;
      const DWORD found = GetFileAttributesW(path.c_str());
      if (found != INVALID_FILE_ATTRIBUTES && !(found & FILE_ATTRIBUTE_DIRECTORY)) break;  // a file in the way
      const bool missing = found == INVALID_FILE_ATTRIBUTES;
      knownFolders.emplace(levelKey, missing);
      if (missing) {
        plan_.folders.push_back(level);
        plannedFolders_.insert(levelKey);
      }
    }
  }
  opened_.assign(plan_.items.size(), false);
}

Staging::~Staging() {
  if (!finished_) Rollback();
}

std::wstring Staging::Key(const std::wstring& path) {
  // Windows compares file names without regard to case.
  std::wstring key = path;
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

bool Staging::Begin() {
  if (change_ || finished_) return false;
  // A new name every run, whatever is left of earlier ones.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uint32_t seed = static_cast<uint32_t>(counter.QuadPart) ^ static_cast<uint32_t>(GetTickCount64() * 2654435761u) ^
                  (GetCurrentProcessId() << 12);
  std::wstring staging;
  for (int attempt = 0;; ++attempt, seed += 0x9E3779B9u) {
    if (attempt == 64) return false;
    plan_.staging = archive::StagingName(seed);
    staging = text::Wide(target_ + "\\" + plan_.staging);
    if (disk_.MakeFolder(staging)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  const std::wstring journalPath = staging + L"\\" + text::Wide(archive::kJournalFileName);
  FileHandle journal(disk_.CreateNewFile(journalPath));
  const std::vector<uint8_t> plan = archive::EncodePlan(plan_);
  if (!journal || !disk_.Write(journal.get(), plan.data(), plan.size()) || !disk_.Flush(journal.get())) {
    if (journal) {
      journal.reset();
      disk_.Delete(journalPath);
    }
    disk_.RemoveFolder(staging);
    return false;
  }
  change_ = std::make_unique<PlannedChange>(disk_, target_, plan_, std::move(journal), archive::JournalState{});
  return true;
}

bool Staging::MakeFolder(const std::string& folder) {
  return IsFolder(text::Wide(folder)) ||
         plannedFolders_.count(Key(text::Wide(pathrules::WithoutTrailingDelimiter(folder)))) > 0;
}

bool Staging::Stages(const std::string& finalPath) const {
  const auto found = itemByKey_.find(Key(text::Wide(finalPath)));
  return found != itemByKey_.end() && opened_[found->second];
}

std::unique_ptr<archive::OutputSink> Staging::OpenOutput(const std::string& finalPath) {
  const std::wstring target = text::Wide(finalPath);
  const auto found = itemByKey_.find(Key(target));
  if (!change_ || finished_ || found == itemByKey_.end()) return nullptr;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    return nullptr;
  }
  const size_t item = found->second;
  const std::wstring path = change_->NewFile(item);
  // The last record of a name wins: its earlier file goes.
  if (opened_[item] && !Retrying([&] { return disk_.Delete(path); })) return nullptr;
  const HANDLE file = disk_.CreateNewFile(path);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  opened_[item] = true;
  return std::make_unique<DiskSink>(disk_, file);
}

bool Staging::Commit() {
  if (finished_ || !change_) return false;
  if (!change_->Mark(JournalMark::kCommit)) {
    Rollback();
    return false;
  }
  finished_ = true;
  if (change_->Forward()) return true;
  change_->Mark(JournalMark::kRollback);
  restored_ = change_->Backward();
  return false;
}

void Staging::Rollback() {
  if (finished_) return;
  finished_ = true;
  if (change_) restored_ = change_->Backward();
}

namespace {

// True when a level of `relative` below `target` is a link or junction: the
// journal is then not followed there (Windows shows them as reparse points).
bool PassesThroughLink(const std::string& target, const std::string& relative) {
  std::vector<std::string> levels = FolderLevels(relative);
  levels.push_back(relative);
  for (const std::string& level : levels) {
    const DWORD attributes = GetFileAttributesW(text::Wide(target + "\\" + level).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  }
  return false;
}

bool Followable(const std::string& target, const std::string& name, const archive::JournalPlan& plan) {
  if (plan.staging != name) return false;
  for (const std::string& folder : plan.folders)
    if (PassesThroughLink(target, folder)) return false;
  for (const archive::JournalPlan::Item& item : plan.items)
    if (PassesThroughLink(target, item.path)) return false;
  return true;
}

Recovered RecoverOne(const std::string& target, const std::string& name, Disk& disk) {
  const std::wstring staging = text::Wide(target + "\\" + name);
  const std::wstring journalPath = staging + L"\\" + text::Wide(archive::kJournalFileName);
  // Held without sharing, as the run held it: a run still at work keeps it.
  FileHandle journal(CreateFileW(journalPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!journal) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Recovered::kNothing;
    // Cut off before its journal was written: nothing else of it exists.
    return SweepStaging(disk, staging) ? Recovered::kNothing : Recovered::kIncomplete;
  }
  LARGE_INTEGER size{};
  std::vector<uint8_t> bytes;
  if (GetFileSizeEx(journal.get(), &size) && size.QuadPart < (64 << 20)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(journal.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  const archive::JournalState state = archive::ReadJournal(bytes);
  if (!state.plan || !Followable(target, name, *state.plan)) {
    journal.reset();
    return SweepStaging(disk, staging) ? Recovered::kUndone : Recovered::kIncomplete;
  }
  // Marks go after the valid part.
  if (state.validBytes < bytes.size()) disk.Truncate(journal.get(), state.validBytes);
  PlannedChange change(disk, target, *state.plan, std::move(journal), state);
  if (state.placed) {
    change.CleanUp();
    return Recovered::kNothing;
  }
  if (state.committed && !state.rollingBack) {
    if (change.Forward()) return Recovered::kCompleted;
    change.Mark(JournalMark::kRollback);
  }
  return change.Backward() ? Recovered::kUndone : Recovered::kIncomplete;
}

}  // namespace

Recovered Recover(const std::string& target, Disk& disk) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  if (FindHandle search{FindFirstFileW(text::Wide(target + "\\~ps*").c_str(), &found)}) {
    do {
      std::string name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          text::NarrowExactly(found.cFileName, name) && archive::IsStagingName(name)) {
        names.push_back(name);
      }
    } while (FindNextFileW(search.get(), &found));
  }
  Recovered result = Recovered::kNothing;
  for (const std::string& name : names) result = std::max(result, RecoverOne(target, name, disk));
  return result;
}

}  // namespace filesys
