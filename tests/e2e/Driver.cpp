#include "Driver.h"

#include <shlobj.h>

#include <stdexcept>

#include "FileTree.h"
#include "platform/Handles.h"

namespace e2e {

Installer::Installer(const std::wstring& exePath, int show) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(show);
  std::wstring command = L"\"" + exePath + L"\"";
  std::wstring dir = exePath.substr(0, exePath.find_last_of(L"\\/"));
  if (!CreateProcessW(exePath.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi_))
    throw std::runtime_error("cannot start the program under test");
  WaitForInputIdle(pi_.hProcess, 20000);
}

Installer::~Installer() {
  if (Running()) {
    TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
  CloseHandle(pi_.hThread);
  CloseHandle(pi_.hProcess);
}

namespace {
struct EnumContext {
  DWORD pid;
  bool visibleOnly;
  std::vector<HWND> list;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) noexcept {
  auto* c = reinterpret_cast<EnumContext*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  try {
    if (pid == c->pid && (!c->visibleOnly || IsWindowVisible(hwnd))) c->list.push_back(hwnd);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}
}  // namespace

std::vector<HWND> Installer::TopLevel(bool visibleOnly) const {
  EnumContext ctx{pi_.dwProcessId, visibleOnly, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&ctx));
  return ctx.list;
}

HWND Installer::Find(const std::wstring& className, bool visibleOnly) const {
  for (HWND h : TopLevel(visibleOnly))
    if (ClassOf(h) == className) return h;
  return nullptr;
}

HWND Installer::Wait(const std::wstring& className, bool visible, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitFor([&] { return (found = Find(className, visible)) != nullptr; }, timeoutMs);
  return found;
}

Box Installer::WaitBox(DWORD timeoutMs) const {
  HWND dialog = Wait(L"#32770", true, timeoutMs);
  if (!dialog) return Box{};
  // The box may still be laying itself out; read it once its buttons exist.
  WaitFor([&] { return !ReadBox(dialog).buttons.empty(); }, 5000);
  return ReadBox(dialog);
}

void Installer::Answer(const Box& box, const std::wstring& button) {
  if (HWND b = Child(box.hwnd, L"Button", button)) Click(b);
}

void Installer::Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void Installer::SetText(HWND control, const std::wstring& text) {
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Installer::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
  if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(pi_.hProcess, exitCode);
  return true;
}

bool Installer::Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

// ---- files ----

void RemoveTree(const std::wstring& path) { testfiles::RemoveTree(path); }

std::wstring TestRoot(const std::wstring& name) {
  CreateDirectoryW(L"C:\\e2e", nullptr);
  const std::wstring root = L"C:\\e2e\\" + name;
  RemoveTree(root);
  CreateDirectoryW(root.c_str(), nullptr);
  return root;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const platform::FileHandle h(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) throw std::runtime_error("cannot write a test file");
  DWORD done = 0;
  WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::string ReadFileBytes(const std::wstring& path) {
  const platform::FileHandle h(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ProgramUnderTest(const wchar_t* variable) {
  wchar_t value[1024] = {};
  if (!GetEnvironmentVariableW(variable, value, 1024)) throw std::runtime_error("PS_PATCHSETUP is not set");
  std::wstring path = value;
  for (auto& ch : path)
    if (ch == L'/') ch = L'\\';
  if (path.size() > 1 && path[0] == L'\\') path = L"Z:" + path;  // a Unix path seen through Wine's Z: drive
  return path;
}

namespace {
std::wstring FolderPath(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path))) return L"";
  return path;
}
}  // namespace

std::wstring DesktopFolder() { return FolderPath(CSIDL_DESKTOPDIRECTORY); }

std::wstring PublicDesktopFolder() { return FolderPath(CSIDL_COMMON_DESKTOPDIRECTORY); }

std::vector<std::wstring> GameShortcuts(const std::wstring& desktop) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  const platform::FindHandle h(FindFirstFileW((desktop + L"\\0(カリオン)のAster*").c_str(), &fd));
  if (!h) return names;
  do names.push_back(fd.cFileName);
  while (FindNextFileW(h.get(), &fd));
  return names;
}

void ClearGameShortcuts() {
  for (const std::wstring& desktop : {DesktopFolder(), PublicDesktopFolder()}) {
    for (const auto& name : GameShortcuts(desktop)) RemoveTree(desktop + L"\\" + name);
  }
}

std::wstring DescribeWindows(const Installer& installer) {
  std::wstring out;
  for (HWND h : installer.TopLevel()) {
    out += ClassOf(h) + L" \"" + TextOf(h) + L"\"" + (IsWindowVisible(h) ? L" visible\n" : L" hidden\n");
  }
  return out;
}

}  // namespace e2e
