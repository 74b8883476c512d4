#include "platform/Staging.h"

#include <windows.h>

#include <algorithm>

#include "engine/RecordName.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"
#include "text/PathRules.h"
#include "text/Wide.h"

namespace platform {
namespace {

using archive::Carried;
using archive::Course;
using archive::JournalMark;
using archive::Seen;
using archive::Step;

constexpr size_t kReadBlock = 256 * 1024;
constexpr uint64_t kLongestJournal = 64 << 20;

// Each level of a relative CP932 path, outermost first, without the last one
// ("a\b\c" gives "a", "a\b"). Only a single-byte '\' separates levels.
std::vector<std::string> FolderLevels(const std::string& relative) {
  std::vector<std::string> levels;
  for (size_t i = 0; i < relative.size(); i = pathrules::NextChar(relative, i)) {
    if (relative[i] == '\\') levels.push_back(relative.substr(0, i));
  }
  return levels;
}

// Windows compares file names without regard to case.
std::wstring Key(const std::wstring& path) {
  std::wstring key = path;
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

bool IsPlainFolder(const Entry& entry) { return entry.exists && entry.folder && !entry.link; }

std::wstring JournalIn(const std::wstring& runFolder) {
  return runFolder + L"\\" + text::Wide(archive::kJournalFileName);
}

}  // namespace

Change::Change(Disk& disk, std::string target, archive::JournalPlan plan)
    : disk_(disk),
      target_(std::move(target)),
      plan_(std::move(plan)),
      placedHere_(plan_.items.size(), 0),
      freshProven_(plan_.items.size()),
      finalProven_(plan_.items.size()) {}

Change::~Change() = default;

void Change::Attach(const std::string& staging, FileHandle journal, size_t validBytes) {
  plan_.staging = staging;
  journal_ = std::move(journal);
  validBytes_ = validBytes;
}

void Change::AttachKept(const std::string& staging) {
  plan_ = {};
  plan_.staging = staging;
  FindKept(Below(staging + "\\" + archive::kKeptOriginals), "");
  placedHere_.assign(plan_.items.size(), 0);
  freshProven_.assign(plan_.items.size(), 0);
  finalProven_.assign(plan_.items.size(), 0);
}

// Every plain file below the run's folder of kept originals, by its path
// below that folder, which is its path in the game folder.
void Change::FindKept(const std::wstring& folder, const std::string& relative) {
  std::vector<std::pair<std::wstring, Entry>> entries;
  if (!disk_.List(folder, entries)) return;
  for (const auto& [name, entry] : entries) {
    std::string narrow;
    if (entry.link || !text::NarrowExactly(name, narrow)) continue;
    const std::string path = relative.empty() ? narrow : relative + "\\" + narrow;
    if (entry.folder) {
      FindKept(folder + L"\\" + name, path);
    } else if (archive::IsSafeRecordName(path)) {
      plan_.items.push_back({path, true, {}});
    }
  }
}

std::wstring Change::Below(const std::string& relative) const { return text::Wide(target_ + "\\" + relative); }
std::wstring Change::Final(size_t item) const { return Below(plan_.items[item].path); }
std::wstring Change::Fresh(size_t item) const {
  return Below(plan_.staging + "\\" + archive::FreshFileName(item));
}
std::wstring Change::Kept(size_t item) const {
  return Below(plan_.staging + "\\" + archive::kKeptOriginals + "\\" + plan_.items[item].path);
}
std::wstring Change::RunFolder() const { return Below(plan_.staging); }

bool Change::Hold(const std::wstring& path, std::string* refused) {
  if (held_.count(path)) return true;
  FileHandle folder(disk_.HoldFolder(path));
  Entry entry;
  if (!folder || !disk_.Describe(folder.get(), entry) || !entry.folder || entry.link) {
    if (refused) *refused = text::Narrow(path);
    return false;
  }
  held_.emplace(path, std::move(folder));
  return true;
}

bool Change::HoldLevels(std::string& refused) {
  std::vector<std::wstring> levels;
  for (const std::string& level : pathrules::Levels(target_)) levels.push_back(text::Wide(level));
  std::vector<std::string> relatives;
  if (!plan_.staging.empty()) {
    const std::string kept = plan_.staging + "\\" + archive::kKeptOriginals;
    relatives = {plan_.staging, kept};
    for (const auto& item : plan_.items)
      for (const std::string& level : FolderLevels(item.path)) relatives.push_back(kept + "\\" + level);
  }
  for (const auto& item : plan_.items)
    for (const std::string& level : FolderLevels(item.path)) relatives.push_back(level);
  for (const std::string& relative : relatives) levels.push_back(Below(relative));
  std::set<std::wstring> seen;
  for (const std::wstring& level : levels) {
    if (held_.count(level) || !seen.insert(level).second) continue;
    const Entry entry = disk_.Query(level);
    if (entry.link) {
      refused = text::Narrow(level);
      return false;
    }
    // A folder yet to be made, or a file in the way of one: the extraction
    // stops there, with its own message, before anything is touched.
    if (!entry.folder) continue;
    if (!Hold(level, &refused)) return false;
  }
  return true;
}

void Change::SetProof(Proof fresh, Proof final) {
  freshProof_ = fresh;
  finalProof_ = final;
}

void Change::Forget(size_t item) {
  freshProven_[item] = 0;
  finalProven_[item] = 0;
}

archive::Seen Change::Prove(const std::wstring& path, const Entry& entry, size_t item, Proof proof,
                            uint8_t& proven) {
  const archive::FileIdentity& identity = plan_.items[item].identity;
  if (!entry.exists) return Seen::kAbsent;
  if (entry.folder || entry.link || entry.size != identity.size) return Seen::kDiffers;
  if (proof == Proof::kSize || proven) return Seen::kMatches;
  FileHandle file;
  Retrying([&] {
    file.reset(disk_.OpenRead(path));
    return static_cast<bool>(file);
  });
  Entry opened;
  if (!file || !disk_.Describe(file.get(), opened) || opened.folder || opened.link || opened.names != 1 ||
      opened.size != identity.size) {
    return Seen::kDiffers;
  }
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(kReadBlock, identity.size) + 1));
  uint32_t crc = 0;
  uint64_t total = 0;
  for (size_t got = 0;; total += got) {
    if (!disk_.Read(file.get(), block.data(), block.size(), got)) return Seen::kDiffers;
    if (got == 0) break;
    crc = archive::Crc32(crc, block.data(), got);
  }
  if (total != identity.size || crc != identity.crc) return Seen::kDiffers;
  proven = 1;
  return Seen::kMatches;
}

