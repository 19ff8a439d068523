// The threaded walk where it passes over most primes without looking at them: at large p
// only a prime whose class falls inside the range is applied, and the walk counts its way
// across the stretches between. Stops that land inside such a stretch (a count stop, the
// last value gone) and the removals themselves must fall exactly where one thread puts
// them; the oracle checks the window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"
#include "tests/support/thread_outcome.h"

namespace {

ThreadOutcome Continue(const std::string& input, int64_t stop, unsigned threads, const std::vector<std::string>& extra = {}) {
  ScratchDir dir;
  writeFile(dir.file("in.txt"), input);
  std::vector<std::string> args = ContinueArgs("in.txt", "out.txt", stop, extra);
  args.push_back("-ol");
  args.push_back("-ot=" + std::to_string(threads));
  return OutcomeOf(runMorvane(args, dir.path()), dir);
}

void ExpectAlikeForEveryCount(const ThreadOutcome& one, const std::string& input, int64_t stop,
                              const std::vector<std::string>& extra = {}) {
  for (unsigned threads : {2u, 3u, 8u}) {
    ExpectSameOutcome(one, Continue(input, stop, threads, extra), threads);
  }
}

// The survivors of a twin sieve to 10^6, restarted at `depth` as if sieved that far: what the
// window removes is then all the window's doing.
std::string TwinsFrom(int64_t depth, int64_t kmax) {
  static std::string made;
  static int64_t madeFor = 0;
  if (madeFor != kmax) {
    FixedNJob j;
    j.type = 2;
    j.n = 1000;
    j.kmax = kmax;
    ScratchDir dir;
    const RunResult r = runMorvane(NewFileArgs(j, "made.txt", 1000000, {"-ot=1"}), dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    made = readFile(dir.file("made.txt"));
    madeFor = kmax;
  }
  return std::to_string(depth) + made.substr(made.find(':'));
}

size_t Lines(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

// The values a run removed, from its log of removals.
std::vector<int64_t> RemovedValues(const std::string& log) {
  static const std::regex line(R"(k=(\d+))");
  std::vector<int64_t> out;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
    out.push_back(std::atoll((*it)[1].str().c_str()));
  return out;
}

const OracleJob kTwins(0x03, 2, 1000);

TEST(ThreadedWalk, SparseClassesNearTenToTheTenMatchOneThreadAndTheOracle) {
  const std::string input = TwinsFrom(10000000000, 20000000);
  const int64_t stop = 10100000000;
  const ThreadOutcome one = Continue(input, stop, 1);
  ASSERT_EQ(one.status, 0) << one.console;
  EXPECT_GT(RemovedValues(one.removedLog).size(), 3u) << one.removedLog;
  EXPECT_EQ(checkWindow(input, one.file, kTwins), "");
  ExpectAlikeForEveryCount(one, input, stop);
}

// Above 10^12 a chunk holds millions of primes and only a handful of classes.
TEST(ThreadedWalk, VerySparseClassesNearTenToTheTwelve) {
  const std::string input = TwinsFrom(1000000000000, 20000000);
  const int64_t stop = 1000200000000;
  const ThreadOutcome one = Continue(input, stop, 1);
  ASSERT_EQ(one.status, 0) << one.console;
  EXPECT_EQ(checkWindow(input, one.file, kTwins), "");
  ExpectAlikeForEveryCount(one, input, stop);
}

// A count stop lands wherever the count is reached, mid-chunk: the values left and the depth
// claimed are one thread's. (The count replaces the stop at p.)
TEST(ThreadedWalk, CountStopInsideAChunk) {
  const std::string input = TwinsFrom(10000000000, 20000000);
  const int64_t stop = 100000000000;
  const size_t before = Lines(input) - 1;
  const std::vector<std::string> extra = {"-osu=" + std::to_string(before - 5)};
  const ThreadOutcome one = Continue(input, stop, 1, extra);
  ASSERT_EQ(one.status, 0) << one.console;
  SieveFileData data;
  std::string error;
  ASSERT_TRUE(parseSieveFile(one.file, data, error)) << error;
  EXPECT_LT(data.depth, 10100000000);  // about 20 values go in every 10^8 here
  EXPECT_LE(data.lines.size(), before - 5);
  EXPECT_EQ(checkWindow(input, one.file, kTwins), "");
  ExpectAlikeForEveryCount(one, input, stop, extra);
}

// A file of exactly the values a window removes: the last one goes at a large prime, and the
// depth written there is one thread's.
TEST(ThreadedWalk, LastValueGoesAtALargePrime) {
  const std::string input = TwinsFrom(10000000000, 20000000);
  const int64_t stop = 10100000000;
  const ThreadOutcome window = Continue(input, stop, 1);
  const std::vector<int64_t> removed = RemovedValues(window.removedLog);
  ASSERT_FALSE(removed.empty());
  std::string doomed = input.substr(0, input.find('\n') + 1);
  for (int64_t k : std::set<int64_t>(removed.begin(), removed.end())) doomed += std::to_string(k) + " 1000\n";
  const ThreadOutcome one = Continue(doomed, stop, 1);
  EXPECT_NE(one.console.find("removed"), std::string::npos) << one.console;
  ExpectAlikeForEveryCount(one, doomed, stop);
}

// A worker that fails stops the run with a message and a file whose depth it has earned.
TEST(ThreadedWalk, AFailingWorkerStopsTheRunWithAnHonestFile) {
  const std::string input = TwinsFrom(10000000000, 20000000);
  const int64_t stop = 10100000000;
  setenv("MORVANE_TEST_FAIL_THREAD_AT", "10050000000", 1);
  const ThreadOutcome failed = Continue(input, stop, 2);
  unsetenv("MORVANE_TEST_FAIL_THREAD_AT");
  EXPECT_NE(failed.console.find("Out of memory in a sieving thread"), std::string::npos) << failed.console;
  SieveFileData data;
  std::string error;
  ASSERT_TRUE(parseSieveFile(failed.file, data, error)) << error << failed.console;
  EXPECT_GT(data.depth, 10000000000);
  EXPECT_LE(data.depth, 10050000000);
  EXPECT_EQ(checkWindow(input, failed.file, kTwins), "");
}

ThreadOutcome FixedK(const std::vector<std::string>& extra, unsigned threads) {
  ScratchDir dir;
  std::vector<std::string> args = {"-w", "-wp=out.txt", "-t=17", "-base=2", "-k=3", "-nmin=1", "-nmax=20000", "-ol"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back("-ot=" + std::to_string(threads));
  return OutcomeOf(runMorvane(args, dir.path()), dir);
}

// The fixed-k walk's searches run on the workers; a count stop the strikes cause ends the
// run at the next prime, as on one thread.
TEST(ThreadedWalk, FixedKCountStop) {
  const ThreadOutcome shallow = FixedK({"-osp=1000000"}, 1);
  SieveFileData data;
  std::string error;
  ASSERT_TRUE(parseSieveFile(shallow.file, data, error)) << error;
  const std::vector<std::string> extra = {"-osu=" + std::to_string(data.lines.size() - 20)};
  const ThreadOutcome one = FixedK(extra, 1);
  ASSERT_TRUE(parseSieveFile(one.file, data, error)) << error;
  EXPECT_GT(data.depth, 1000000);
  EXPECT_EQ(checkSieveFile(one.file, OracleJob(0x0102, 2, 3), 1, 20000), "");
  for (unsigned threads : {2u, 3u, 8u}) ExpectSameOutcome(one, FixedK(extra, threads), threads);
}

TEST(ThreadedWalk, FixedKFailingWorkerLeavesAnHonestFile) {
  setenv("MORVANE_TEST_FAIL_THREAD_AT", "2000000", 1);
  const ThreadOutcome failed = FixedK({"-osp=5000000"}, 2);
  unsetenv("MORVANE_TEST_FAIL_THREAD_AT");
  EXPECT_NE(failed.console.find("Out of memory in a sieving thread"), std::string::npos) << failed.console;
  SieveFileData data;
  std::string error;
  ASSERT_TRUE(parseSieveFile(failed.file, data, error)) << error << failed.console;
  EXPECT_LE(data.depth, 2000000);
  EXPECT_EQ(checkSieveFile(failed.file, OracleJob(0x0102, 2, 3), 1, 20000), "");
}

}  // namespace
