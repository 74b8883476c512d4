// The staged patch run, through the program's own RunPatch, against a
// cut-off at every instant and against whatever else touches the files
// between its steps: the process ended at each of its changes of the disk, a
// disk that refuses any one of them, a journal cut or damaged anywhere, a
// virus scanner that deletes, cuts or changes a file at any access, a journal
// held open, a junction planted on the way. Whatever happens, the game folder
// ends as it was before the run or as the patch makes it, with nothing of the
// run in it, and the run says which: success only over the patched game.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "FileTree.h"
#include "LiteralArchive.h"
#include "PatchRunner.h"
#include "TempDir.h"
#include "engine/Journal.h"
#include "engine/RunLayout.h"
#include "platform/Staging.h"

using namespace wintest;

namespace {

using patchrun::Outcome;
using platform::Recovered;

// The system's disk with a script. Every access is counted and may be
// interfered with first (`interfere`, given the access's number, what it is
// and its path); every change is counted as well (and, if asked, recorded):
// the process ends itself at change `killAt`, or every change from
// `refuseFrom` on is refused untouched (a process that died there, seen from
// the disk), or change `refuseOnly` alone is refused. A path in `links` is a
// junction, as Windows would show it.
class ScriptedDisk : public platform::Disk {
 public:
  uint64_t killAt = 0, refuseFrom = 0, refuseOnly = 0;
  int lockedMoves = 0;  // so many moves fail first as a scanner's brief lock makes them
  bool record = false;
  std::function<void(uint64_t access, const char* what, const std::wstring& path)> interfere;
  std::set<std::wstring> links;
  struct Op {
    std::string what;
    std::wstring path;
  };

  uint64_t Changes() const { return changes_; }
  std::vector<Op> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

  platform::Entry Query(const std::wstring& path) override {
    Look("query", path);
    platform::Entry entry = Disk::Query(path);
    entry.link = entry.link || links.count(path) > 0;
    return entry;
  }
  bool List(const std::wstring& folder, std::vector<std::pair<std::wstring, platform::Entry>>& entries) override {
    Look("list", folder);
    return Disk::List(folder, entries);
  }
  HANDLE OpenRead(const std::wstring& path) override {
    Look("openread", path);
    return Named(path, Disk::OpenRead(path));
  }
  HANDLE HoldFolder(const std::wstring& path) override {
    Look("hold", path);
    return Named(path, Disk::HoldFolder(path));
  }
  HANDLE OpenJournal(const std::wstring& path) override {
    Look("openjournal", path);
    return Named(path, Disk::OpenJournal(path));
  }
  bool Describe(HANDLE handle, platform::Entry& entry) override {
    const std::wstring path = NameOf(handle);
    Look("describe", path);
    if (!Disk::Describe(handle, entry)) return false;
    entry.link = entry.link || links.count(path) > 0;
    return true;
  }
  bool Read(HANDLE file, uint8_t* data, size_t size, size_t& got) override {
    Look("read", NameOf(file));
    return Disk::Read(file, data, size, got);
  }

  HANDLE CreateNewFile(const std::wstring& path) override {
    if (!Allow("create", path)) return INVALID_HANDLE_VALUE;
    return Named(path, Disk::CreateNewFile(path));
  }
  bool Write(HANDLE f, const uint8_t* data, size_t size) override {
    return Allow("write", NameOf(f)) && Disk::Write(f, data, size);
  }
  bool Truncate(HANDLE f, uint64_t size) override { return Allow("truncate", NameOf(f)) && Disk::Truncate(f, size); }
  bool FlushData(HANDLE f) override { return Allow("flushdata", NameOf(f)) && Disk::FlushData(f); }
  bool Flush(HANDLE f) override { return Allow("flush", NameOf(f)) && Disk::Flush(f); }
  bool Move(const std::wstring& from, const std::wstring& to, bool replace) override {
    if (!Allow("move", from)) return false;
    if (lockedMoves > 0 && lockedMoves--) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
    return Disk::Move(from, to, replace);
  }
  bool Delete(const std::wstring& path) override { return Allow("delete", path) && Disk::Delete(path); }
  bool MakeFolder(const std::wstring& path) override { return Allow("mkdir", path) && Disk::MakeFolder(path); }
  bool RemoveFolder(const std::wstring& path) override { return Allow("rmdir", path) && Disk::RemoveFolder(path); }
  bool DeleteAtRestart(const std::wstring& path) override {
    return Allow("atrestart", path) && Disk::DeleteAtRestart(path);
  }