archive::Seen Change::ProveFresh(size_t item) {
  return Prove(Fresh(item), disk_.Query(Fresh(item)), item, Proof::kContent, freshProven_[item]);
}

archive::ItemFacts Change::Observe(size_t item, archive::Look look) {
  archive::ItemFacts facts;
  facts.placedHere = placedHere_[item];
  if (look != archive::Look::kFinal) facts.kept = disk_.Query(Kept(item)).exists;
  const Entry fresh = disk_.Query(Fresh(item));
  facts.fresh = Prove(Fresh(item), fresh, item, freshProof_, freshProven_[item]);
  if (look == archive::Look::kLeftovers) return facts;
  const Entry final = disk_.Query(Final(item));
  // While its new file waits in the run's folder, nothing at the final path
  // is the run's: a file moves, it is never in two places. A file this
  // process did not place there is the run's only if its content proves it.
  const Proof proof = placedHere_[item] ? finalProof_ : Proof::kContent;
  facts.final = fresh.exists && final.exists ? Seen::kDiffers
                                             : Prove(Final(item), final, item, proof, finalProven_[item]);
  return facts;
}

bool Change::MakeKeptFolders(size_t item) {
  const std::string kept = plan_.staging + "\\" + archive::kKeptOriginals;
  std::vector<std::string> levels{kept};
  for (const std::string& level : FolderLevels(plan_.items[item].path)) levels.push_back(kept + "\\" + level);
  for (const std::string& level : levels) {
    const std::wstring path = Below(level);
    if (held_.count(path)) continue;  // made (or found) and held already
    const Entry entry = disk_.Query(path);
    if (!entry.exists && !disk_.MakeFolder(path) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (!Hold(path, nullptr)) return false;
  }
  return true;
}

bool Change::Perform(size_t item, Step step) {
  const auto move = [&](const std::wstring& from, const std::wstring& to, bool replace) {
    return Retrying([&] { return disk_.Move(from, to, replace); });
  };
  const auto remove = [&](const std::wstring& path) { return Retrying([&] { return disk_.Delete(path); }); };
  bool done = false;
  finalProven_[item] = 0;
  switch (step) {
    case Step::kKeepOriginal: done = MakeKeptFolders(item) && move(Final(item), Kept(item), false); break;
    case Step::kPlace:
      done = move(Fresh(item), Final(item), false);
      freshProven_[item] = 0;
      if (done) placedHere_[item] = 1;
      break;
    case Step::kRestore:
    case Step::kRestoreOver:
      done = move(Kept(item), Final(item), step == Step::kRestoreOver);
      if (done) placedHere_[item] = 0;
      break;
    case Step::kRemovePlaced:
      done = remove(Final(item));
      if (done) placedHere_[item] = 0;
      break;
    case Step::kRemoveFresh:
      done = remove(Fresh(item));
      freshProven_[item] = 0;
      break;
    case Step::kRemoveKept: done = remove(Kept(item)); break;  // a program still running from it stays
    case Step::kNone:
    case Step::kBlocked: break;
  }
  return done;
}

bool Change::Mark(JournalMark mark) {
  const std::vector<uint8_t> record = archive::EncodeMark(mark);
  // A torn mark beyond the valid part is cut off first, and the mark is
  // written right after the valid part.
  if (!journal_ || !disk_.Truncate(journal_.get(), validBytes_) ||
      !disk_.Write(journal_.get(), record.data(), record.size()) || !disk_.Flush(journal_.get())) {
    return false;
  }
  validBytes_ += record.size();
  return true;
}

bool Change::MakeFolders() {
  for (const std::string& folder : plan_.folders) {
    const std::wstring path = Below(folder);
    const Entry entry = disk_.Query(path);
    if (entry.exists ? !IsPlainFolder(entry)
                     : !disk_.MakeFolder(path) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
    if (!Hold(path, nullptr)) return false;
  }
  return true;
}

bool Change::RemoveFolders() {
  for (auto it = plan_.folders.rbegin(); it != plan_.folders.rend(); ++it) {
    const std::wstring path = Below(*it);
    held_.erase(path);
    // Only a plain folder is the run's to remove; one that holds something
    // not of the run stays.
    if (!IsPlainFolder(disk_.Query(path))) continue;
    if (!Retrying([&] { return disk_.RemoveFolder(path); }) && GetLastError() != ERROR_DIR_NOT_EMPTY) return false;
  }
  return true;
}

void Change::LastStep() {
  if (lastStep_) lastStep_();
}

// Removes the empty folders of kept originals below `path`, innermost first,
// and `path` itself when it is empty then; false when a file (an original)
// or anything else stays in it. `ok` goes false when a folder cannot go.
bool Change::Prune(const std::wstring& path, bool& ok) {
  std::vector<std::pair<std::wstring, Entry>> entries;
  if (!disk_.List(path, entries)) return false;
  bool empty = true;
  for (const auto& [name, entry] : entries) {
    if (!entry.folder || entry.link || !Prune(path + L"\\" + name, ok)) empty = false;
  }
  if (empty && !Retrying([&] { return disk_.RemoveFolder(path); })) ok = false;
  return empty;
}

bool Change::Sweep(bool& originals) {
  const std::wstring folder = RunFolder();
  std::vector<std::pair<std::wstring, Entry>> entries;
  if (!disk_.List(folder, entries)) return !disk_.Query(folder).exists;
  bool ok = true;
  for (const auto& [name, entry] : entries) {
    std::string narrow;
    if (!text::NarrowExactly(name, narrow) || narrow == archive::kJournalFileName || entry.link) continue;
    const std::wstring path = folder + L"\\" + name;
    if (!entry.folder && archive::IsFreshFileName(narrow)) {
      if (!Retrying([&] { return disk_.Delete(path); })) ok = false;
    } else if (entry.folder && narrow == archive::kKeptOriginals && !Prune(path, ok)) {
      originals = true;
    }
  }
  return ok;
}

// Leaves everything below `path` to the next restart, innermost first, but
// the journal.
void Change::LeaveToRestart(const std::wstring& path, const std::wstring& journal) {
  std::vector<std::pair<std::wstring, Entry>> entries;
  if (!disk_.List(path, entries)) return;
  for (const auto& [name, entry] : entries) {
    const std::wstring inner = path + L"\\" + name;
    if (inner == journal) continue;
    if (entry.folder && !entry.link) LeaveToRestart(inner, journal);
    disk_.DeleteAtRestart(inner);
  }
}

bool Change::Close(archive::Closing closing) {
  held_.clear();
  const std::wstring folder = RunFolder(), journal = JournalIn(folder);
  if (closing == archive::Closing::kAtRestart) {
    // An original still in use (the game started meanwhile) goes at the
    // restart, then its folders, the journal and the run's folder; the
    // journal stays until then, for the next start to finish what the
    // restart may not. What can go now goes first.
    bool originals = false;
    Sweep(originals);
    journal_.reset();
    LeaveToRestart(folder, journal);
    disk_.DeleteAtRestart(journal);
    disk_.DeleteAtRestart(folder);
    return true;
  }
  bool originals = false;
  if (!Sweep(originals)) return false;
  journal_.reset();
  if (!Retrying([&] { return disk_.Delete(journal); }) && disk_.Query(journal).exists) return false;
  if (originals || closing == archive::Closing::kKeepOriginals) {
    // Kept for good: the player is told where, and no later start acts on it.
    return Retrying([&] { return disk_.Move(folder, Below(archive::KeptFolderName(plan_.staging)), false); });
  }
  // Something not of the run in its folder keeps the folder.
  return Retrying([&] { return disk_.RemoveFolder(folder); }) || GetLastError() == ERROR_DIR_NOT_EMPTY;
}

// --- The run.

archive::JournalPlan Staging::PlanFor(const std::string& target, const archive::CheckResult& check, Disk& disk,
                                      std::map<std::wstring, size_t>& itemByKey, std::set<std::wstring>& planned) {
  archive::JournalPlan plan;
  std::set<std::wstring> knownFolders;
  for (size_t k = 0; k < check.outputs.size(); ++k) {
    const std::string& output = check.outputs[k];
    const archive::FileIdentity identity{static_cast<uint32_t>(check.sizes[k]), check.crcs[k]};
    const std::wstring key = Key(text::Wide(output));
    if (const auto found = itemByKey.find(key); found != itemByKey.end()) {
      plan.items[found->second].identity = identity;  // the last record of a name is the file
      continue;
    }
    const std::string relative = output.substr(std::min(output.size(), target.size() + 1));
    itemByKey.emplace(key, plan.items.size());
    plan.items.push_back({relative, disk.Query(text::Wide(output)).exists, identity});
    for (const std::string& level : FolderLevels(relative)) {
      const std::wstring levelKey = Key(text::Wide(target + "\\" + level));
      if (knownFolders.count(levelKey)) continue;
      const Entry found = disk.Query(text::Wide(target + "\\" + level));
      if (found.exists && !found.folder) break;  // a file in the way: the extraction stops there
      knownFolders.insert(levelKey);
      if (!found.exists) {
        plan.folders.push_back(level);
        planned.insert(levelKey);
      }
    }
  }
  return plan;
}

Staging::Staging(const std::string& target, const archive::CheckResult& check, Disk& disk)
    : disk_(disk),
      target_(target),
      change_(disk, target, PlanFor(target, check, disk, itemByKey_, plannedFolders_)),
      opened_(change_.Plan().items.size(), false) {}

Staging::~Staging() {
  if (!finished_) Rollback();
}

std::optional<std::string> Staging::RefusedLevel() {
  std::string refused;
  if (change_.HoldLevels(refused)) return std::nullopt;
  return refused;
}

bool Staging::Begin() {
  if (begun_ || finished_) return false;
  // A new name every run, whatever is left of earlier ones.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uint32_t seed = static_cast<uint32_t>(counter.QuadPart) ^ static_cast<uint32_t>(GetTickCount64() * 2654435761u) ^
                  (GetCurrentProcessId() << 12);
  std::string name;
  std::wstring folder;
  for (int attempt = 0;; ++attempt, seed += 0x9E3779B9u) {
    if (attempt == 64) return false;
    name = archive::StagingName(seed);
    folder = text::Wide(target_ + "\\" + name);
    if (disk_.MakeFolder(folder)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  const std::wstring journalPath = JournalIn(folder);
  FileHandle journal(disk_.CreateNewFile(journalPath));
  archive::JournalPlan plan = change_.Plan();
  plan.staging = name;
  const std::vector<uint8_t> bytes = archive::EncodePlan(plan);
  if (!journal || !disk_.Write(journal.get(), bytes.data(), bytes.size()) || !disk_.Flush(journal.get())) {
    if (journal) {
      journal.reset();
      disk_.Delete(journalPath);
    }
    disk_.RemoveFolder(folder);
    return false;
  }
  change_.Attach(name, std::move(journal), bytes.size());
  begun_ = true;
  // The run's own folder is held as well from now on.
  std::string refused;
  if (!change_.HoldLevels(refused)) {
    Rollback();
    return false;
  }
  return true;
}

bool Staging::MakeFolder(const std::string& folder) {
  return IsPlainFolder(disk_.Query(text::Wide(folder))) ||
         plannedFolders_.count(Key(text::Wide(pathrules::WithoutTrailingDelimiter(folder)))) > 0;
}

bool Staging::Stages(const std::string& finalPath) const {
  const auto found = itemByKey_.find(Key(text::Wide(finalPath)));
  return found != itemByKey_.end() && opened_[found->second];
}

std::optional<size_t> Staging::ItemOf(const std::string& finalPath) const {
  const auto found = itemByKey_.find(Key(text::Wide(finalPath)));
  if (found == itemByKey_.end()) return std::nullopt;
  return found->second;
}

std::unique_ptr<archive::OutputSink> Staging::OpenOutput(const std::string& finalPath) {
  const std::wstring target = text::Wide(finalPath);
  const auto found = itemByKey_.find(Key(target));
  if (!begun_ || finished_ || found == itemByKey_.end()) return nullptr;
  const Entry original = disk_.Query(target);
  if (original.exists && (original.folder || original.readOnly)) return nullptr;
  const size_t item = found->second;
  const std::wstring path = change_.Fresh(item);
  change_.Forget(item);
  // The last record of a name wins: its earlier file goes.
  if (opened_[item] && disk_.Query(path).exists && !Retrying([&] { return disk_.Delete(path); })) return nullptr;
  const HANDLE file = disk_.CreateNewFile(path);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  opened_[item] = true;
  return std::make_unique<DiskSink>(disk_, file);
}

std::vector<size_t> Staging::Unverified() {
  std::vector<size_t> items;
  for (size_t i = 0; i < Plan().items.size(); ++i) {
    if (change_.ProveFresh(i) != Seen::kMatches) items.push_back(i);
  }
  return items;
}

Carried Staging::Commit(std::function<void()> lastStep) {
  Carried carried;
  if (finished_ || !begun_) return carried;
  // Every new file was read back just before: its size tells it is still
  // there. Once placed, each is read back again, since something may have
  // changed it in between and kept its size.
  change_.SetProof(Proof::kSize, Proof::kContent);
  change_.SetLastStep(std::move(lastStep));
  if (!change_.Mark(JournalMark::kCommit)) {
    Rollback();
    carried.end = restored_ ? Carried::End::kBefore : Carried::End::kStopped;
    carried.turnedBack = true;
    carried.cause = Plan().items.size();
    return carried;
  }
  finished_ = true;
  archive::JournalState journal;
  journal.committed = true;
  carried = archive::CarryOut(Course::kComplete, journal, Plan().items, change_);
  restored_ = carried.end != Carried::End::kStopped;
  return carried;
}

void Staging::Rollback() {
  if (finished_) return;
  finished_ = true;
  if (!begun_) return;
  restored_ = archive::CarryOut(Course::kUndo, {}, Plan().items, change_).end == Carried::End::kBefore;
}

// --- Recovery.

namespace {

RecoveryReport RecoverOne(const std::string& target, const std::string& name, Disk& disk,
                          const std::function<void()>& lastStep) {
  const std::wstring folder = text::Wide(target + "\\" + name), journalPath = JournalIn(folder);
  // Held without sharing, as the run held it: a run still at work keeps it,
  // a scanner only for a moment.
  FileHandle journal;
  Retrying([&] {
    journal.reset(disk.OpenJournal(journalPath));
    return static_cast<bool>(journal);
  });
  archive::JournalState state;
  if (!journal) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return {Recovered::kInUse, {}, {}};
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return {Recovered::kIncomplete, {}, {}};
  } else {
    std::vector<uint8_t> bytes;
    Entry entry;
    if (disk.Describe(journal.get(), entry) && !entry.folder && !entry.link && entry.names == 1 &&
        entry.size < kLongestJournal) {
      bytes.resize(static_cast<size_t>(entry.size));
      size_t at = 0;
      for (size_t got = 0; at < bytes.size() && disk.Read(journal.get(), bytes.data() + at, bytes.size() - at, got) &&
                           got > 0;) {
        at += got;
      }
      bytes.resize(at);
    }
    state = archive::ReadJournal(bytes);
    // A plan of another run's folder is none of this one's.
    if (state.plan && state.plan->staging != name) state = {};
  }

  Change change(disk, target, state.plan ? *state.plan : archive::JournalPlan{});
  if (!state.plan) change.AttachKept(name);
  change.Attach(name, std::move(journal), state.validBytes);
  change.SetProof(Proof::kContent, Proof::kContent);
  std::string refused;
  const bool linked = !change.HoldLevels(refused);
  std::vector<archive::ItemFacts> facts;
  if (!linked && state.plan) {
    for (size_t i = 0; i < change.Plan().items.size(); ++i) facts.push_back(change.Observe(i));
  }
  const Course course = archive::Decide(state, linked, !state.plan && !change.Plan().items.empty(), facts);
  if (course == Course::kLeave) {
    if (state.otherFormat) return {Recovered::kOtherFormat, text::Narrow(folder), {}};
    return {Recovered::kLinked, refused, {}};
  }
  change.SetLastStep(lastStep);
  const Carried carried = archive::CarryOut(course, state, change.Plan().items, change);
  RecoveryReport report;
  switch (carried.end) {
    case Carried::End::kStopped: report.what = Recovered::kIncomplete; break;
    case Carried::End::kAfter:
      report.what = course == Course::kCleanUp ? Recovered::kNothing : Recovered::kCompleted;
      break;
    case Carried::End::kBefore:
      report.what = course == Course::kRemove    ? Recovered::kNothing
                    : course == Course::kPutBack ? Recovered::kPutBack
                                                 : Recovered::kUndone;
      break;
    case Carried::End::kKept:
      report.what = Recovered::kKept;
      report.folder = target + "\\" + archive::KeptFolderName(name);
      for (size_t i : carried.kept) report.files.push_back(target + "\\" + change.Plan().items[i].path);
      break;
  }
  return report;
}

// Which of two recoveries the player hears of.
int Weight(Recovered what) {
  switch (what) {
    case Recovered::kNothing: return 0;
    case Recovered::kPutBack: return 1;
    case Recovered::kUndone: return 2;
    case Recovered::kCompleted: return 3;
    case Recovered::kKept: return 4;
    default: return 5;  // what stops the run
  }
}

}  // namespace

RecoveryReport Recover(const std::string& target, Disk& disk, const std::function<void()>& lastStep) {
  std::vector<std::string> names;
  std::vector<std::pair<std::wstring, Entry>> entries;
  if (disk.List(text::Wide(target), entries)) {
    for (const auto& [wide, entry] : entries) {
      std::string name;
      if (IsPlainFolder(entry) && text::NarrowExactly(wide, name) && archive::IsStagingName(name)) {
        names.push_back(name);
      }
    }
  }
  RecoveryReport result;
  for (const std::string& name : names) {
    RecoveryReport one = RecoverOne(target, name, disk, lastStep);
    if (Weight(one.what) > Weight(result.what)) result = std::move(one);
    if (Weight(result.what) == 5) break;  // nothing more is touched
  }
  return result;
}

}  // namespace platform
