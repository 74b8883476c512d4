// The patch run seen from outside while it works: the windows keep answering,
// and (for bench/patch-run.sh) how long a run takes against copying its files.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include <windows.h>
#include <commctrl.h>

#include "FileTree.h"
#include "Fixture.h"

namespace e2e {
namespace {

const std::wstring kM4 = L"セットアップが正常に終了しました";

// Sends WM_NULL to the program's visible windows every 50 ms from a thread
// of this process, and counts the probes answered within `limitMs`.
class Prober {
 public:
  Prober(const Installer& app, DWORD limitMs) : app_(app), limit_(limitMs), thread_([this]() noexcept { Loop(); }) {}
  ~Prober() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int sent = 0, answered = 0;
  DWORD slowest = 0;

 private:
  void Loop() noexcept {
    try {
      while (!stop_) {
        for (HWND hwnd : app_.TopLevel(true)) {
          const std::wstring cls = ClassOf(hwnd);
          if (cls != L"TInstallForm" && cls != L"TWaitForm" && cls != L"TCompressForm") continue;
          const DWORD start = GetTickCount();
          DWORD_PTR result = 0;
          const bool ok = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, limit_, &result) != 0;
          const DWORD took = GetTickCount() - start;
          ++sent;
          if (ok && took <= limit_) ++answered;
          slowest = std::max(slowest, took);
        }
        Sleep(50);
      }
    } catch (...) {
      sent = -1;  // out of memory: the figures mean nothing, and the test says so
    }
  }
  const Installer& app_;
  const DWORD limit_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A patch of `files` files of `size` bytes each that compress poorly, in the
// shape of the real one: the game, a version, files one level down.
std::vector<ArchiveFile> BigPatch(int files, size_t size) {
  std::vector<ArchiveFile> patch = {{"Game02.exe", std::string(4096, 'g')}, {"version.txt", "1.260\r\n"}};
  uint32_t x = 12345;
  for (int i = 0; i < files; ++i) {
    std::string data(size, '\0');
    for (char& c : data) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 24);
    }
    patch.push_back({"データ\\file" + std::to_string(i) + ".bin", data});
  }
  return patch;
}

class RunTiming : public InstallerTest {};

// The windows answer while the run works (the old design, which ran the whole
// extraction inside the button handler, answered none of them), and the run
// cannot be cut off. The limit is generous so that a busy machine cannot make
// it fail.
TEST_F(RunTiming, TheWindowsAnswerEveryProbeWhileTheRunWorks) {
  const std::wstring game = MakeGame(root + L"\\game");
  ASSERT_TRUE(ReplaceCarriedArchive(exe, MakeArchive(BigPatch(60, 2 << 20))));
  WriteFileBytes(DesktopFolder() + L"\\0(カリオン)のAster.lnk", "shortcut");
  Installer app(exe);
  HWND setup = StartWith(app, game);
  PressStart(setup);
  const DWORD start = GetTickCount();
  Prober prober(app, 2000);
  // While the run works, the setup window cannot be closed, nor the session
  // ended under it.
  ASSERT_NE(app.Wait(L"TCompressForm", true, 60000), nullptr);
  EXPECT_FALSE(IsWindowEnabled(setup));
  DWORD_PTR endSession = TRUE;
  EXPECT_TRUE(SendMessageTimeoutW(setup, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &endSession));
  EXPECT_EQ(endSession, static_cast<DWORD_PTR>(FALSE));
  PostMessageW(setup, WM_CLOSE, 0, 0);
  const Box box = app.WaitBox(180000);
  prober.Stop();
  const DWORD took = GetTickCount() - start;
  EXPECT_EQ(box.text, kM4);
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(app.WaitExit(30000));
  EXPECT_EQ(ReadFileBytes(game + L"\\データ\\file59.bin").size(), size_t{2} << 20);
  std::printf("run of %lu ms: %d of %d probes answered within 2 s, slowest %lu ms\n", took, prober.answered,
              prober.sent, prober.slowest);
  // A probe every 50 ms when answered at once: at least one in 200 ms.
  EXPECT_GE(prober.sent, static_cast<int>(took / 200));
  EXPECT_EQ(prober.answered, prober.sent);
}

