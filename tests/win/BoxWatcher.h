// Answers the modal boxes a test provokes, from a second thread, and keeps
// what they said.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wintest {

struct SeenBox {
  std::wstring caption, text;
  bool hasIcon = false;
  int buttons = 0;
  RECT rect{};
};

class BoxWatcher {
 public:
  // Presses the box's default button (or, with `escape`, Escape) as soon as it shows.
  explicit BoxWatcher(bool escape = false);
  ~BoxWatcher();
  std::vector<SeenBox> Seen();

 private:
  void Run();
  bool escape_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<SeenBox> seen_;
  std::thread thread_;
};

}  // namespace wintest
