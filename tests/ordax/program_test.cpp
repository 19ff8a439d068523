// The ordax program end to end: its command line, exit status, results file, progress record,
// and an interrupted run resumed to report each result exactly once.
#include <gtest/gtest.h>
#include <gmpxx.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <thread>

#include "ordax/progress.h"
#include "ordax/status_line.h"
#include "tests/support/run_binary.h"

namespace {

RunResult Ordax(const std::vector<std::string>& args, const ScratchDir& dir) {
  return runProgram(ORDAX_BINARY, args, dir.path());
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// k·2^14±1 for odd k up to 199, with a few twin pairs (computed below with GMP).
std::string TwinFile() {
  std::string text = "1000:T:1:2:3\n";
  for (int k = 1; k < 200; k += 2) text += std::to_string(k) + " 14\n";
  return text;
}

std::vector<std::string> TwinExpectation() {
  std::vector<std::string> lines;
  for (long k = 1; k < 200; k += 2) {
    mpz_class x = mpz_class(k) << 14;
    if (mpz_probab_prime_p(mpz_class(x - 1).get_mpz_t(), 30) && mpz_probab_prime_p(mpz_class(x + 1).get_mpz_t(), 30))
      lines.push_back(std::to_string(k) + "·2^14±1 is a twin prime pair (proven)\n");
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l;
  return text;
}

TEST(OrdaxProgram, TestsAFileAndAppendsTheResults) {
  ScratchDir dir;
  writeFile(dir.file("twins.txt"), TwinFile());
  const std::string expected = Joined(TwinExpectation());
  ASSERT_FALSE(expected.empty());

  // Unknown words, wherever they stand, are reported and ignored.
  RunResult r = Ordax({"-q", "twins.txt", "extra", "-n"}, dir);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Ignoring the unknown word '-q'"));
  EXPECT_TRUE(Contains(r.output, "Ignoring the unknown word 'extra'"));
  EXPECT_TRUE(Contains(r.output, "Running at the lowest priority"));
  EXPECT_TRUE(Contains(r.output, "Testing twins.txt: 100 lines of Twin: k.b^n±1, base 2, sieved to 1000"));
  // Line by line: on a busy machine the status line may show between two results.
  for (const std::string& line : TwinExpectation()) EXPECT_TRUE(Contains(r.output, line)) << line;
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), expected);

  // A second run finds the record and tests nothing again; -restart tests again and appends.
  r = Ordax({"twins.txt"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.output, "All 100 lines of twins.txt were tested already"));
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), expected);
  r = Ordax({"twins.txt", "-restart", "-results=again.txt"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(dir.file("again.txt")), expected);

  // The same name with other contents (a file sieved further) starts from the first line.
  writeFile(dir.file("twins.txt"), TwinFile() + "201 14\n");
  r = Ordax({"twins.txt", "-results=third.txt"}, dir);
  EXPECT_TRUE(Contains(r.output, "The progress record twins.txt.ordax is for another version of twins.txt"));
  EXPECT_EQ(readFile(dir.file("third.txt")), expected);
}

TEST(OrdaxProgram, FailsClearlyOnMissingOrInvalidInput) {
  ScratchDir dir;
  RunResult r = Ordax({}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "Usage: ordax FILE"));
  r = Ordax({"nothere.txt"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "Cannot open the input file nothere.txt"));
  writeFile(dir.file("bad.txt"), "this is no sieve file: really\n3 10\n");
  r = Ordax({"bad.txt"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "The file does not appear to be valid (the first line is wrong!)"));
  writeFile(dir.file("type.txt"), "1000:Q:1:2:4\n3 10\n");
  r = Ordax({"type.txt"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "type.txt is not a valid sieve file: the header names no known sieve type"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("ordax_results.txt")));
}

