// The staged patch run against a cut-off at every instant: the process ended
// at each of its changes of the disk, a disk that refuses any one of them, a
// journal cut or damaged anywhere. Whatever happens, the game folder ends as
// it was before the run or as the patch makes it, with nothing of the run in it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

#include "FileTree.h"
#include "LiteralArchive.h"
#include "TempDir.h"
#include "platform/FileStreams.h"
#include "platform/Staging.h"
#include "run/PatchRun.h"

using namespace wintest;

namespace {

// The system's disk with a script: every change is counted (and, if asked,
// recorded); the process ends itself at change `killAt`, or every change from
// `refuseFrom` on is refused untouched (a process that died there, seen from
// the disk), or change `refuseOnly` alone is refused.
class ScriptedDisk : public filesys::Disk {
 public:
  uint64_t killAt = 0, refuseFrom = 0, refuseOnly = 0;
  int lockedMoves = 0;  // so many moves fail first as a scanner's brief lock makes them
  bool record = false;
  struct Op {
    std::string what;
    std::wstring path;
  };

  uint64_t Count() const { return count_; }
  std::vector<Op> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

  HANDLE CreateNewFile(const std::wstring& path) override {
    if (!Allow("create", path)) return INVALID_HANDLE_VALUE;
    const HANDLE h = Disk::CreateNewFile(path);
    std::lock_guard<std::mutex> lock(mutex_);
    names_[h] = path;
    return h;
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

 private:
  std::wstring NameOf(HANDLE h) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = names_.find(h);
    return found == names_.end() ? L"journal (opened)" : found->second;
  }
  bool Allow(const char* what, const std::wstring& path) {
    const uint64_t n = ++count_;
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

 public:
  static constexpr UINT kKilled = 77;

 private:
  std::atomic<uint64_t> count_{0};
  std::mutex mutex_;
  std::map<HANDLE, std::wstring> names_;
  std::vector<Op> log_;
};

class Silent : public patchrun::Progress {};

// A replaced file, a new file in a new folder whose name holds a 0x5C trail
// byte, and a name written twice.
const std::string kPatch = testarchive::Sealed(testarchive::LiteralArchive({{"Game02.exe", "new program"},
                                                                              {"新しい\\ソ表.txt", "fresh"},
                                                                              {"version.txt", "first"},
                                                                              {"version.txt", "1.260\r\n"}}));

// Starts a copy of this test program, its output going nowhere.
PROCESS_INFORMATION Start(std::wstring command) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nowhere;
  PROCESS_INFORMATION pi{};
  EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(nowhere);
  return pi;
}

int RunOn(const std::string& archivePath, const std::string& game, filesys::Disk& disk) {
  auto source = filesys::FileSource::Open(archivePath);
  if (!source) return -1;
  archive::Ring ring;
  Silent progress;
  return patchrun::ExtractArchiveFile(*source, game, ring, progress, disk).count;
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
  EXPECT_GT(RunOn(folder + "\\patch.smf", folder + "\\game", disk), 0);
}

class StagedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::make_unique<TempDir>("staging");
    WriteFile(*dir / "patch.smf", kPatch);
    CreateDirectoryW(text::Wide(game()).c_str(), nullptr);
    WriteFile(game() + "\\Game02.exe", "old program");
    WriteFile(game() + "\\version.txt", "1.000\r\n");
    WriteFile(game() + "\\save.dat", "the player's own");
    before = Snap();
    ScriptedDisk disk;
    ASSERT_EQ(RunOn(*dir / "patch.smf", game(), disk), 4);
    after = Snap();
    changes = disk.Count();
    testfiles::RestoreSnapshot(Wide(game()), before);
  }
  std::string game() const { return *dir / "game"; }
  static std::wstring Wide(const std::string& s) { return text::Wide(s); }
  testfiles::Snapshot Snap() const { return testfiles::TakeSnapshot(Wide(game())); }
  // The folder as before or as after, with nothing of the run in it.
  ::testing::AssertionResult BeforeOrAfter() const {
    const testfiles::Snapshot now = Snap();
    if (now == before || now == after) return ::testing::AssertionSuccess();
    std::string names;
    for (const auto& [path, bytes] : now) names += text::Narrow(path) + " ";
    return ::testing::AssertionFailure() << "neither before nor after: " << names;
  }

  std::unique_ptr<TempDir> dir;
  testfiles::Snapshot before, after;
  uint64_t changes = 0;
};

