#include "BoxWatcher.h"

#include "WindowQueries.h"

namespace wintest {

BoxWatcher::BoxWatcher(bool escape) : escape_(escape), thread_([this]() noexcept { Run(); }) {}

BoxWatcher::~BoxWatcher() {
  stop_ = true;
  thread_.join();
}

std::vector<SeenBox> BoxWatcher::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

void BoxWatcher::Run() {
  while (!stop_) {
    const HWND box = testwin::VisibleBox(GetCurrentProcessId());
    if (!box) {
      Sleep(30);
      continue;
    }
    Sleep(100);  // let it finish laying itself out
    const testwin::Box read = testwin::ReadBox(box);
    SeenBox seen{read.caption, read.text, read.hasIcon, static_cast<int>(read.buttons.size()), {}};
    GetWindowRect(box, &seen.rect);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(seen);
    }
    // Keys as a user would press them: Enter takes the default button.
    PostMessageW(box, WM_KEYDOWN, escape_ ? VK_ESCAPE : VK_RETURN, 0);
    PostMessageW(box, WM_KEYUP, escape_ ? VK_ESCAPE : VK_RETURN, 0);
    for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(20);
  }
}

}  // namespace wintest
