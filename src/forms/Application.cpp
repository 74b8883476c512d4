// TApplication: the hidden application window, the forms, the message loop
// and the error box for exceptions that reach a window procedure.
#include "forms/Forms.h"

#include <algorithm>
#include <exception>

#include "forms/Dialogs.h"
#include "text/Wide.h"

using platform::EAbort;
using platform::Exception;
using text::Wide;

namespace forms {

TApplication* Application = nullptr;

namespace {

const wchar_t kAppClass[] = L"TApplication";

}  // namespace

TApplication::TApplication() {
  Application = this;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = AppWndProc;
  wc.hInstance = Instance();
  wc.hIcon = LoadIconW(Instance(), L"MAINICON");
  wc.lpszClassName = kAppClass;
  RegisterClassExW(&wc);
  // The application window is the taskbar entry: it carries the title, has
  // no size of its own and owns every form and box of the program.
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
  handle_ = CreateWindowExW(0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            x, y, 0, 0, nullptr, nullptr, Instance(), nullptr);
}

TApplication::~TApplication() {
  DestroyForms();
  if (handle_) DestroyWindow(handle_);
  Application = nullptr;
}

HINSTANCE TApplication::Instance() const { return GetModuleHandleW(nullptr); }

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_) SetWindowTextW(handle_, Wide(title).c_str());
}

void TApplication::DestroyForms() {
  while (!forms_.empty()) forms_.pop_back();
  mainForm_ = nullptr;
}

void TApplication::AttachForm(TForm* form) {
  if (std::find(attached_.begin(), attached_.end(), form) == attached_.end()) attached_.push_back(form);
}

void TApplication::DetachForm(TForm* form) { std::erase(attached_, form); }

LRESULT CALLBACK TApplication::AppWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    switch (message) {
      case WM_SYSCOMMAND:
        // Restoring from the taskbar brings the main form back.
        if ((wParam & 0xFFF0) == SC_RESTORE && Application && Application->MainForm()) {
          LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
          SetForegroundWindow(Application->MainForm()->Handle());
          return r;
        }
        break;
      case WM_CLOSE:
        if (Application && Application->MainForm()) Application->MainForm()->Close();
        return 0;
      default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  } catch (...) {
    Application->HandleException();
    return 0;
  }
}

bool TApplication::Dispatch(MSG& msg) {
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
    // A key may open or close a form (a dialog), so the list is not walked
    // while the form handles it.
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const auto found = std::find_if(attached_.begin(), attached_.end(),
                                    [root](const TForm* form) { return form->Handle() == root; });
    if (found != attached_.end()) {
      try {
        if ((*found)->DialogKey(msg)) return true;
      } catch (...) {
        HandleException();
        return true;
      }
    }
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  return Dispatch(msg);
}

void TApplication::Run() {
  if (!mainForm_) return;
  ShowWindow(handle_, SW_SHOWNORMAL);
  mainForm_->Show();
  MSG msg;
  while (!terminated_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Dispatch(msg);
  }
  terminated_ = true;
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::ShowException(const Exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return;
  ShowErrorBox(e.Message());
}

void TApplication::HandleException() noexcept {
  try {
    try {
      throw;
    } catch (const Exception& e) {
      ShowException(e);
    } catch (const std::exception& e) {
      ShowException(Exception(e.what()));
    } catch (...) {
      ShowException(Exception("不明な例外が発生しました"));
    }
  } catch (...) {
    // Only memory can run out while the box is built; then nothing is left
    // to show it with, and the caller is a callback that must not throw.
  }
}

}  // namespace forms