TEST_F(StagedRun, ThePatchIsAppliedWithNothingOfTheRunLeft) {
  EXPECT_EQ(after.at(L"Game02.exe"), "0:new program");
  EXPECT_EQ(after.at(L"version.txt"), "0:1.260\r\n");
  EXPECT_EQ(after.at(L"新しい\\ソ表.txt"), "0:fresh");
  EXPECT_EQ(after.at(L"save.dat"), "0:the player's own");
  EXPECT_EQ(after.size(), 5u);
  EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
  EXPECT_EQ(filesys::Recover(game()), filesys::Recovered::kNothing);
}

// The process ends itself at each change of the disk in turn; the next start's
// recovery, itself cut off at each of its own changes and started again, must
// leave the folder as before or after.
TEST_F(StagedRun, AProcessEndedAtAnyChangeIsRecoveredAtTheNextStart) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  SetEnvironmentVariableW(L"PS_STAGING_CHILD", Wide(dir->Path()).c_str());
  size_t undone = 0, completed = 0;
  for (uint64_t k = 1; k <= changes; ++k) {
    SCOPED_TRACE("process ended at change " + std::to_string(k) + " of " + std::to_string(changes));
    testfiles::RestoreSnapshot(Wide(game()), before);
    SetEnvironmentVariableW(L"PS_CRASH_AT", std::to_wstring(k).c_str());
    const PROCESS_INFORMATION pi = Start(L"\"" + std::wstring(self) + L"\" --gtest_filter=StagingChild.*");
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
      const filesys::Recovered first = filesys::Recover(game(), dying);
      if (dying.Count() < j) {  // recovery ran to its end
        EXPECT_NE(first, filesys::Recovered::kIncomplete);
        EXPECT_TRUE(BeforeOrAfter());
        (Snap() == after ? completed : undone)++;
        break;
      }
      filesys::Recover(game());
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
  ASSERT_EQ(RunOn(*dir / "patch.smf", game(), disk), 4);
  const std::vector<ScriptedDisk::Op> log = disk.Log();
  auto endsWith = [](const std::wstring& s, const wchar_t* end) {
    return s.size() >= wcslen(end) && s.compare(s.size() - wcslen(end), wcslen(end), end) == 0;
  };
  size_t firstMove = log.size(), planFlushed = log.size(), commitFlushed = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].what == "move" && firstMove == log.size()) firstMove = i;
    if (log[i].what == "flush" && planFlushed == log.size()) planFlushed = i;
    if (log[i].what == "flush" && firstMove == log.size()) commitFlushed = i;
  }
  ASSERT_LT(firstMove, log.size());
  // The commit mark: the journal's last write and flush before the first
  // move; only the new folders are made between them.
  ASSERT_GT(commitFlushed, planFlushed);
  EXPECT_EQ(log[commitFlushed - 1].what, "write");
  EXPECT_TRUE(endsWith(log[commitFlushed - 1].path, L"\\journal"));
  for (size_t i = commitFlushed + 1; i < firstMove; ++i) EXPECT_EQ(log[i].what, "mkdir");
  size_t newFiles = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].what != "create" || !endsWith(log[i].path, L".new")) continue;
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
  EXPECT_EQ(newFiles, 4u);
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
    auto source = filesys::FileSource::Open(*dir / "patch.smf");
    archive::Ring ring;
    Silent progress;
    const patchrun::ExtractResult result = patchrun::ExtractArchiveFile(*source, game(), ring, progress, disk);
    if (result.count > 0) {
      // A kept-aside original or the journal that could not go waits for the next start.
      if (Snap() != after) {
        EXPECT_EQ(filesys::Recover(game()), filesys::Recovered::kNothing);
      }
      EXPECT_EQ(Snap(), after);
    } else if (result.restored) {
      EXPECT_EQ(Snap(), before);
    } else {
      EXPECT_EQ(filesys::Recover(game()), filesys::Recovered::kUndone);
      EXPECT_EQ(Snap(), before);
    }
  }
}

