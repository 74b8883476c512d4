#include "packlib/Progress.h"

#include <chrono>
#include <cmath>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace packer {
namespace {

constexpr double kRedrawEvery = 0.25;  // seconds

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string TimeLeft(uint64_t done, uint64_t total, double seconds) {
  if (done >= total) return "0:00";
  if (done == 0 || seconds <= 0) return "--:--";
  const double left = std::ceil(static_cast<double>(total - done) * seconds / static_cast<double>(done));
  if (left >= 100 * 3600.0) return ">99 h";
  const auto s = static_cast<unsigned>(left);
  char text[16];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string FormatProgress(uint64_t done, uint64_t total, double seconds) {
  unsigned percent = 100;
  if (done < total) {
    percent = static_cast<unsigned>(std::fmin(99.0, std::floor(100.0 * static_cast<double>(done) / static_cast<double>(total))));
  }
  const double rate = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0.0;
  char line[128];
  std::snprintf(line, sizeof line, "%3u%%  %6.1f of %.1f MB  %6.1f MB/s  %7s left", percent,
                static_cast<double>(done) / 1e6, static_cast<double>(total) / 1e6, rate,
                TimeLeft(done, total, seconds).c_str());
  return line;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

ProgressLine::ProgressLine(std::FILE* stream, bool wanted)
    : stream_(stream), shown_(wanted && IsTerminal(stream)), start_(Now()), drawn_(start_) {}

void ProgressLine::Update(uint64_t done, uint64_t total) {
  if (!shown_) return;
  const double now = Now();
  if (now - drawn_ < kRedrawEvery) return;
  drawn_ = now;
  const std::string text = FormatProgress(done, total, now - start_);
  // Blanks whatever of a longer earlier line would stay on the screen.
  std::string line = "\r" + text;
  if (text.size() < width_) line.append(width_ - text.size(), ' ');
  width_ = text.size();
  std::fputs(line.c_str(), stream_);
  std::fflush(stream_);
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  std::fprintf(stream_, "\r%*s\r", static_cast<int>(width_), "");
  std::fflush(stream_);
  width_ = 0;
}

}  // namespace packer