// ---- Figures for bench/patch-run.sh (skipped unless PS_BENCH_ARCHIVES is set) ----

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  return GetEnvironmentVariableW(name, value, 4096) ? value : L"";
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double RunCommand(const std::wstring& command) {
  std::wstring line = command;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return -1;
  WaitForSingleObject(pi.hProcess, INFINITE);
  QueryPerformanceCounter(&b);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// Rounds of every program in turn, then xcopy, so that a busy machine slows
// them all alike (bench/patch-run.sh). Every run must end with M4 and the
// program with it, or its time is not that of a patch run.
TEST_F(RunTiming, FiguresAgainstXcopy) {
  const std::wstring archives = Env(L"PS_BENCH_ARCHIVES");  // ';'-separated archive files
  if (archives.empty()) GTEST_SKIP() << "bench/patch-run.sh sets PS_BENCH_ARCHIVES";
  const int rounds = 5;
  // This build, then each older build named in PS_BENCH_BASELINE (';'-separated).
  std::vector<std::wstring> programs = {ProgramUnderTest()};
  const std::wstring baselines = Env(L"PS_BENCH_BASELINE");
  for (size_t at = 0; at < baselines.size();) {
    const size_t end = std::min(baselines.find(L';', at), baselines.size());
    programs.push_back(baselines.substr(at, end - at));
    at = end + 1;
  }
  for (size_t from = 0; from < archives.size();) {
    const size_t to = std::min(archives.find(L';', from), archives.size());
    const std::wstring archivePath = archives.substr(from, to - from);
    from = to + 1;
    const std::string archive = ReadFileBytes(archivePath);
    ASSERT_FALSE(archive.empty()) << "cannot read the archive";
    std::vector<std::wstring> copies;
    for (size_t p = 0; p < programs.size(); ++p) {
      copies.push_back(root + L"\\PatchSetup" + std::to_wstring(p) + L".exe");
      ASSERT_TRUE(CopyFileW(programs[p].c_str(), copies.back().c_str(), FALSE));
      ASSERT_TRUE(ReplaceCarriedArchive(copies.back(), archive));
    }
    std::vector<std::vector<double>> seconds(programs.size());
    std::vector<double> xcopy;
    std::vector<int> sent(programs.size()), answered(programs.size());
    const std::wstring game = root + L"\\game", copied = root + L"\\copy";
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms the caches
      for (size_t p = 0; p < programs.size(); ++p) {
        testfiles::RemoveTree(game);
        MakeGame(game);
        WriteFileBytes(DesktopFolder() + L"\\0(カリオン)のAster.lnk", "shortcut");
        Installer app(copies[p]);
        HWND setup = StartWith(app, game);
        LARGE_INTEGER f, a, b;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&a);
        PressStart(setup);
        Prober prober(app, 250);
        const Box box = app.WaitBox(600000);
        QueryPerformanceCounter(&b);
        prober.Stop();
        EXPECT_EQ(box.text, kM4) << programs[p];
        Installer::Answer(box, L"OK");
        EXPECT_TRUE(app.WaitExit(30000)) << programs[p];
        ClearGameShortcuts();
        if (round > 0) {
          seconds[p].push_back(double(b.QuadPart - a.QuadPart) / double(f.QuadPart));
          sent[p] += prober.sent;
          answered[p] += prober.answered;
        }
      }
      testfiles::RemoveTree(copied);
      const double s = RunCommand(L"xcopy.exe /E /I /Q /Y \"" + game + L"\" \"" + copied + L"\"");
      if (round > 0) xcopy.push_back(s);
    }
    const double copy = Median(xcopy);
    std::printf("%ls: xcopy /E of the extracted tree %.3f s\n", archivePath.c_str(), copy);
    for (size_t p = 0; p < programs.size(); ++p) {
      const double run = Median(seconds[p]);
      std::printf("  %ls: start to last message %.3f s, %.2f x xcopy; probes answered within 250 ms: %d of %d "
                  "(%.0f%%)\n",
                  programs[p].c_str(), run, run / copy, answered[p], sent[p],
                  sent[p] ? 100.0 * answered[p] / sent[p] : 100.0);
    }
  }
}