  static constexpr UINT kKilled = 77;

 private:
  void Look(const char* what, const std::wstring& path) {
    const uint64_t n = ++accesses_;
    if (interfere) {
      std::lock_guard<std::mutex> lock(interfering_);
      interfere(n, what, path);
    }
  }
  HANDLE Named(const std::wstring& path, HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return h;
    const DWORD error = GetLastError();
    std::lock_guard<std::mutex> lock(mutex_);
    names_[h] = path;
    SetLastError(error);
    return h;
  }
  std::wstring NameOf(HANDLE h) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = names_.find(h);
    return found == names_.end() ? L"?" : found->second;
  }
  bool Allow(const char* what, const std::wstring& path) {
    Look(what, path);
    const uint64_t n = ++changes_;
    if (n == killAt) TerminateProcess(GetCurrentProcess(), kKilled);
    if (record) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.push_back({what, path});
    }
    if ((refuseFrom != 0 && n >= refuseFrom) || n == refuseOnly) {
      SetLastError(ERROR_WRITE_PROTECT);  // not a lock: no retrying
      return false;
    }
    return true;
  }

  std::atomic<uint64_t> changes_{0}, accesses_{0};
  std::mutex mutex_, interfering_;
  std::map<HANDLE, std::wstring> names_;
  std::vector<Op> log_;
};

// A replaced file, a new file in a new folder whose name holds a 0x5C trail
// byte, a replaced file in an existing folder, and a name written twice.
const std::string kPatch = testarchive::Sealed(testarchive::LiteralArchive({{"Game02.exe", "new program"},
                                                                              {"新しい\\ソ表.txt", "fresh"},
                                                                              {"data\\table.dat", "new table"},
                                                                              {"version.txt", "first"},
                                                                              {"version.txt", "1.260\r\n"}}));

bool EndsWith(const std::wstring& s, const std::wstring& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Starts a copy of this test program, its output going nowhere. A start
// refused for a moment (Wine under load now and then refuses one) is tried
// again; one refused three times fails the test with the system's error.
PROCESS_INFORMATION Start(std::wstring command) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nowhere;
  PROCESS_INFORMATION pi{};
  DWORD error = 0;
  for (int attempt = 0; attempt < 3; ++attempt, Sleep(500)) {
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) break;
    error = GetLastError();
  }
  EXPECT_TRUE(pi.hProcess) << "the test program could not be started: error " << error;
  CloseHandle(nowhere);
  return pi;
}

std::wstring Self() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return self;
}

// Run by the crash-point test in a process of its own (PS_STAGING_CHILD
// names its folder): the patch run that ends itself at change PS_CRASH_AT.
TEST(StagingChild, RunsThePatchAndEndsItselfWhereTold) {
  char dir[MAX_PATH] = {}, at[32] = {};
  if (!GetEnvironmentVariableA("PS_STAGING_CHILD", dir, MAX_PATH)) GTEST_SKIP() << "run by CrashPoints";
  GetEnvironmentVariableA("PS_CRASH_AT", at, sizeof at);
  ScriptedDisk disk;
  disk.killAt = std::strtoull(at, nullptr, 10);
  const std::string folder = dir;
  PatchRunner runner(folder);
  EXPECT_TRUE(Succeeded(runner.Run(folder + "\\game", kPatch, disk)));
}

class StagedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::make_unique<TempDir>("staging");
    runner = std::make_unique<PatchRunner>(dir->Path());
    CreateDirectoryW(Wide(game()).c_str(), nullptr);
    CreateDirectoryW(Wide(game() + "\\data").c_str(), nullptr);
    WriteFile(game() + "\\Game02.exe", "old program");
    WriteFile(game() + "\\version.txt", "1.000\r\n");
    WriteFile(game() + "\\data\\table.dat", "old table");
    WriteFile(game() + "\\save.dat", "the player's own");
    before = Snap();
    ScriptedDisk disk;
    ASSERT_TRUE(Succeeded(Run(disk)));
    after = Snap();
    changes = disk.Changes();
    testfiles::RestoreSnapshot(Wide(game()), before);
  }
  void TearDown() override { runner.reset(); }
  std::string game() const { return *dir / "game"; }
  static std::wstring Wide(const std::string& s) { return text::Wide(s); }
  testfiles::Snapshot Snap() const { return testfiles::TakeSnapshot(Wide(game())); }
  Outcome Run(platform::Disk& disk) { return runner->Run(game(), kPatch, disk); }
  // The folder as before or after, with nothing of the run in it.
  ::testing::AssertionResult BeforeOrAfter() const {
    const testfiles::Snapshot now = Snap();
    if (now == before || now == after) return ::testing::AssertionSuccess();
    std::string names;
    for (const auto& [path, bytes] : now) names += text::Narrow(path) + "=" + bytes.substr(0, 20) + " ";
    return ::testing::AssertionFailure() << "neither before nor after: " << names;
  }
  // What an outcome claims of the folder holds; a run that left its journal
  // is finished by the next start, whose claim holds in turn.
  void ExpectTheTruth(Outcome outcome) {
    if (Succeeded(outcome)) {
      // A kept original that could not go yet, or the journal (its finished
      // mark refused), waits for the next start.
      if (Snap() != after) {
        const Recovered next = platform::Recover(game()).what;
        EXPECT_TRUE(next == Recovered::kNothing || next == Recovered::kCompleted) << static_cast<int>(next);
      }
      EXPECT_EQ(Snap(), after) << "success claimed";
      return;
    }
    if (outcome == Outcome::kRestoreIncomplete) {
      const Recovered next = platform::Recover(game()).what;
      ASSERT_TRUE(next == Recovered::kUndone || next == Recovered::kCompleted) << static_cast<int>(next);
      EXPECT_EQ(Snap(), next == Recovered::kCompleted ? after : before);
      return;
    }
    EXPECT_EQ(Snap(), before) << "failure " << static_cast<int>(outcome) << " claimed";
  }

  // The folder as a run cut off right after its commit mark leaves it: every
  // new file staged and the mark written, nothing moved or made.
  testfiles::Snapshot CutOffAfterTheCommitMark() {
    ScriptedDisk probe;
    probe.record = true;
    EXPECT_TRUE(Succeeded(Run(probe)));
    const std::vector<ScriptedDisk::Op> log = probe.Log();
    uint64_t commitFlushed = 0;
    for (uint64_t i = 0; i < log.size() && log[i].what != "move"; ++i)
      if (log[i].what == "flush") commitFlushed = i;
    testfiles::RestoreSnapshot(Wide(game()), before);
    ScriptedDisk dying;
    dying.refuseFrom = commitFlushed + 2;  // the change after the commit mark's flush
    EXPECT_EQ(Run(dying), Outcome::kRestoreIncomplete);
    return Snap();
  }

  std::unique_ptr<TempDir> dir;
  std::unique_ptr<PatchRunner> runner;
  testfiles::Snapshot before, after;
  uint64_t changes = 0;
};

TEST_F(StagedRun, ThePatchIsAppliedWithNothingOfTheRunLeft) {
  EXPECT_EQ(after.at(L"Game02.exe"), "0:new program");
  EXPECT_EQ(after.at(L"version.txt"), "0:1.260\r\n");
  EXPECT_EQ(after.at(L"新しい\\ソ表.txt"), "0:fresh");
  EXPECT_EQ(after.at(L"data\\table.dat"), "0:new table");
  EXPECT_EQ(after.at(L"save.dat"), "0:the player's own");
  EXPECT_EQ(after.size(), 7u);  // and the folders data and 新しい
  EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
  EXPECT_EQ(platform::Recover(game()).what, Recovered::kNothing);
}

// The process ends itself at each change of the disk in turn (the crash point
// between the files' check and the commit mark among them); the next start's
// recovery, itself cut off at each of its own changes and started again, must
// leave the folder as before or after.
TEST_F(StagedRun, AProcessEndedAtAnyChangeIsRecoveredAtTheNextStart) {
  SetEnvironmentVariableW(L"PS_STAGING_CHILD", Wide(dir->Path()).c_str());
  size_t undone = 0, completed = 0;
  for (uint64_t k = 1; k <= changes; ++k) {
    SCOPED_TRACE("process ended at change " + std::to_string(k) + " of " + std::to_string(changes));
    testfiles::RestoreSnapshot(Wide(game()), before);
    SetEnvironmentVariableW(L"PS_CRASH_AT", std::to_wstring(k).c_str());
    const PROCESS_INFORMATION pi = Start(L"\"" + Self() + L"\" --gtest_filter=StagingChild.RunsThePatch*");
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(code, ScriptedDisk::kKilled);
    const testfiles::Snapshot cut = Snap();
    for (uint64_t j = 1;; ++j) {
      testfiles::RestoreSnapshot(Wide(game()), cut);
      ScriptedDisk dying;
      dying.refuseFrom = j;
      const Recovered first = platform::Recover(game(), dying).what;
      if (dying.Changes() < j) {  // recovery ran to its end
        EXPECT_TRUE(first == Recovered::kNothing || first == Recovered::kUndone || first == Recovered::kCompleted);
        EXPECT_TRUE(BeforeOrAfter());
        // What the recovery says is what it did.
        if (first == Recovered::kUndone || first == Recovered::kCompleted) {
          EXPECT_EQ(Snap(), first == Recovered::kCompleted ? after : before);
        }
        (Snap() == after ? completed : undone)++;
        break;
      }
      platform::Recover(game());
      EXPECT_TRUE(BeforeOrAfter()) << "recovery ended at its change " << j;
    }
  }
  SetEnvironmentVariableW(L"PS_STAGING_CHILD", nullptr);
  // Both ways were taken: undone before the commit mark, completed after it.
  EXPECT_GT(undone, 0u);
  EXPECT_GT(completed, 0u);
}

