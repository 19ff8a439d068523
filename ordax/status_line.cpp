// Status-line text for the self-overwriting progress line of a test run.
#include "ordax/status_line.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "common/print.h"

std::string DurationText(double seconds) {
  long s = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
  char text[48];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

std::string ProgressText(size_t done, size_t total, size_t doneThisRun, double seconds) {
  char text[160];
  double percent = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
  int len = std::snprintf(text, sizeof text, "Line %zu of %zu (%.1f%%)", done, total, percent);
  if (doneThisRun > 0 && seconds > 0) {
    double rate = static_cast<double>(doneThisRun) / seconds;
    std::snprintf(text + len, sizeof text - static_cast<size_t>(len), ", %.*f lines/s, about %s left",
                  rate < 10 ? 2 : 0, rate, DurationText(static_cast<double>(total - done) / rate).c_str());
  }
  return text;
}

void StatusLine::Show(const std::string& text) {
  // The print layer pads over a longer line; a log gets a plain line now and then instead.
  const auto now = std::chrono::steady_clock::now();
  if (!ConsoleIsTerminal() && shownAt_ && now - *shownAt_ < std::chrono::minutes(1)) return;
  shownAt_ = now;
  print(("#s" + text).c_str());
}

void StatusLine::Clear() { ClearStatusLine(); }
