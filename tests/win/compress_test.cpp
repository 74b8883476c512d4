// The progress window's extraction into real folders.
#include <gtest/gtest.h>

#include "BoxWatcher.h"
#include "FileTree.h"
#include "LiteralArchive.h"
#include "TempDir.h"
#include "forms/Forms.h"
#include "ui/Compress.h"

using namespace wintest;

namespace {

using testarchive::Sealed;

using Record = testarchive::File;
std::string Archive(const std::vector<Record>& records) { return testarchive::LiteralArchive(records); }

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<forms::TApplication>();
    app->CreateForm(CompressForm);
    dir = std::make_unique<TempDir>("extract");
    CreateDirectoryW(text::Wide(game()).c_str(), nullptr);
  }
  void TearDown() override {
    dir.reset();
    app.reset();
  }
  std::string game() const { return *dir / "game"; }
  int Extract(const std::string& archive) {
    WriteFile(*dir / "work.tmp", archive);
    const int n = CompressForm->ExtractArchive(*dir / "work.tmp", game());
    EXPECT_FALSE(CompressForm->Visible());
    // The archive is closed again: it can be deleted at once.
    EXPECT_TRUE(DeleteFileW(text::Wide(*dir / "work.tmp").c_str()));
    return n;
  }
  std::unique_ptr<forms::TApplication> app;
  std::unique_ptr<TempDir> dir;
};

TEST_F(Extraction, WritesEveryFileBelowTheTargetCreatingFoldersWithJapaneseNames) {
  WriteFile(game() + "\\Game02.exe", "an old and longer program file");
  const int n = Extract(Archive({{"Game02.exe", "new"},
                                 {"データ\\ソ表\\能力.dat", "deep"},
                                 {"データ\\表", "beside"},
                                 {"Game02.exe", "written twice"}}));
  EXPECT_EQ(n, 4);
  EXPECT_EQ(ReadFile(game() + "\\Game02.exe"), "written twice");
  EXPECT_EQ(ReadFile(game() + "\\データ\\ソ表\\能力.dat"), "deep");
  EXPECT_EQ(ReadFile(game() + "\\データ\\表"), "beside");
  EXPECT_EQ(CompressForm->Label1.Caption(), game() + "\\Game02.exe");
  // The bar ends at the archive's end, and nothing temporary remains.
  EXPECT_EQ(CompressForm->AllBar.Position(), CompressForm->AllBar.Max());
  EXPECT_TRUE(testfiles::StagingLeftovers(testfiles::TakeSnapshot(text::Wide(game()))).empty());
}

TEST_F(Extraction, EndingRecordsStopTheLoopUncounted) {
  EXPECT_EQ(Extract(Archive({{"a.txt", "a"}, {"empty.txt", ""}, {"b.txt", "b"}})), 1);
  EXPECT_EQ(ReadFile(game() + "\\empty.txt"), "");
  EXPECT_FALSE(Exists(game() + "\\b.txt"));
  EXPECT_EQ(Extract(Archive({{"", ""}, {"c.txt", "c"}})), 0);
  EXPECT_FALSE(Exists(game() + "\\c.txt"));
}

TEST_F(Extraction, AnEmptyOrMissingArchiveWritesNothing) {
  EXPECT_EQ(Extract(""), 0);
  EXPECT_EQ(CompressForm->ExtractArchive(*dir / "missing.tmp", game()), 0);
  EXPECT_TRUE(testfiles::TakeSnapshot(text::Wide(game())).empty());
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
    const char* folderInTheWay = nullptr;  // made below the game folder first
    const char* fileInTheWay = nullptr;
    const char* readOnly = nullptr;        // an original made read-only
    const char* heldOpen = nullptr;        // an original held open without sharing
  };
  std::vector<Case> cases = {
      {"a stream cut short in the last record", damaged},
      {"a folder where the last file goes", with({{"late.txt", "late"}}), "late.txt"},
      {"a file where a late sub-folder goes", with({{"sub\\x.txt", "x"}}), nullptr, "sub"},
      {"a trailer that does not match", tampered},
      {"a read-only original", with({{"readme.txt", "new"}}), nullptr, nullptr, "readme.txt"},
      {"an original held open without sharing", with({{"readme.txt", "new"}}), nullptr, nullptr, nullptr,
       "データ\\keep.bin"},
      {"a record cut inside its size field", with({}) + "\x05" "ab"},
  };
  for (const char* name : {"..\\up.txt", "C:\\abs.txt", "\\root.txt", "a\\\\b.txt", "sub\\..\\..\\x"}) {
    cases.push_back({name, with({{name, "bad"}})});
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
    BoxWatcher watcher;
    EXPECT_EQ(Extract(c.archive), 0);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    const testfiles::Snapshot after = testfiles::TakeSnapshot(text::Wide(game()));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
    // Only a folder that could not be made has a message of its own.
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), c.fileInTheWay ? 1u : 0u);
    if (c.fileInTheWay) {
      EXPECT_EQ(seen[0].text, L"ディレクトリを作成できませんでした");
    }
    if (c.readOnly) SetFileAttributesW(text::Wide(game() + "\\" + c.readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// Drive S: of the test prefix is a small RAM disk (scripts/test mounts it
// where the machine allows): a disk that fills up during the run.
TEST_F(Extraction, AFullDiskLeavesTheGameFolderAsItWas) {
  ULARGE_INTEGER freeBytes{}, total{};
  if (!GetDiskFreeSpaceExW(L"S:\\", &freeBytes, &total, nullptr) || total.QuadPart > (64u << 20)) {
    GTEST_SKIP() << "no small disk at S: (mounting a tmpfs needs root; see scripts/lib.sh)";
  }
  const std::string target = "S:\\fullgame";
  testfiles::RemoveTree(text::Wide(target));
  ASSERT_TRUE(CreateDirectoryW(text::Wide(target).c_str(), nullptr));
  WriteFile(target + "\\Game02.exe", std::string(13000, 'g'));
  const testfiles::Snapshot before = testfiles::TakeSnapshot(text::Wide(target));
  WriteFile(*dir / "work.tmp", Archive({{"Game02.exe", std::string(20000, 'n')},
                                        {"big.bin", std::string(static_cast<size_t>(total.QuadPart), 'b')}}));
  EXPECT_EQ(CompressForm->ExtractArchive(*dir / "work.tmp", target), 0);
  const testfiles::Snapshot after = testfiles::TakeSnapshot(text::Wide(target));
  EXPECT_EQ(after, before);
  EXPECT_TRUE(testfiles::StagingLeftovers(after).empty());
  testfiles::RemoveTree(text::Wide(target));
}

TEST_F(Extraction, TheDemoPatchYieldsAllItsFilesAndTheBarEndsAtItsEnd) {
  wchar_t path[1024] = {};
  if (!GetEnvironmentVariableW(L"PS_DEMO_ARCHIVE", path, 1024)) GTEST_SKIP() << "PS_DEMO_ARCHIVE not set";
  std::wstring archive = path;
  for (auto& c : archive)
    if (c == L'/') c = L'\\';
  if (archive[0] == L'\\') archive = L"Z:" + archive;
  const int n = CompressForm->ExtractArchive(text::Narrow(archive), game());
  EXPECT_EQ(n, 283);
  EXPECT_EQ(CompressForm->AllBar.Position(), CompressForm->AllBar.Max());
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(static_cast<DWORD>(CompressForm->AllBar.Max()), data.nFileSizeLow);
  EXPECT_EQ(ReadFile(game() + "\\version.txt"), "1.260\r\n");
}

}  // namespace
