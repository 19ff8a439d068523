// Status-line text and the padding that keeps a shorter text from leaving old characters behind.
#include "ordax/status_line.h"

#include <cmath>
#include <cstdio>

#include "engine/print.h"

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
  std::string padded = text;
  if (padded.size() < shown_) padded.append(shown_ - padded.size(), ' ');
  print(("#s" + padded).c_str());
  shown_ = text.size();
}

void StatusLine::Clear() {
  if (shown_ == 0) return;
  print(("#s" + std::string(shown_, ' ')).c_str());
  shown_ = 0;
}
