// Testing on several threads writes exactly what one thread writes; a kill at either side of
// the append of a result resumes without losing or repeating it, whatever the thread count.
#include <gtest/gtest.h>
#include <gmpxx.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>

#include "ordax/progress.h"
#include "tests/ordax/in_process.h"
#include "tests/support/run_binary.h"

namespace {

// k·2^90+1 for odd k below 1200: about twenty proven primes, all shown and appended.
std::string ProthFile() {
  std::string text = "1000:P:1:2:1\n";
  for (int k = 1; k < 1200; k += 2) text += std::to_string(k) + " 90\n";
  return text;
}

std::string ExpectedResults() {
  std::string lines;
  for (long k = 1; k < 1200; k += 2) {
    mpz_class n = (mpz_class(k) << 90) + 1;
    if (mpz_probab_prime_p(n.get_mpz_t(), 30)) lines += std::to_string(k) + "·2^90+1 is prime (proven)\n";
  }
  return lines;
}

InProcessRun RunWithThreads(const ScratchDir& dir, int threads) {
  writeFile(dir.file("sieve.txt"), ProthFile());
  OrdaxOptions options;
  options.file = dir.file("sieve.txt");
  options.restart = true;
  options.threads = threads;
  options.resultsPath = dir.file("results.txt");
  options.progressPath = dir.file("sieve.txt.ordax");
  InProcessRun run;
  setPrintCapture(&run.output);
  run.status = RunOrdax(options, &run.summary);
  setPrintCapture(nullptr);
  // The scratch folder's name is the one difference allowed.
  for (size_t at; (at = run.output.find(dir.path())) != std::string::npos;) run.output.replace(at, dir.path().size(), "DIR");
  return run;
}

TEST(OrdaxThreads, EveryThreadCountWritesTheSameFilesAndLines) {
  const std::string expected = ExpectedResults();
  ASSERT_GT(std::count(expected.begin(), expected.end(), '\n'), 10);
  ScratchDir one;
  InProcessRun reference = RunWithThreads(one, 1);
  ASSERT_EQ(reference.status, 0) << reference.output;
  EXPECT_EQ(readFile(one.file("results.txt")), expected);
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    ScratchDir dir;
    InProcessRun run = RunWithThreads(dir, threads);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readFile(dir.file("results.txt")), expected);
    EXPECT_EQ(readFile(dir.file("sieve.txt.ordax")), readFile(one.file("sieve.txt.ordax")));
    EXPECT_EQ(run.summary.found, reference.summary.found);
    EXPECT_EQ(run.output, reference.output);
  }
}

TEST(OrdaxThreads, TheThreadOptionIsCheckedAndUsed) {
  ScratchDir dir;
  writeFile(dir.file("p.txt"), ProthFile());
  RunResult bad = runProgram(ORDAX_BINARY, {"p.txt", "-t=0"}, dir.path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("-t= needs a number of threads from 1 to 1024, not '0'"), std::string::npos) << bad.output;
  EXPECT_EQ(runProgram(ORDAX_BINARY, {"p.txt", "-t=x2"}, dir.path()).status, 1);
  RunResult good = runProgram(ORDAX_BINARY, {"p.txt", "-t=3"}, dir.path());
  EXPECT_EQ(good.status, 0) << good.output;
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), ExpectedResults());
}

// Kills the helper at the count-th passage through `where`, then resumes with the real program.
void KillAndResume(const std::string& where, int count, int threads, bool tornWrite) {
  SCOPED_TRACE(where + ", result " + std::to_string(count) + ", " + std::to_string(threads) + " threads");
  ScratchDir dir;
  writeFile(dir.file("p.txt"), ProthFile());
  const std::string expected = ExpectedResults();
  RunResult killed = runProgram(ORDAX_KILL_POINT, {where, std::to_string(count), std::to_string(threads), "p.txt"},
                                dir.path());
  ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.output;
  ProgressRecord record;
  ASSERT_TRUE(LoadProgress(dir.file("p.txt.ordax"), record));
  EXPECT_TRUE(record.pending);
  const std::string before = readFile(dir.file("ordax_results.txt"));
  const size_t linesBefore = static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
  EXPECT_EQ(linesBefore, where == "after append" ? static_cast<size_t>(count) : static_cast<size_t>(count - 1));
  EXPECT_EQ(record.found, static_cast<size_t>(count - 1));
  EXPECT_EQ(record.resultsOffset, expected.substr(0, record.resultsOffset).size());
  if (tornWrite) {
    // The kill fell inside the append: half the line reached the file.
    const size_t end = expected.find('\n', before.size());
    writeFile(dir.file("ordax_results.txt"), before + expected.substr(before.size(), (end - before.size()) / 2));
  }
  RunResult resumed = runProgram(ORDAX_BINARY, {"p.txt", "-t=" + std::to_string(threads)}, dir.path());
  EXPECT_EQ(resumed.status, 0) << resumed.output;
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), expected);
  const std::string total = std::to_string(std::count(expected.begin(), expected.end(), '\n'));
  EXPECT_NE(resumed.output.find(" found, appended to"), std::string::npos) << resumed.output;
  EXPECT_NE(resumed.output.find(": " + total + " found"), std::string::npos) << resumed.output;
}

TEST(OrdaxKillResume, KilledRightAfterAppendingAResultItIsNotRepeated) {
  KillAndResume("after append", 1, 1, false);
  KillAndResume("after append", 3, 1, false);
  KillAndResume("after append", 3, 3, false);
}

TEST(OrdaxKillResume, KilledRightBeforeAppendingAResultItIsNotLost) {
  KillAndResume("before append", 2, 1, false);
  KillAndResume("before append", 4, 2, false);
}

TEST(OrdaxKillResume, AResultTornByTheKillIsWrittenWhole) { KillAndResume("before append", 3, 2, true); }

}  // namespace
