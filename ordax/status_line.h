// The self-overwriting progress line: "line i of N", the rate and the time left.
#pragma once
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// "Line 120 of 5000 (2.4%), 3.5 lines/s, about 0:23:14 left"; done counts lines finished,
// doneThisRun and seconds measure this run's rate.
std::string ProgressText(size_t done, size_t total, size_t doneThisRun, double seconds);
// h:mm:ss
std::string DurationText(double seconds);

// Shows status texts on one console line (in a log, one plain line a minute); Clear() blanks
// it before an ordinary line is printed.
class StatusLine {
 public:
  void Show(const std::string& text);
  void Clear();

 private:
  std::optional<std::chrono::steady_clock::time_point> shownAt_;
};