// What a power cut may keep: renames survive without the data behind them
// unless that data was flushed first. Every new file is flushed before the
// journal's commit mark, and the mark before the first original moves.
TEST_F(StagedRun, EveryNewFileIsFlushedBeforeTheCommitMarkAndTheMarkBeforeAnyMove) {
  ScriptedDisk disk;
  disk.record = true;
  ASSERT_TRUE(Succeeded(Run(disk)));
  const std::vector<ScriptedDisk::Op> log = disk.Log();
  size_t firstMove = log.size(), planFlushed = log.size(), commitFlushed = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].what == "move" && firstMove == log.size()) firstMove = i;
    if (log[i].what == "flush" && planFlushed == log.size()) planFlushed = i;
    if (log[i].what == "flush" && firstMove == log.size()) commitFlushed = i;
  }
  ASSERT_LT(firstMove, log.size());
  // The commit mark: the journal's last write and flush before the first
  // move; only folders (the new ones, those that keep originals) are made
  // between them.
  ASSERT_GT(commitFlushed, planFlushed);
  EXPECT_EQ(log[commitFlushed - 1].what, "write");
  EXPECT_TRUE(EndsWith(log[commitFlushed - 1].path, L"\\journal"));
  for (size_t i = commitFlushed + 1; i < firstMove; ++i) EXPECT_EQ(log[i].what, "mkdir");
  size_t newFiles = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].what != "create" || !EndsWith(log[i].path, L".new")) continue;
    ++newFiles;
    EXPECT_GT(i, planFlushed) << "a new file before the plan was durable";
    size_t flushed = log.size();
    for (size_t j = i + 1; j < log.size(); ++j) {
      if (log[j].path != log[i].path) continue;
      if (log[j].what == "create" || log[j].what == "delete") break;  // written again: its next life counts
      if (log[j].what == "flushdata") flushed = j;
    }
    if (flushed == log.size()) continue;  // replaced by a later record of its name
    EXPECT_LT(flushed, commitFlushed - 1) << text::Narrow(log[i].path);
  }
  EXPECT_EQ(newFiles, 5u);
}

// Any one change the disk refuses (a full disk, a file that appeared, a
// failing device): the run either succeeds or puts everything back, or, when
// even putting back fails, says so and the next start finishes it.
TEST_F(StagedRun, ADiskThatRefusesAnyOneChangeLeavesBeforeOrAfter) {
  for (uint64_t j = 1; j <= changes + 1; ++j) {
    SCOPED_TRACE("change " + std::to_string(j) + " refused");
    testfiles::RestoreSnapshot(Wide(game()), before);
    ScriptedDisk disk;
    disk.refuseOnly = j;
    ExpectTheTruth(Run(disk));
    EXPECT_TRUE(testfiles::StagingLeftovers(Snap()).empty());
  }
}

// A scanner holding a file for a moment during the commit: waited out.
TEST_F(StagedRun, AMoveRefusedForAMomentIsTriedAgain) {
  ScriptedDisk disk;
  disk.lockedMoves = 5;
  EXPECT_TRUE(Succeeded(Run(disk)));
  EXPECT_EQ(disk.lockedMoves, 0);
  EXPECT_EQ(Snap(), after);
}

// What a virus scanner does to a fresh file: deletes a new file, cuts it,
// changes one byte of it, or deletes a placed one. `find` names the file it
// would act on now (empty when none); `act` is false when the file was held
// and nothing was done.
struct Scanner {
  const char* what;
  std::function<std::wstring()> find;
  std::function<bool(const std::wstring&)> act;
};

