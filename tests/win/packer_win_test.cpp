// The Windows packer's build and inspect on copies of the release stub, under
// either code page (the Windows tier runs twice): Japanese file names go into
// the archive exactly, names without an exact CP932 form are refused, the
// stub is never the output, and a signed stub gives an unsigned installer.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "packlib/HostFrontEnd.h"
#include "packlib/InstallerFile.h"
#include "packlib/ReleaseCommands.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// The stub of this build, by the path the build gave it (a Linux path: Wine's Z: drive).
fs::path StubPath() {
  std::wstring path = L"Z:";
  for (const char c : std::string(PS_STUB_PATH)) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class WindowsPacker : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / (L"packer_win_test-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    stub = dir / L"PatchSetupStub.exe";
    fs::copy_file(StubPath(), stub);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  // A publisher's folder: the game program, its version, files below folders with Japanese names.
  fs::path Folder(const std::wstring& name = L"修正ファイル") {
    const fs::path files = dir / name;
    WriteBytes(files / L"Game02.exe", "new game program");
    WriteBytes(files / L"version.txt", "1.300\r\n");
    WriteBytes(files / L"データ" / L"ソフト表.dat", "table data");
    WriteBytes(files / L"表示" / L"能力.txt", "deep file");
    return files;
  }
  int Build(const std::vector<fs::path>& args) { return packer::BuildCommand(frontEnd, args); }
  packer::HostFrontEnd frontEnd;
  fs::path dir, stub;
};

TEST_F(WindowsPacker, BuildsAndInspectsAnInstallerFromJapaneseNames) {
  const fs::path out = dir / L"出力" / L"PatchSetup.exe";
  fs::create_directories(out.parent_path());
  ASSERT_EQ(Build({Folder(), L"-o", out, L"--stub", stub}), 0);
  packer::Inspection in;
  std::string error;
  ASSERT_TRUE(packer::InspectInstaller(ReadBytes(out), in, error)) << error;
  EXPECT_EQ(in.check.count, 4);
  EXPECT_EQ(in.version, "1.300");
  EXPECT_EQ(in.trailer, archive::TrailerStatus::kMatches);
  EXPECT_TRUE(in.checksumMatches);
  EXPECT_FALSE(in.isSigned);
  // The record names are the CP932 bytes of the Japanese names (this file's literals are CP932).
  for (const std::string name : {".\\データ\\ソフト表.dat", ".\\表示\\能力.txt", ".\\version.txt"}) {
    EXPECT_NE(std::find(in.check.outputs.begin(), in.check.outputs.end(), name), in.check.outputs.end()) << name;
  }
  EXPECT_EQ(packer::InspectCommand(frontEnd, out), 0);
  EXPECT_FALSE(fs::exists(out.string() + ".part"));
  // Building again replaces the installer.
  EXPECT_EQ(Build({Folder(), L"-o", out, L"--stub", stub}), 0);
}

TEST_F(WindowsPacker, RefusesNamesWithoutAnExactCp932FormAndTheStubAsOutput) {
  const Bytes stubBytes = ReadBytes(stub);
  // Each has a look-alike in CP932 that a best-fit conversion would take.
  for (const std::wstring bad : {L"caf\u00E9.txt", L"\u00A5.txt", L"a\u2014b.txt"}) {
    SCOPED_TRACE(std::string(bad.begin(), bad.end()));
    const fs::path files = Folder(L"bad");
    WriteBytes(files / bad, "x");
    EXPECT_EQ(Build({files, L"-o", dir / L"new.exe", L"--stub", stub}), 1);
    EXPECT_FALSE(fs::exists(dir / L"new.exe"));
    fs::remove_all(files);
  }
  EXPECT_EQ(Build({Folder(), L"-o", stub, L"--stub", stub}), 1);
  EXPECT_EQ(Build({Folder(), L"-o", dir / L"." / L"PatchSetupStub.exe", L"--stub", stub}), 1);
  EXPECT_TRUE(ReadBytes(stub) == stubBytes);
}

TEST_F(WindowsPacker, ASignedStubGivesAnUnsignedInstaller) {
  // A certificate table as a signer appends it, named by directory entry 4.
  Bytes bytes = ReadBytes(stub);
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::Parse(bytes, image, error)) << error;
  while (bytes.size() % 8) bytes.push_back(0);
  const auto at = static_cast<uint32_t>(bytes.size());
  Bytes table(512, 0x5A);
  table[0] = 0x00, table[1] = 0x02, table[2] = table[3] = 0;  // 512 bytes
  table[4] = 0x00, table[5] = 0x02, table[6] = 0x02, table[7] = 0x00;
  bytes.insert(bytes.end(), table.begin(), table.end());
  for (int k = 0; k < 4; ++k) bytes[image.certificateEntry + k] = static_cast<uint8_t>(at >> (8 * k));
  bytes[image.certificateEntry + 4] = 0x00, bytes[image.certificateEntry + 5] = 0x02;
  WriteBytes(dir / L"signed.exe", std::string(bytes.begin(), bytes.end()));
  ASSERT_TRUE(pe::Parse(ReadBytes(dir / L"signed.exe"), image, error)) << error;
  ASSERT_TRUE(image.Signed());

  const fs::path out = dir / L"PatchSetup.exe";
  ASSERT_EQ(Build({Folder(), L"-o", out, L"--stub", dir / L"signed.exe"}), 0);
  packer::Inspection in;
  ASSERT_TRUE(packer::InspectInstaller(ReadBytes(out), in, error)) << error;
  EXPECT_FALSE(in.isSigned);
  EXPECT_EQ(in.check.count, 4);
  EXPECT_TRUE(in.checksumMatches);
}

}  // namespace