// A scanner holding a file for a moment during the commit: waited out.
TEST_F(StagedRun, AMoveRefusedForAMomentIsTriedAgain) {
  ScriptedDisk disk;
  disk.lockedMoves = 5;
  EXPECT_EQ(RunOn(*dir / "patch.smf", game(), disk), 4);
  EXPECT_EQ(disk.lockedMoves, 0);
  EXPECT_EQ(Snap(), after);
}

// The journal as the run left it once every file was staged and the commit
// mark written, then cut at every length or with any one byte changed: only
// its valid part is followed, and the folder ends as before or after.
TEST_F(StagedRun, AJournalCutOrDamagedAnywhereIsFollowedOnlyAsFarAsItIsValid) {
  // Stop the run right after its commit mark: all staged, nothing moved or made.
  ScriptedDisk probe;
  probe.record = true;
  ASSERT_EQ(RunOn(*dir / "patch.smf", game(), probe), 4);
  const std::vector<ScriptedDisk::Op> log = probe.Log();
  uint64_t commitFlushed = 0;
  for (uint64_t i = 0; i < log.size() && log[i].what != "move"; ++i)
    if (log[i].what == "flush") commitFlushed = i;
  testfiles::RestoreSnapshot(Wide(game()), before);
  ScriptedDisk dying;
  dying.refuseFrom = commitFlushed + 2;  // the change after the commit mark's flush
  EXPECT_EQ(RunOn(*dir / "patch.smf", game(), dying), 0);
  const testfiles::Snapshot staged = Snap();
  std::wstring journal;
  for (const auto& [path, bytes] : staged)
    if (path.size() > 8 && path.compare(path.size() - 8, 8, L"\\journal") == 0) journal = path;
  ASSERT_FALSE(journal.empty());
  const std::string full = staged.at(journal).substr(2);  // after "0:"
  auto recoverWith = [&](const std::string& bytes) {
    testfiles::Snapshot changed = staged;
    changed[journal] = "0:" + bytes;
    testfiles::RestoreSnapshot(Wide(game()), changed);
    filesys::Recover(game());
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
}

// A program running from the game folder can be moved aside but not deleted:
// the run completes, the kept-aside original is left to the restart and the
// journal stays, and the next start removes both once the program has ended.
TEST_F(StagedRun, AnOriginalThatCannotBeDeletedIsLeftToTheRestartAndTheNextStart) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring program = Wide(game() + "\\Game02.exe");
  ASSERT_TRUE(CopyFileW(self, program.c_str(), FALSE));
  // The copy waits in a test that skips only after a while: it stays mapped.
  SetEnvironmentVariableW(L"PS_STAGING_WAIT", L"1");
  const PROCESS_INFORMATION pi = Start(L"\"" + program + L"\" --gtest_filter=StagingChild.Waits");
  SetEnvironmentVariableW(L"PS_STAGING_WAIT", nullptr);
  Sleep(1500);
  ScriptedDisk disk;
  disk.record = true;
  EXPECT_EQ(RunOn(*dir / "patch.smf", game(), disk), 4);
  size_t scheduled = 0;
  for (const ScriptedDisk::Op& op : disk.Log()) scheduled += op.what == "atrestart";
  EXPECT_EQ(scheduled, 3u);  // the original, the journal, the staging folder
  EXPECT_EQ(ReadFile(game() + "\\Game02.exe"), "new program");
  EXPECT_FALSE(testfiles::StagingLeftovers(Snap()).empty());
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(filesys::Recover(game()), filesys::Recovered::kNothing);
  EXPECT_EQ(Snap(), after);
}

TEST(StagingChild, Waits) {
  if (!GetEnvironmentVariableW(L"PS_STAGING_WAIT", nullptr, 0)) GTEST_SKIP() << "run by the test above";
  Sleep(60000);
}

}  // namespace