std::vector<Scanner> Scanners(const std::wstring& root, const testfiles::Snapshot& after) {
  // The first new file in the run's folder, or the first placed one.
  const auto findNew = [root]() -> std::wstring {
    WIN32_FIND_DATAW run, found;
    const HANDLE folders = FindFirstFileW((root + L"\\~ps*.stg").c_str(), &run);
    if (folders == INVALID_HANDLE_VALUE) return {};
    FindClose(folders);
    const std::wstring folder = root + L"\\" + run.cFileName;
    const HANDLE files = FindFirstFileW((folder + L"\\*.new").c_str(), &found);
    if (files == INVALID_HANDLE_VALUE) return {};
    FindClose(files);
    return folder + L"\\" + found.cFileName;
  };
  const auto findPlaced = [root, after]() -> std::wstring {
    for (const wchar_t* path : {L"Game02.exe", L"新しい\\ソ表.txt", L"data\\table.dat", L"version.txt"}) {
      const std::wstring full = root + L"\\" + path;
      if (Exists(text::Narrow(full)) && "0:" + ReadFile(text::Narrow(full)) == after.at(path)) return full;
    }
    return {};
  };
  // Rewrites a file as `change` makes it, when nobody holds it.
  const auto rewrite = [](const std::wstring& path, void (*change)(std::string&) noexcept) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string bytes(1 << 16, '\0');
    DWORD got = 0, put = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    change(bytes);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    SetEndOfFile(file);
    CloseHandle(file);
    return true;
  };
  const auto remove = [](const std::wstring& p) { return DeleteFileW(p.c_str()) != 0; };
  return {
      {"deletes a new file", findNew, remove},
      {"cuts a new file", findNew,
       [rewrite](const std::wstring& p) { return rewrite(p, [](std::string& b) noexcept { b = "c"; }); }},
      {"changes a byte of a new file", findNew,
       [rewrite](const std::wstring& p) {
         return rewrite(p, [](std::string& b) noexcept {
           if (!b.empty()) b[0] ^= 1;
         });
       }},
      {"deletes a placed file", findPlaced, remove},
  };
}

// Runs `run` once for every access at which `scanner` can act: each time it
// acts at the first access it can after the last time's, until its `stop`-th
// write to the journal (after which the files are proven: what happens after
// the run's last check is the player's). `check` looks at each outcome.
template <class Run, class Check>
size_t AtEveryAccess(const Scanner& scanner, int stop, const std::function<void()>& reset, Run run, Check check) {
  size_t runs = 0;
  for (uint64_t from = 1;; ++runs) {
    SCOPED_TRACE(std::string("a scanner ") + scanner.what + " from access " + std::to_string(from));
    reset();
    ScriptedDisk disk;
    uint64_t actedAt = 0;
    int journalWrites = 0;
    disk.interfere = [&](uint64_t n, const char* what, const std::wstring& path) {
      if (std::string(what) == "write" && EndsWith(path, L"\\journal")) ++journalWrites;
      if (n < from || actedAt || journalWrites >= stop) return;
      const std::wstring found = scanner.find();
      if (!found.empty() && scanner.act(found)) actedAt = n;
    };
    const auto result = run(disk);
    if (!actedAt) return runs;
    from = actedAt + 1;
    check(result);
    if (::testing::Test::HasFailure()) return runs;
  }
}

// A scanner at any access of the run in turn, until the run's placed mark. A
// new file is written once more; after that, or once files are placed, the
// run puts everything back and names the file.
TEST_F(StagedRun, AScannerAtAnyAccessNeverLeavesAnythingButBeforeOrAfter) {
  std::map<Outcome, size_t> outcomes;
  size_t runs = 0;
  for (const Scanner& scanner : Scanners(Wide(game()), after)) {
    runs += AtEveryAccess(
        scanner, 3,  // the plan, commit and placed marks
        [&] { testfiles::RestoreSnapshot(Wide(game()), before); }, [&](ScriptedDisk& disk) { return Run(disk); },
        [&](Outcome outcome) {
          ++outcomes[Succeeded(outcome) ? Outcome::kDone : outcome];
          ExpectTheTruth(outcome);
          EXPECT_TRUE(testfiles::StagingLeftovers(Snap()).empty());
          if (outcome == Outcome::kStagedFileChanged || outcome == Outcome::kPlacedFileChanged) {
            EXPECT_FALSE(runner->report.file.empty());
          }
        });
  }
  // Each way the run answers a scanner was seen: a file written again, and
  // a placed file missing.
  EXPECT_GT(outcomes[Outcome::kDone], 0u);
  EXPECT_GT(outcomes[Outcome::kPlacedFileChanged], 0u);
  EXPECT_GT(runs, 20u);
}

