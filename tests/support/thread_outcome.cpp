#include "tests/support/thread_outcome.h"

#include <gtest/gtest.h>

#include <regex>

std::string WithoutTimings(const std::string& output) {
  static const std::regex stamp(R"((^|\n)\d\d:\d\d:\d\d )");
  static const std::regex progress(R"((Sieved up to \d+)[^\n]*)");
  static const std::regex counts(R"(\n\d+ \w's (remaining\. p=\d+ divides \w=\d+|left))");
  std::string s = std::regex_replace(output, stamp, "$1");
  s = std::regex_replace(s, counts, "");
  return std::regex_replace(s, progress, "$1");
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
