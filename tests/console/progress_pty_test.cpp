// The progress line as a person at a terminal sees it: the real binary on a pseudo-terminal,
// its output replayed onto a model screen ('\r' back to the start of the row, '\n' to the
// next row), so that leftovers of a longer earlier line would show as they do on screen.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/console/terminal.h"
#include "tests/support/run_binary.h"

namespace {

// The rows a terminal shows after the output, and every status text written (each text
// between carriage returns that starts with the status words).
struct Screen {
  std::vector<std::string> rows;
  std::vector<std::string> statuses;
};

Screen replay(const std::string& output) {
  Screen s;
  s.rows.emplace_back();
  size_t column = 0;
  std::string written;  // text since the last '\r' or '\n'
  auto endText = [&] {
    if (written.rfind("Sieved up to ", 0) == 0) s.statuses.push_back(written);
    written.clear();
  };
  for (char c : output) {
    if (c == '\r') {
      endText();
      column = 0;
    } else if (c == '\n') {
      endText();
      s.rows.emplace_back();
      column = 0;
    } else {
      std::string& row = s.rows.back();
      if (column < row.size()) row[column] = c;
      else row.push_back(c);
      ++column;
      written.push_back(c);
    }
  }
  endText();
  // Blanks are what a cleared part of a row looks like.
  for (std::string& row : s.rows) row.erase(row.find_last_not_of(' ') + 1);
  return s;
}

const std::string kWords = R"(Sieved up to [0-9]+(?: \([0-9]+\.[0-9] (?:million|billion)\))?)";
const std::regex kFull(kWords + R"(: ([0-9.]+)% to p=(?:10\^[0-9]+|[0-9]+), ([0-9]+):([0-9]{2}):([0-9]{2}) left, )"
                                R"(([0-9.]+)(M|k|) primes/s, [0-9]+ k's left(, [0-9.e+]+ s per k)?)");
const std::regex kBare(kWords);

struct Fields {
  double share, secondsLeft, rate;
};

// The measured fields of the status texts that have them.
std::vector<Fields> fieldsOf(const std::vector<std::string>& statuses) {
  std::vector<Fields> out;
  for (const std::string& text : statuses) {
    std::smatch m;
    if (!std::regex_match(text, m, kFull)) continue;
    double scale = m[6] == "M" ? 1e6 : m[6] == "k" ? 1e3 : 1;
    out.push_back({std::stod(m[1]), std::stod(m[2]) * 3600 + std::stod(m[3]) * 60 + std::stod(m[4]),
                   std::stod(m[5]) * scale});
  }
  return out;
}

// Every row is one whole message: status rows are status texts, nothing else shares a row
// with one, and the closing messages stand alone.
void expectCleanRows(const Screen& s, const std::string& output) {
  static const std::vector<std::regex> known = {
      kFull, kBare,
      std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]+ k's remaining\\. p=[0-9]+ divides k=[0-9]+"),
      std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]+ k's left"),
      std::regex("Rate: .*"),
      std::regex("Stopping\\.\\.\\."),
      std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} Saving results to out\\.txt\\.\\.\\."),
      std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} \\.\\.\\.done\\."),
      std::regex("Output file 'out\\.txt' generated, contains [0-9]+ k's"),
  };
  bool inRun = false;
  for (const std::string& row : s.rows) {
    if (row.find("Starting sieve") != std::string::npos) {
      inRun = true;
      continue;
    }
    if (!inRun || row.empty()) continue;
    bool matched = false;
    for (const std::regex& r : known) matched = matched || std::regex_match(row, r);
    EXPECT_TRUE(matched) << "row [" << row << "] in\n" << output;
  }
}

std::vector<std::string> twinJob(const std::string& stop) {
  return {"-w", "-wp=out.txt", "-t=2", "-base=2", "-n=1000", "-kmin=1", "-kmax=1000000", stop};
}

TEST(ProgressOnATerminal, FieldsAreSaneAndControlCStandsOnACleanLine) {
  ScratchDir dir;
  // One thread, about half a minute deep: six lines in, the estimate has fallen by far more
  // than a busy machine's swing in rate moves it (a run ten times as deep varied by 6%).
  std::vector<std::string> job = twinJob("-osp=30000000000");
  job.push_back("-ot=1");
  Terminal t(dir.path(), job, 200);
  ASSERT_TRUE(t.started());
  // Wait for several lines with their estimates; the status words come first, always.
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(t.waitFor("primes/s", 60)) << t.screen;
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Output file 'out.txt' generated", 60)) << t.screen;
  EXPECT_EQ(t.exitStatus(), 130);  // interrupted after a valid save

  const Screen s = replay(t.screen);
  const std::vector<Fields> f = fieldsOf(s.statuses);
  ASSERT_GE(f.size(), 4u) << t.screen;
  for (size_t i = 0; i < f.size(); ++i) {
    EXPECT_GT(f[i].rate, 0) << i;
    EXPECT_GE(f[i].share, 0) << i;
    EXPECT_LE(f[i].share, 100) << i;
    if (i > 0) {
      EXPECT_GE(f[i].share, f[i - 1].share) << "share done falls at line " << i;
    }
  }
  EXPECT_GT(f.back().share, f.front().share);
  EXPECT_LT(f.back().secondsLeft, f.front().secondsLeft);
  expectCleanRows(s, t.screen);
  // The interrupt's message has a row of its own, the "^C" echo blanked with the status line.
  bool stopping = false;
  for (const std::string& row : s.rows) stopping = stopping || row == "Stopping...";
  EXPECT_TRUE(stopping) << t.screen;
}

TEST(ProgressOnATerminal, AFinishAboveABillionLeavesCleanLines) {
  ScratchDir dir;
  Terminal t(dir.path(), twinJob("-osp=1500000000"), 200);
  ASSERT_TRUE(t.started());
  ASSERT_TRUE(t.waitFor("Output file 'out.txt' generated", 120)) << t.screen;
  EXPECT_EQ(t.exitStatus(), 0);
  const Screen s = replay(t.screen);
  ASSERT_FALSE(s.statuses.empty());
  expectCleanRows(s, t.screen);
}

TEST(ProgressOnATerminal, ANarrowTerminalKeepsTheLineWithinItsWidth) {
  ScratchDir dir;
  Terminal t(dir.path(), twinJob("-osp=100000000000"), 70);
  ASSERT_TRUE(t.started());
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(t.waitFor("left", 60)) << t.screen;
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Output file 'out.txt' generated", 60)) << t.screen;
  EXPECT_EQ(t.exitStatus(), 130);  // interrupted after a valid save
  const Screen s = replay(t.screen);
  ASSERT_FALSE(s.statuses.empty());
  for (const std::string& text : s.statuses) {
    EXPECT_LT(text.size(), 70u) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("^" + kWords))) << text;
  }
}

TEST(ProgressInALog, ThroughAPipeTheLinesArePlain) {
  ScratchDir dir;
  RunResult r = runMorvane(twinJob("-osp=1200000000"), dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output.find('\r'), std::string::npos) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("\n" + kWords + "[^\n]*\n[0-9:]+ Saving results to out.txt")))
      << r.output;
}

}  // namespace
