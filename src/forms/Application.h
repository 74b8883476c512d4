// The application object of the form framework: the hidden main window, the
// message loop, the shown error box, and the disabling of the other windows
// while a modal box is up.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/Form.h"

namespace forms {

class TApplication {
 public:
  TApplication();
  ~TApplication();
  void Initialize() {}
  HWND Handle() const { return handle_; }
  HINSTANCE Instance() const;
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // Creates a form, sets `ref` to it before its FormCreate runs, and keeps it
  // until the application ends. The first form created is the main form.
  template <class T>
  void CreateForm(T*& ref) {
    auto form = std::make_unique<T>();
    ref = form.get();
    forms_.push_back(std::move(form));
    static_cast<TForm*>(ref)->CreateHandle(handle_);
    if (!mainForm_) mainForm_ = ref;
    static_cast<TForm*>(ref)->DoCreate();
  }

  TForm* MainForm() const { return mainForm_; }
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // The code the program ends with (0 unless set).
  int ExitCode() const { return exitCode_; }
  void SetExitCode(int code) { exitCode_ = code; }
  // Handles one message if one is waiting; false when the queue was empty.
  bool ProcessMessage();
  // Shows an exception in the error box (EAbort: nothing).
  void ShowException(const platform::Exception& e);
  // For use inside catch (...), also at a callback's boundary: shows what was
  // thrown, whatever it was, and never throws itself.
  void HandleException() noexcept;
  // Removes and destroys all forms (the end of the program).
  void DestroyForms();
  // Every form with a window, also one made outside CreateForm, gets its keys.
  void AttachForm(TForm* form);
  void DetachForm(TForm* form);

 private:
  static LRESULT CALLBACK AppWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  bool Dispatch(MSG& msg);
  HWND handle_ = nullptr;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  int exitCode_ = 0;
  std::vector<std::unique_ptr<TForm>> forms_;
  std::vector<TForm*> attached_;
};

extern TApplication* Application;

// Disables this thread's other enabled top-level windows while a modal box is
// up. When that fails part-way, the windows are enabled again and it throws.
class TaskWindowsDisabler {
 public:
  explicit TaskWindowsDisabler(HWND except = nullptr);
  ~TaskWindowsDisabler();
  TaskWindowsDisabler(const TaskWindowsDisabler&) = delete;
  TaskWindowsDisabler& operator=(const TaskWindowsDisabler&) = delete;

 private:
  std::vector<HWND> disabled_;
};

}  // namespace forms