// A whole installer, as `packer build` made it, on a game folder given by the
// bench (bench/big-patch.sh): time from start to the last message beside
// copying the installer once and the extracted tree once, the probes
// answered, and the overall bar's last position against its end. Skipped
// unless PS_BENCH_INSTALLER and PS_BENCH_GAME are set.
TEST_F(RunTiming, FiguresOfAWholeInstaller) {
  const std::wstring installer = Env(L"PS_BENCH_INSTALLER"), game = Env(L"PS_BENCH_GAME");
  if (installer.empty() || game.empty()) GTEST_SKIP() << "bench/big-patch.sh sets PS_BENCH_INSTALLER and PS_BENCH_GAME";
  MakeGame(game);
  WriteFileBytes(DesktopFolder() + L"\\0(カリオン)のAster.lnk", "shortcut");
  Installer app(installer);
  HWND setup = StartWith(app, game);
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  PressStart(setup);
  // The overall bar, sampled while the progress window shows: its last position and end.
  std::atomic<bool> done{false};
  std::atomic<int> position{0}, end{0};
  std::thread bars([&]() noexcept {
    while (!done) {
      if (HWND form = app.Find(L"TCompressForm", true)) {
        HWND lowest = nullptr;  // AllBar lies below FileBar
        int lowestTop = -1;
        for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          RECT r;
          if (ClassOf(child) == L"msctls_progress32" && GetWindowRect(child, &r) && r.top > lowestTop) {
            lowest = child;
            lowestTop = r.top;
          }
        }
        DWORD_PTR pos = 0, max = 0;
        if (lowest && SendMessageTimeoutW(lowest, PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &pos) &&
            SendMessageTimeoutW(lowest, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, 1000, &max)) {
          position = static_cast<int>(pos);
          end = static_cast<int>(max);
        }
      }
      Sleep(20);
    }
  });
  Prober prober(app, 250);
  const Box box = app.WaitBox(3600000);
  QueryPerformanceCounter(&b);
  prober.Stop();
  done = true;
  bars.join();
  EXPECT_EQ(box.text, kM4);
  Installer::Answer(box, L"OK");
  EXPECT_TRUE(app.WaitExit(60000));
  const double run = double(b.QuadPart - a.QuadPart) / double(f.QuadPart);

  const std::wstring copied = root + L"\\copy";
  testfiles::RemoveTree(copied);
  CreateDirectoryW(copied.c_str(), nullptr);
  QueryPerformanceCounter(&a);
  const bool copiedInstaller = CopyFileW(installer.c_str(), (copied + L"\\installer.exe").c_str(), FALSE);
  QueryPerformanceCounter(&b);
  const double copyInstaller = double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
  const double copyTree = RunCommand(L"xcopy.exe /E /I /Q /Y \"" + game + L"\" \"" + copied + L"\\tree\"");
  testfiles::RemoveTree(copied);
  ASSERT_TRUE(copiedInstaller);
  std::printf("start to last message %.1f s; copying the installer %.1f s and the tree %.1f s: %.2f x\n", run,
              copyInstaller, copyTree, run / (copyInstaller + copyTree));
  std::printf("probes answered within 250 ms: %d of %d, slowest %lu ms\n", prober.answered, prober.sent,
              prober.slowest);
  std::printf("overall bar last seen at %d of %d\n", position.load(), end.load());
  EXPECT_GT(end.load(), 0);
  EXPECT_EQ(position.load(), end.load());
}

}  // namespace
}  // namespace e2e
