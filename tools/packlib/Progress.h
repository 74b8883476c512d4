// The progress line of a long packing on a terminal: percent, megabytes
// done of the total, rate and time left, rewritten in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace packer {

// One line without a line end, e.g. " 25%   50.0 of 200.0 MB    5.0 MB/s    0:30 left",
// for `done` of `total` bytes after `seconds`. The percent reaches 100 only
// when done == total; the time left is rounded up, "--:--" while nothing is
// done yet, ">99 h" past 99 hours.
std::string FormatProgress(uint64_t done, uint64_t total, double seconds);

// Whether `stream` is a terminal (not a pipe or a file).
bool IsTerminal(std::FILE* stream);

// Draws FormatProgress on `stream` with '\r', at most four times a second,
// and only when `stream` is a terminal: a pipe or a log gets nothing.
// (No <chrono> here: it does not compile in the code page 932 sources.)
class ProgressLine {
 public:
  ProgressLine(std::FILE* stream, bool wanted);
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(uint64_t done, uint64_t total);
  // Blanks the line and returns the cursor to its start, so that what is
  // printed next starts on a clean line.
  void Clear();

 private:
  std::FILE* stream_;
  bool shown_;
  double start_;  // seconds on the steady clock
  double drawn_;
  size_t width_ = 0;  // of the line on the screen; 0: none
};

}  // namespace packer