TEST(OrdaxProgram, KeepsAResultThatCannotBeWrittenForTheNextRun) {
  ScratchDir dir;
  writeFile(dir.file("twins.txt"), TwinFile());
  mkdir(dir.file("blocked").c_str(), 0755);  // a folder cannot be appended to
  RunResult r = Ordax({"twins.txt", "-results=blocked"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "Cannot write to the results file blocked"));
  r = Ordax({"twins.txt"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), Joined(TwinExpectation()));
}

// 2^4000 + 2k − 1 for k up to 1000: probable primes at k = 32, 494 and 659, slow enough
// (some milliseconds a line) to be interrupted after the first.
std::string SlowFile() {
  std::string text = "1000:A:1:2:512\n";
  for (int k = 1; k <= 1000; ++k) text += std::to_string(k) + " 4000\n";
  return text;
}

TEST(OrdaxProgram, AnInterruptedRunResumesAndReportsEachResultOnce) {
  ScratchDir dir;
  writeFile(dir.file("ap.txt"), SlowFile());
  const std::string results = dir.file("ordax_results.txt");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    freopen("run1.out", "w", stdout);
    execl(ORDAX_BINARY, ORDAX_BINARY, "ap.txt", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Interrupt as soon as the first result is in.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (readFile(results).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
  EXPECT_TRUE(Contains(readFile(dir.file("run1.out")), "Interrupted after"));
  // The record stops short of the end and counts exactly the results written so far.
  const std::string all =
      "2^4000+63 is prime (probable)\n2^4000+987 is prime (probable)\n2^4000+1317 is prime (probable)\n";
  const std::string before = readFile(results);
  ProgressRecord record;
  ASSERT_TRUE(LoadProgress(dir.file("ap.txt.ordax"), record));
  EXPECT_GE(record.done, 32u);
  EXPECT_LT(record.done, 1000u);
  EXPECT_EQ(record.found, static_cast<size_t>(std::count(before.begin(), before.end(), '\n')));
  EXPECT_EQ(all.substr(0, before.size()), before);

  RunResult r = Ordax({"ap.txt"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.output, "Continuing at line " + std::to_string(record.done + 1) + " of 1000 (" +
                                     std::to_string(record.found) + " found so far)"));
  EXPECT_TRUE(Contains(r.output, "Tested all 1000 lines of ap.txt: 3 found"));
  EXPECT_EQ(readFile(results), all);
}

TEST(OrdaxProgress, RecordsRoundTripAndBadOnesAreIgnored) {
  ScratchDir dir;
  const std::string path = dir.file("f.ordax");
  ProgressRecord saved{0x0123456789abcdefull, 1000, 250, 3};
  ASSERT_TRUE(SaveProgress(path, saved));
  ProgressRecord loaded;
  ASSERT_TRUE(LoadProgress(path, loaded));
  EXPECT_EQ(loaded.fingerprint, saved.fingerprint);
  EXPECT_EQ(loaded.lines, 1000u);
  EXPECT_EQ(loaded.done, 250u);
  EXPECT_EQ(loaded.found, 3u);
  writeFile(path, "ordax progress\nfingerprint 1\nlines 10\ndone 11\nfound 0\n");
  EXPECT_FALSE(LoadProgress(path, loaded));
  writeFile(path, "something else\n");
  EXPECT_FALSE(LoadProgress(path, loaded));
  EXPECT_EQ(ProgressPathFor("/some/dir/twins.txt"), "twins.txt.ordax");
}

TEST(OrdaxProgress, StatusTextShowsLinesRateAndTimeLeft) {
  EXPECT_EQ(ProgressText(100, 1000, 50, 10.0), "Line 100 of 1000 (10.0%), 5.00 lines/s, about 0:03:00 left");
  EXPECT_EQ(ProgressText(500, 1000, 500, 20.0), "Line 500 of 1000 (50.0%), 25 lines/s, about 0:00:20 left");
  EXPECT_EQ(ProgressText(0, 10, 0, 0.0), "Line 0 of 10 (0.0%)");
  EXPECT_EQ(DurationText(3725), "1:02:05");
  EXPECT_EQ(DurationText(-1), "0:00:00");
}

}  // namespace
