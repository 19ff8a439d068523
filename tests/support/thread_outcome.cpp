#include "tests/support/thread_outcome.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

namespace {

// Without the lines a slow run prints by the clock: the rates after each second's report, and
// the progress lines shown now and then. The progress line just before the final save stays:
// it names the prime the run stopped at.
std::string WithoutClockLines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Rate: ", 0) == 0) continue;
    if (lines[i].rfind("Sieved up to ", 0) == 0 &&
        !(i + 1 < lines.size() && lines[i + 1].rfind("Saving results", 0) == 0))
      continue;
    out += lines[i] + "\n";
  }
  return out;
}

}  // namespace

std::string WithoutTimings(const std::string& output) {
  static const std::regex stamp(R"((^|\n)\d\d:\d\d:\d\d )");
  static const std::regex progress(R"((Sieved up to \d+)[^\n]*)");
  static const std::regex counts(R"(\n\d+ \w's (remaining\. p=\d+ divides \w=\d+|left))");
  std::string s = std::regex_replace(output, stamp, "$1");
  s = std::regex_replace(s, counts, "");
  return WithoutClockLines(std::regex_replace(s, progress, "$1"));
}

ThreadOutcome OutcomeOf(const RunResult& r, const ScratchDir& dir) {
  return {r.status, readFile(dir.file("out.txt")), readFile(dir.file("Morvane.del")), WithoutTimings(r.output)};
}

void ExpectSameOutcome(const ThreadOutcome& one, const ThreadOutcome& many, unsigned threads) {
  EXPECT_EQ(many.status, one.status) << "-ot=" << threads;
  EXPECT_EQ(many.file, one.file) << "-ot=" << threads;
  EXPECT_EQ(many.removedLog, one.removedLog) << "-ot=" << threads;
  EXPECT_EQ(many.console, one.console) << "-ot=" << threads;
}
