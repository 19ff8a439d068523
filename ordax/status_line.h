// The self-overwriting progress line: "line i of N", the rate and the time left.
#pragma once
#include <cstddef>
#include <string>

// "Line 120 of 5000 (2.4%), 3.5 lines/s, about 0:23:14 left"; done counts lines finished,
// doneThisRun and seconds measure this run's rate.
std::string ProgressText(size_t done, size_t total, size_t doneThisRun, double seconds);
// h:mm:ss
std::string DurationText(double seconds);

// Shows status texts on one console line; Clear() blanks it before an ordinary line is printed.
class StatusLine {
 public:
  void Show(const std::string& text);
  void Clear();

 private:
  size_t shown_ = 0;  // length of the text on screen, 0 when the line is clear
};