// The next start finishing a run cut off right after its commit mark, with
// a scanner at each of its accesses in turn: it completes the run, undoes it,
// or says it could not yet, and the folder is what it says.
TEST_F(StagedRun, AScannerDuringTheRecoveryLeavesTheFolderAsTheRecoverySays) {
  const testfiles::Snapshot cut = CutOffAfterTheCommitMark();
  std::map<Recovered, size_t> seen;
  for (const Scanner& scanner : Scanners(Wide(game()), after)) {
    AtEveryAccess(
        scanner, 1,  // the placed mark
        [&] { testfiles::RestoreSnapshot(Wide(game()), cut); },
        [&](ScriptedDisk& disk) { return platform::Recover(game(), disk).what; },
        [&](Recovered recovered) {
          ++seen[recovered];
          if (recovered == Recovered::kIncomplete) recovered = platform::Recover(game()).what;
          ASSERT_TRUE(recovered == Recovered::kUndone || recovered == Recovered::kCompleted)
              << static_cast<int>(recovered);
          EXPECT_EQ(Snap(), recovered == Recovered::kCompleted ? after : before);
        });
  }
  // Whatever the scanner took from the run's way forward, it went back.
  EXPECT_GT(seen[Recovered::kUndone], 10u);
}

// A scanner that removes a new file every time it is written: the run
// stops before changing anything and names the file.
TEST_F(StagedRun, ANewFileRemovedAgainAfterItIsWrittenAgainStopsTheRunNamingIt) {
  ScriptedDisk disk;
  disk.interfere = [&](uint64_t, const char* what, const std::wstring& path) {
    if (std::string(what) == "openread" && EndsWith(path, L"00000.new")) DeleteFileW(path.c_str());
  };
  EXPECT_EQ(Run(disk), Outcome::kStagedFileChanged);
  EXPECT_EQ(runner->report.file, game() + "\\Game02.exe");
  EXPECT_EQ(Snap(), before);
}

// The journal as the run left it once every file was staged and the commit
// mark written, then cut at every length or with any one byte changed: only
// its valid part is followed, and the folder ends as before or after.
TEST_F(StagedRun, AJournalCutOrDamagedAnywhereIsFollowedOnlyAsFarAsItIsValid) {
  const testfiles::Snapshot staged = CutOffAfterTheCommitMark();
  std::wstring journal;
  for (const auto& [path, bytes] : staged)
    if (EndsWith(path, L"\\journal")) journal = path;
  ASSERT_FALSE(journal.empty());
  const std::string full = staged.at(journal).substr(2);  // after "0:"
  auto recoverWith = [&](const std::string& bytes) {
    testfiles::Snapshot changed = staged;
    changed[journal] = "0:" + bytes;
    testfiles::RestoreSnapshot(Wide(game()), changed);
    platform::Recover(game());
    return Snap();
  };
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    EXPECT_EQ(recoverWith(full.substr(0, cut)), cut == full.size() ? after : before);
  }
  for (size_t at = 0; at < full.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at) + " changed");
    std::string damaged = full;
    damaged[at] ^= 0x20;
    EXPECT_EQ(recoverWith(damaged), before);
  }
  // A torn mark after the valid part is cut before the next one is written.
  EXPECT_EQ(recoverWith(full + std::string("\x03\x00\x00", 3)), after);
}

