// TaskWindowsDisabler: the thread's other windows disabled while a modal box is up.
#include <exception>
#include <vector>

#include "forms/Application.h"

namespace forms {

namespace {
struct DisableContext {
  HWND except;
  std::vector<HWND>* list;
  std::exception_ptr error;  // what stopped the enumeration
};

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM lParam) noexcept {
  auto* c = reinterpret_cast<DisableContext*>(lParam);
  try {
    if (hwnd != c->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
      c->list->push_back(hwnd);  // first: every window disabled is on the list
      EnableWindow(hwnd, FALSE);
    }
    return TRUE;
  } catch (...) {
    c->error = std::current_exception();
    return FALSE;
  }
}

void EnableAgain(const std::vector<HWND>& windows) {
  for (HWND hwnd : windows)
    if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
}
}  // namespace

TaskWindowsDisabler::TaskWindowsDisabler(HWND except) {
  DisableContext context{except, &disabled_, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&context));
  if (context.error) {
    // No destructor runs for a constructor that throws.
    EnableAgain(disabled_);
    std::rethrow_exception(context.error);
  }
}

TaskWindowsDisabler::~TaskWindowsDisabler() { EnableAgain(disabled_); }

}  // namespace forms
