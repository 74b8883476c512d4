// The patch run into real folders, as the start button runs it: every file
// below the game folder, folders with Japanese names made, and on every
// failure the game folder exactly as it was.
#include <gtest/gtest.h>

#include "FileTree.h"
#include "LiteralArchive.h"
#include "PatchRunner.h"
#include "TempDir.h"
#include "run/Texts.h"

using namespace wintest;

namespace {

using patchrun::Outcome;
using testarchive::Sealed;

using Record = testarchive::File;
std::string Archive(const std::vector<Record>& records) { return testarchive::LiteralArchive(records); }

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::make_unique<TempDir>("extract");
    CreateDirectoryW(text::Wide(game()).c_str(), nullptr);
    WriteFile(game() + "\\Game02.exe", "old game");
    runner = std::make_unique<PatchRunner>(dir->Path());
  }
  std::string game() const { return *dir / "game"; }
  Outcome Extract(const std::string& archive, const std::string& target = {}) {
    const Outcome outcome = runner->Run(target.empty() ? game() : target, archive);
    // The scratch file went with the run.
    EXPECT_FALSE(Exists(*dir / "work.tmp"));
    return outcome;
  }
  std::unique_ptr<TempDir> dir;
  std::unique_ptr<PatchRunner> runner;
};

TEST_F(Extraction, WritesEveryFileBelowTheTargetCreatingFoldersWithJapaneseNames) {
  WriteFile(game() + "\\Game02.exe", "an old and longer program file");
  EXPECT_TRUE(Succeeded(Extract(Archive({{"Game02.exe", "new"},
                                         {"データ\\ソ表\\能力.dat", "deep"},
                                         {"データ\\表", "beside"},
                                         {"Game02.exe", "written twice"}}))));
  EXPECT_EQ(ReadFile(game() + "\\Game02.exe"), "written twice");
  EXPECT_EQ(ReadFile(game() + "\\データ\\ソ表\\能力.dat"), "deep");
  EXPECT_EQ(ReadFile(game() + "\\データ\\表"), "beside");
  EXPECT_TRUE(testfiles::StagingLeftovers(testfiles::TakeSnapshot(text::Wide(game()))).empty());
}

TEST_F(Extraction, EndingRecordsStopTheLoopUncounted) {
  EXPECT_TRUE(Succeeded(Extract(Archive({{"a.txt", "a"}, {"empty.txt", ""}, {"b.txt", "b"}}))));
  EXPECT_EQ(ReadFile(game() + "\\empty.txt"), "");
  EXPECT_FALSE(Exists(game() + "\\b.txt"));
  EXPECT_EQ(Extract(Archive({{"", ""}, {"c.txt", "c"}})), Outcome::kFailed);
  EXPECT_FALSE(Exists(game() + "\\c.txt"));
  EXPECT_EQ(Extract(""), Outcome::kFailed);
}