// A program running from the game folder can be moved aside but not deleted:
// the game started while the run worked. The run completes, the kept-aside
// original is left to the restart and the journal stays, and the next start
// removes both once the program has ended.
TEST_F(StagedRun, AnOriginalThatCannotBeDeletedIsLeftToTheRestartAndTheNextStart) {
  const std::wstring program = Wide(game() + "\\Game02.exe");
  ASSERT_TRUE(CopyFileW(Self().c_str(), program.c_str(), FALSE));
  ScriptedDisk disk;
  disk.record = true;
  PROCESS_INFORMATION pi{};
  // The copy runs a test that waits until this one lets it end: it stays mapped meanwhile.
  const std::wstring endName = L"ps-staging-wait-" + std::to_wstring(GetCurrentProcessId());
  const platform::FileHandle end(CreateEventW(nullptr, TRUE, FALSE, endName.c_str()));
  ASSERT_TRUE(end);
  disk.interfere = [&](uint64_t, const char* what, const std::wstring&) {
    if (pi.hProcess || std::string(what) != "move") return;
    SetEnvironmentVariableW(L"PS_STAGING_WAIT", endName.c_str());
    pi = Start(L"\"" + program + L"\" --gtest_filter=StagingChild.WaitsUntilLetGo");
    SetEnvironmentVariableW(L"PS_STAGING_WAIT", nullptr);
    Sleep(1500);
  };
  EXPECT_TRUE(Succeeded(Run(disk)));
  ASSERT_TRUE(pi.hProcess);
  size_t scheduled = 0;
  for (const ScriptedDisk::Op& op : disk.Log()) scheduled += op.what == "atrestart";
  EXPECT_EQ(scheduled, 4u);  // the original, its folder of kept originals, the journal, the run's folder
  EXPECT_EQ(ReadFile(game() + "\\Game02.exe"), "new program");
  EXPECT_FALSE(testfiles::StagingLeftovers(Snap()).empty());
  SetEvent(end.get());
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << "the program's test failed: " << code;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(platform::Recover(game()).what, Recovered::kNothing);
  EXPECT_EQ(Snap(), after);
}

// The running game of the test above: its own copy of this program, which
// waits until that test lets it end.
TEST(StagingChild, WaitsUntilLetGo) {
  wchar_t name[64] = {};
  if (!GetEnvironmentVariableW(L"PS_STAGING_WAIT", name, 64)) GTEST_SKIP() << "run by the test above";
  const platform::FileHandle end(OpenEventW(SYNCHRONIZE, FALSE, name));
  ASSERT_TRUE(end);
  EXPECT_EQ(WaitForSingleObject(end.get(), 60000), WAIT_OBJECT_0);
}

// A junction (as Windows shows one; Wine makes none) on any level the run
// would pass: the game folder itself, a folder of its files, the run's own
// folder, a folder above it. Nothing is touched, and the folder is named.
TEST_F(StagedRun, AJunctionOnAnyLevelStopsTheRunBeforeAnythingIsTouched) {
  for (const std::string& level : {game(), game() + "\\data", dir->Path()}) {
    SCOPED_TRACE(level);
    ScriptedDisk disk;
    disk.links.insert(Wide(level));
    EXPECT_EQ(Run(disk), Outcome::kLinkedFolder);
    EXPECT_EQ(runner->report.file, level);
    EXPECT_EQ(Snap(), before);
  }
}

// A game folder so long that a path of the run would pass what Windows
// opens (Wine opens it, Windows does not): the longest file is named with its
// length, and how long the game folder may be.
TEST_F(StagedRun, APathLongerThanWindowsOpensIsNamedBeforeAnythingIsTouched) {
  std::string deep = dir->Path();
  while (archive::PathChars(deep) <= archive::LongestGameFolderForRun()) {
    deep += "\\" + std::string(40, 'x');
    CreateDirectoryW(Wide(deep).c_str(), nullptr);
  }
  WriteFile(deep + "\\Game02.exe", "old program");
  const testfiles::Snapshot there = testfiles::TakeSnapshot(Wide(deep));
  EXPECT_EQ(runner->Run(deep, kPatch), Outcome::kPathTooLong);
  // Game02.exe is the one whose original is kept aside, at the longest path;
  // the run's own folder allows a little less.
  EXPECT_EQ(runner->report.file, deep + "\\Game02.exe");
  EXPECT_EQ(runner->report.pathChars, archive::PathChars(deep) + 11);
  EXPECT_EQ(runner->report.gameFolderChars, archive::LongestGameFolderForRun());
  EXPECT_EQ(testfiles::TakeSnapshot(Wide(deep)), there);
}

