// Reads the windows of the program under test for the i386 smoke run.
//
// The smoke run drives PatchSetup.exe from the Linux side with X tools, but
// the texts inside a message box or a dialog are not X properties. This small
// program runs in the same Wine session and answers questions about windows
// through files, so one emulated process start serves the whole run:
//
//   the driver writes   <folder>\request   "<seq>\t<command>[\t<argument>]"
//   the probe writes    <folder>\reply     "<seq>" then one line per window
//
// Commands:
//   windows          visible top-level windows of other processes:
//                    hwnd pid class caption left top right bottom enabled
//   children <hwnd>  the child windows of one window, in Z order:
//                    hwnd class text left top right bottom visible
//   quit             ends the probe
// Rectangles are screen coordinates, which are the X root window's under Wine.
// All texts are UTF-8; tabs and line breaks inside texts are written as \t, \n.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// One field of a reply line: tabs and line breaks would split the line.
std::string Field(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c != '\r') out += c;
  }
  return out;
}

// WM_GETTEXT reads a control of another process (GetWindowText does not); the
// timeout keeps the probe answering while the program is busy extracting.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length)) return L"?busy?";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           3000, &got)) {
    return L"?busy?";
  }
  text.resize(got);
  return text;
}

// A top-level window's caption is read without a message, so a program busy
// extracting never holds the answer up.
std::wstring CaptionOf(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::string Rect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%ld\t%ld\t%ld\t%ld", r.left, r.top, r.right, r.bottom);
  return buffer;
}

std::string Handle(HWND hwnd) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lu", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)));
  return buffer;
}

// Window enumeration callbacks only collect handles; nothing that can throw
// runs inside them.
BOOL CALLBACK Collect(HWND hwnd, LPARAM list) {
  try {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

std::string TopWindows() {
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  std::string out;
  for (HWND hwnd : all) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(hwnd)) continue;
    out += Handle(hwnd) + "\t" + std::to_string(pid) + "\t" + Field(ClassOf(hwnd)) + "\t" + Field(CaptionOf(hwnd)) +
           "\t" + Rect(hwnd) + "\t" + (IsWindowEnabled(hwnd) ? "1" : "0") + "\n";
  }
  return out;
}

std::string Children(HWND parent) {
  std::vector<HWND> all;
  if (IsWindow(parent)) EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all));
  std::string out;
  for (HWND hwnd : all) {
    out += Handle(hwnd) + "\t" + Field(ClassOf(hwnd)) + "\t" + Field(TextOf(hwnd)) + "\t" + Rect(hwnd) + "\t" +
           (IsWindowVisible(hwnd) ? "1" : "0") + "\n";
  }
  return out;
}

bool ReadWhole(const std::wstring& path, std::string& out) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  out.clear();
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(file);
  return true;
}

// The reply appears whole: written beside it, then renamed into place.
void Reply(const std::wstring& folder, const std::string& text) {
  const std::wstring partial = folder + L"\\reply.partial", reply = folder + L"\\reply";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), reply.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Answers one request; false for quit.
bool Answer(const std::wstring& folder, const std::string& request) {
  std::vector<std::string> words;
  size_t start = 0;
  for (;;) {
    const size_t tab = request.find_first_of("\t\n", start);
    words.push_back(request.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos || request[tab] == '\n') break;
    start = tab + 1;
  }
  const std::string seq = words[0];
  const std::string command = words.size() > 1 ? words[1] : std::string();
  std::string body;
  if (command == "windows") {
    body = TopWindows();
  } else if (command == "children" && words.size() > 2) {
    body = Children(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoul(words[2].c_str(), nullptr, 10))));
  } else if (command != "quit") {
    body = "error\tunknown command " + command + "\n";
  }
  Reply(folder, seq + "\n" + body);
  return command != "quit";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;
  const std::wstring folder = argv[1];
  const std::wstring request = folder + L"\\request";
  try {
    // The first window query of a session waits for Wine's desktop process;
    // "ready" means questions are answered at once.
    TopWindows();
    Reply(folder, "ready\n");
    for (;;) {
      std::string text;
      if (ReadWhole(request, text)) {
        DeleteFileW(request.c_str());
        if (!Answer(folder, text)) break;
      }
      Sleep(100);
    }
  } catch (...) {
    return 1;
  }
  return 0;
}
