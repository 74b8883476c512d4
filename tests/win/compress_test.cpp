// The progress window's extraction into real folders.
#include <gtest/gtest.h>

#include "BoxWatcher.h"
#include "LiteralArchive.h"
#include "TempDir.h"
#include "archive/Compress.h"
#include "forms/Forms.h"

using namespace wintest;

namespace {

using Record = testarchive::File;
std::string Archive(const std::vector<Record>& records) { return testarchive::LiteralArchive(records); }

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<forms::TApplication>();
    app->CreateForm(CompressForm);
    dir = std::make_unique<TempDir>("extract");
    CreateDirectoryW(forms::Wide(game()).c_str(), nullptr);
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
    EXPECT_TRUE(DeleteFileW(forms::Wide(*dir / "work.tmp").c_str()));
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
  // The bar ends at the archive's end.
  EXPECT_EQ(CompressForm->AllBar.Position(), CompressForm->AllBar.Max());
}

TEST_F(Extraction, EndingRecordsStopTheLoopUncounted) {
  EXPECT_EQ(Extract(Archive({{"a.txt", "a"}, {"empty.txt", ""}, {"b.txt", "b"}})), 1);
  EXPECT_EQ(ReadFile(game() + "\\empty.txt"), "");
  EXPECT_FALSE(Exists(game() + "\\b.txt"));
  EXPECT_EQ(Extract(Archive({{"", ""}, {"c.txt", "c"}})), 0);
  EXPECT_FALSE(Exists(game() + "\\c.txt"));
}

TEST_F(Extraction, AnEmptyArchiveShowsARangeOfZeroAndWritesNothing) {
  EXPECT_EQ(Extract(""), 0);
  EXPECT_EQ(CompressForm->AllBar.Max(), 0);
  EXPECT_EQ(CompressForm->ExtractArchive(*dir / "missing.tmp", game()), 0);
}

TEST_F(Extraction, AFolderThatCannotBeMadeIsReportedAndEndsWithZero) {
  WriteFile(game() + "\\sub", "a file in the way");
  BoxWatcher watcher;
  EXPECT_EQ(Extract(Archive({{"first.txt", "1"}, {"sub\\x.txt", "x"}, {"last.txt", "2"}})), 0);
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"ディレクトリを作成できませんでした");
  EXPECT_EQ(ReadFile(game() + "\\first.txt"), "1");
  EXPECT_FALSE(Exists(game() + "\\last.txt"));
}

TEST_F(Extraction, UnsafeNamesDamagedArchivesAndUnwritableFilesGiveZero) {
  for (const char* name : {"..\\up.txt", "C:\\abs.txt", "\\root.txt", "a\\\\b.txt", "sub\\..\\..\\x"}) {
    EXPECT_EQ(Extract(Archive({{"ok.txt", "ok"}, {name, "bad"}})), 0) << name;
  }
  EXPECT_FALSE(Exists(*dir / "up.txt"));
  EXPECT_FALSE(Exists(*dir / "x"));

  std::string cut = Archive({{"whole.txt", "whole"}, {"cut.txt", "0123456789abcdef"}});
  cut.resize(cut.size() - 3);
  EXPECT_EQ(Extract(cut), 0);
  std::string noSize = Archive({{"whole.txt", "whole"}}) + "\x05" "ab";
  EXPECT_EQ(Extract(noSize), 0);

  CreateDirectoryW(forms::Wide(game() + "\\busy.txt").c_str(), nullptr);  // a folder where the file goes
  EXPECT_EQ(Extract(Archive({{"busy.txt", "x"}})), 0);
}

TEST_F(Extraction, TheDemoPatchYieldsAllItsFilesAndTheBarEndsAtItsEnd) {
  wchar_t path[1024] = {};
  if (!GetEnvironmentVariableW(L"PS_DEMO_ARCHIVE", path, 1024)) GTEST_SKIP() << "PS_DEMO_ARCHIVE not set";
  std::wstring archive = path;
  for (auto& c : archive)
    if (c == L'/') c = L'\\';
  if (archive[0] == L'\\') archive = L"Z:" + archive;
  const int n = CompressForm->ExtractArchive(forms::Narrow(archive), game());
  EXPECT_EQ(n, 283);
  EXPECT_EQ(CompressForm->AllBar.Position(), CompressForm->AllBar.Max());
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(static_cast<DWORD>(CompressForm->AllBar.Max()), data.nFileSizeLow);
  EXPECT_EQ(ReadFile(game() + "\\version.txt"), "1.260\r\n");
}

}  // namespace