// What the next start finds of a cut-off run, and what it makes of it.
TEST_F(StagedRun, ACutOffRunsFolderIsTrustedOnlyAsFarAsItProvesItself) {
  const std::string staging = game() + "\\" + archive::StagingName(0x1234);
  const std::string garbage = "not a journal at all";
  archive::JournalPlan older{archive::StagingName(0x1234), {}, {{"Game02.exe", true, {}}}};
  std::string olderJournal;
  for (uint8_t b : archive::EncodePlan(older)) olderJournal += static_cast<char>(b);
  olderJournal[8] = '1';  // "PSJ1", resealed below
  const uint32_t crc = archive::Crc32(0, reinterpret_cast<const uint8_t*>(olderJournal.data()), olderJournal.size() - 4);
  for (int i = 0; i < 4; ++i) olderJournal[olderJournal.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
  const struct {
    const char* what;
    std::string journal;
    std::map<std::string, std::string> staged;  // below the run's folder
    const char* removed = nullptr;              // a game file missing (moved aside before the cut)
    bool patched;                               // the run goes on and patches the game
    Recovered recovered;
  } cases[] = {
      {"a garbage journal alone: removed, nothing claimed", garbage, {}, nullptr, true, Recovered::kNothing},
      {"a garbage journal and a new file", garbage, {{"00000.new", "x"}}, nullptr, true, Recovered::kNothing},
      {"no journal, a kept original whose name is free: put back", "", {{"o\\Game02.exe", "old program"}},
       "Game02.exe", true, Recovered::kPutBack},
      {"a garbage journal, a kept original whose name is taken: kept", garbage,
       {{"o\\data\\table.dat", "older table"}}, nullptr, true, Recovered::kKept},
      {"a journal of another version: nothing touched", olderJournal, {{"o\\Game02.exe", "old program"}},
       "Game02.exe", false, Recovered::kOtherFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testfiles::RestoreSnapshot(Wide(game()), before);
    CreateDirectoryW(Wide(staging).c_str(), nullptr);
    CreateDirectoryW(Wide(staging + "\\o").c_str(), nullptr);
    CreateDirectoryW(Wide(staging + "\\o\\data").c_str(), nullptr);
    if (!c.journal.empty()) WriteFile(staging + "\\journal", c.journal);
    for (const auto& [path, bytes] : c.staged) WriteFile(staging + "\\" + path, bytes);
    if (c.removed) DeleteFileW(Wide(game() + "\\" + c.removed).c_str());
    const testfiles::Snapshot planted = Snap();
    const Outcome outcome = runner->Run(game(), kPatch);
    EXPECT_EQ(Succeeded(outcome), c.patched);
    if (!c.patched) {
      EXPECT_EQ(outcome, Outcome::kRecoveryIncomplete);
    }
    EXPECT_EQ(runner->report.recovery.what, c.recovered);
    if (c.recovered == Recovered::kOtherFormat) {
      EXPECT_EQ(Snap(), planted);
      EXPECT_EQ(runner->report.recovery.folder, staging);
      continue;
    }
    testfiles::Snapshot now = Snap();
    if (c.recovered == Recovered::kKept) {
      // The original stays, where the message says, and nothing acts on it again.
      const std::string kept = archive::KeptFolderName(archive::StagingName(0x1234));
      EXPECT_EQ(runner->report.recovery.folder, game() + "\\" + kept);
      EXPECT_EQ(runner->report.recovery.files, std::vector<std::string>{game() + "\\data\\table.dat"});
      EXPECT_EQ(now.at(Wide(kept + "\\o\\data\\table.dat")), "0:older table");
      for (auto it = now.begin(); it != now.end();) it = it->first.rfind(Wide(kept), 0) == 0 ? now.erase(it) : ++it;
    }
    EXPECT_EQ(now, after);
  }
}

// A scanner holding a cut-off run's journal for a moment is waited out; a
// setup that keeps it open is another one at work, and nothing is touched.
TEST_F(StagedRun, AJournalHeldForAMomentIsWaitedOutAndOneHeldLongerIsAnotherSetup) {
  // Cut off right after the commit mark: the next start completes the run.
  for (const DWORD held : {1000u, 5000u}) {
    SCOPED_TRACE("held for " + std::to_string(held) + " ms");
    testfiles::RestoreSnapshot(Wide(game()), before);
    const testfiles::Snapshot cutOff = CutOffAfterTheCommitMark();
    std::wstring journal;
    for (const auto& [path, bytes] : cutOff)
      if (EndsWith(path, L"\\journal")) journal = Wide(game()) + L"\\" + path;
    HANDLE holder = CreateFileW(journal.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::thread release([&]() noexcept {
      Sleep(held);
      CloseHandle(holder);
    });
    const Outcome outcome = runner->Run(game(), kPatch);
    release.join();
    if (held < 2000) {
      EXPECT_TRUE(Succeeded(outcome));
      EXPECT_EQ(runner->report.recovery.what, Recovered::kCompleted);
      EXPECT_EQ(Snap(), after);
    } else {
      EXPECT_EQ(outcome, Outcome::kRecoveryIncomplete);
      EXPECT_EQ(runner->report.recovery.what, Recovered::kInUse);
      EXPECT_EQ(Snap(), cutOff);
      platform::Recover(game());
    }
  }
}

}  // namespace