// A failure anywhere in a run leaves the game folder as it was: the same
// names, the same bytes, no new folders, no temporary or kept-aside files.
TEST_F(Extraction, EveryFailureLeavesTheGameFolderExactlyAsItWas) {
  const std::vector<Record> early = {{"Game02.exe", "new program"},
                                     {"データ\\keep.bin", std::string(20000, 'n')},
                                     {"新\\ソ表\\a.txt", "new folder"}};
  auto with = [&](std::vector<Record> late) {
    std::vector<Record> all = early;
    all.insert(all.end(), late.begin(), late.end());
    return Archive(all);
  };
  std::string damaged = with({{"late.txt", std::string(5000, 'z')}});
  damaged.resize(damaged.size() - 3);
  std::string tampered = Sealed(with({{"late.txt", "late"}}));
  tampered[40] ^= 1;
  struct Case {
    const char* what;
    std::string archive;
    Outcome outcome;
    const char* folderInTheWay = nullptr;  // made below the game folder first
    const char* fileInTheWay = nullptr;
    const char* readOnly = nullptr;        // an original made read-only
    const char* heldOpen = nullptr;        // an original held open without sharing
  };
  std::vector<Case> cases = {
      {"a stream cut short in the last record", damaged, Outcome::kFailed},
      {"a folder where the last file goes", with({{"late.txt", "late"}}), Outcome::kFailed, "late.txt"},
      {"a file where a late sub-folder goes", with({{"sub\\x.txt", "x"}}), Outcome::kFolderFailed, nullptr, "sub"},
      {"a trailer that does not match", tampered, Outcome::kFailed},
      {"a read-only original", with({{"readme.txt", "new"}}), Outcome::kReadOnly, nullptr, nullptr, "readme.txt"},
      {"an original held open without sharing", with({{"readme.txt", "new"}}), Outcome::kInUse, nullptr, nullptr,
       nullptr, "データ\\keep.bin"},
      {"a record cut inside its size field", with({}) + "\x05" "ab", Outcome::kFailed},
  };
  for (const char* name : {"..\\up.txt", "C:\\abs.txt", "\\root.txt", "a\\\\b.txt", "sub\\..\\..\\x"}) {
    cases.push_back({name, with({{name, "bad"}}), Outcome::kFailed});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Exists(*dir / "up.txt"));
    testfiles::RemoveTree(text::Wide(game()));
    CreateDirectoryW(text::Wide(game()).c_str(), nullptr);
    WriteFile(game() + "\\Game02.exe", "old game");
    CreateDirectoryW(text::Wide(game() + "\\データ").c_str(), nullptr);
    WriteFile(game() + "\\データ\\keep.bin", std::string(13000, 'k'));
    WriteFile(game() + "\\readme.txt", "old readme");
    if (c.folderInTheWay) CreateDirectoryW(text::Wide(game() + "\\" + c.folderInTheWay).c_str(), nullptr);
    if (c.fileInTheWay) WriteFile(game() + "\\" + c.fileInTheWay, "in the way");
    if (c.readOnly) SetFileAttributesW(text::Wide(game() + "\\" + c.readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    const testfiles::Snapshot before = testfiles::TakeSnapshot(text::Wide(game()));
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.heldOpen) {
      held = CreateFileW(text::Wide(game() + "\\" + c.heldOpen).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(Extract(c.archive), c.outcome);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    const testfiles::Snapshot after = testfiles::TakeSnapshot(text::Wide(game()));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
    if (c.readOnly) SetFileAttributesW(text::Wide(game() + "\\" + c.readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// The scratch file goes beside the program: where its folder has no CP932
// name in any form, the player is told so and nothing is written anywhere.
TEST_F(Extraction, AProgramFolderWithoutACp932NameStopsTheRunBeforeAnythingIsWritten) {
  const testfiles::Snapshot before = testfiles::TakeSnapshot(text::Wide(dir->Path()));
  PatchRunner unnamed("");
  const Outcome outcome = unnamed.Run(game(), Archive({{"Game02.exe", "new"}}));
  EXPECT_EQ(outcome, Outcome::kBadProgramFolderName);
  EXPECT_FALSE(patchrun::EndsProgram(outcome));
  EXPECT_EQ(patchrun::Messages(outcome), std::vector<std::string>{texts::kUnusableProgramFolderName});
  EXPECT_EQ(testfiles::TakeSnapshot(text::Wide(dir->Path())), before);
}

// Drive S: of the test prefix is a small RAM disk (scripts/test mounts it
// where the machine allows): too small for the staged files, which is found
// before anything is written.
TEST_F(Extraction, ADiskTooSmallLeavesTheGameFolderAsItWas) {
  ULARGE_INTEGER freeBytes{}, total{};
  if (!GetDiskFreeSpaceExW(L"S:\\", &freeBytes, &total, nullptr) || total.QuadPart > (64u << 20)) {
    GTEST_SKIP() << "no small disk at S: (mounting a tmpfs needs root; see scripts/lib.sh)";
  }
  const std::string target = "S:\\fullgame";
  testfiles::RemoveTree(text::Wide(target));
  ASSERT_TRUE(CreateDirectoryW(text::Wide(target).c_str(), nullptr));
  WriteFile(target + "\\Game02.exe", std::string(13000, 'g'));
  const testfiles::Snapshot before = testfiles::TakeSnapshot(text::Wide(target));
  EXPECT_EQ(Extract(Archive({{"Game02.exe", std::string(20000, 'n')},
                             {"big.bin", std::string(static_cast<size_t>(total.QuadPart), 'b')}}),
                    target),
            Outcome::kNoSpace);
  const testfiles::Snapshot after = testfiles::TakeSnapshot(text::Wide(target));
  EXPECT_EQ(after, before);
  EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
  testfiles::RemoveTree(text::Wide(target));
}

TEST_F(Extraction, TheDemoPatchYieldsAllItsFiles) {
  wchar_t path[1024] = {};
  if (!GetEnvironmentVariableW(L"PS_DEMO_ARCHIVE", path, 1024)) GTEST_SKIP() << "PS_DEMO_ARCHIVE not set";
  std::wstring archive = path;
  for (auto& c : archive)
    if (c == L'/') c = L'\\';
  if (archive[0] == L'\\') archive = L"Z:" + archive;
  EXPECT_TRUE(Succeeded(Extract(ReadFile(text::Narrow(archive)))));
  size_t files = 0;
  for (const auto& [name, bytes] : testfiles::TakeSnapshot(text::Wide(game()))) files += bytes != "<dir>";
  EXPECT_EQ(files, 283u);
  EXPECT_EQ(ReadFile(game() + "\\version.txt"), "1.260\r\n");
}

}  // namespace
