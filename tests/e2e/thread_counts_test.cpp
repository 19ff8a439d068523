// Every thread count writes what one thread writes, byte for byte: the sieve file, the removed
// values' log and the console lines (timings and rates aside), for every fixed-n type, the
// primorial forms, other bases, each store, windows across 2^32, the fixed-k forms, a count
// stop and an all-removed ending, on either side of the prime where the workers take over from
// the loop's own thread. The one-thread file is also checked against the GMP oracle,
// so the files agree on the right answer, not just with each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"
#include "tests/support/thread_outcome.h"

namespace {

const unsigned kThreadCounts[] = {2, 3, 8};

struct Job {
  std::string name;
  std::vector<std::string> args;  // without -ot; a continued job names in.txt and out.txt
  std::string input;              // the file to continue ("" for a new file)
  std::optional<OracleJob> oracle;
  int64_t vmin = 0, vmax = 0;     // the range the oracle checks (new files)
};

ThreadOutcome Sieve(const Job& job, unsigned threads) {
  ScratchDir dir;
  std::vector<std::string> args = job.args;
  if (!job.input.empty()) writeFile(dir.file("in.txt"), job.input);
  args.push_back("-ot=" + std::to_string(threads));
  return OutcomeOf(runMorvane(args, dir.path()), dir);
}

void ExpectEveryCountAlike(const Job& job) {
  SCOPED_TRACE(job.name);
  const ThreadOutcome one = Sieve(job, 1);
  ASSERT_EQ(one.status, 0) << one.console;
  ASSERT_FALSE(one.file.empty());
  if (job.oracle) {
    if (job.input.empty())
      EXPECT_EQ(checkSieveFile(one.file, *job.oracle, job.vmin, job.vmax), "");
    else
      EXPECT_EQ(checkWindow(job.input, one.file, *job.oracle), "");
  }
  for (unsigned threads : kThreadCounts) {
    ExpectSameOutcome(one, Sieve(job, threads), threads);
  }
}

Job FixedN(const FixedNJob& j, int64_t stop, const std::vector<std::string>& extra = {}) {
  return {Describe(j), NewFileArgs(j, "out.txt", stop, extra), "", OracleFor(j), j.kmin, j.kmax};
}

Job Continued(const std::string& name, const std::string& input, int64_t stop, const OracleJob& oracle,
              const std::vector<std::string>& extra = {}) {
  return {name, ContinueArgs("in.txt", "out.txt", stop, extra), input, oracle};
}

// The value lines of a file with k fixed: k and each n.
template <class... N>
std::string KValues(int64_t k, N... n) {
  return ((std::to_string(k) + " " + std::to_string(n) + "\n") + ...);
}

// Odd k from first, every step, to last, as the value lines of a file with n fixed.
std::string Values(int64_t first, int64_t step, int64_t last, int n) {
  std::string s;
  for (int64_t k = first; k <= last; k += step) s += std::to_string(k) + " " + std::to_string(n) + "\n";
  return s;
}

TEST(ThreadCounts, EveryFixedNTypeOnBase2) {
  for (int type : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18}) {
    FixedNJob j;
    j.type = type;
    j.n = 60;
    j.kmax = 30000;
    if (type >= 10 && type <= 12) j.length = 4;
    ExpectEveryCountAlike(FixedN(j, 3000000));
  }
}

TEST(ThreadCounts, EveryPrimorialType) {
  for (int type = 0; type <= 12; ++type) {
    FixedNJob j;
    j.type = type;
    j.primorial = true;
    j.n = 53;
    j.kmax = 30000;
    if (type >= 10) j.length = 3;
    ExpectEveryCountAlike(FixedN(j, 3000000));
  }
}

TEST(ThreadCounts, OtherBasesGeneralizedChainsAndEvenK) {
  struct Case {
    int type;
    uint32_t base;
    int64_t n;
    bool generalized, evenK;
    int length;
  };
  for (const Case c : {Case{0, 3, 500, false, false, 0}, Case{2, 10, 300, false, false, 0},
                       Case{5, 3, 40, true, false, 0}, Case{4, 12, 30, false, false, 0},
                       Case{10, 5, 20, true, false, 4}, Case{13, 10, 200, false, false, 0},
                       Case{2, 2, 100, false, true, 0}, Case{14, 6, 50, false, false, 0}}) {
    FixedNJob j;
    j.type = c.type;
    j.base = c.base;
    j.n = c.n;
    j.generalized = c.generalized;
    j.evenK = c.evenK;
    j.length = c.length;
    j.kmax = 30000;
    ExpectEveryCountAlike(FixedN(j, 3000000));
  }
}

// A new file sieved on one thread, to be continued.
std::string Made(const FixedNJob& j, int64_t stop) {
  ScratchDir dir;
  const RunResult r = runMorvane(NewFileArgs(j, "made.txt", stop, {"-ot=1"}), dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  return readFile(dir.file("made.txt"));
}

// The stores a continued file lands in, by the bitmap budget and the spread of its values.
TEST(ThreadCounts, HashArrayAndSparseStores) {
  FixedNJob j;
  j.type = 2;
  j.n = 100;
  j.kmax = 200000;
  const std::string twins = Made(j, 100000);
  for (const auto& [budget, store] : {std::pair{"-ob=0.022", "using fastarray"}, std::pair{"-ob=0.005", "using array"}}) {
    const Job job = Continued(store, twins, 3000000, OracleFor(j), {budget});
    ExpectEveryCountAlike(job);
    EXPECT_NE(Sieve(job, 2).console.find(store), std::string::npos);
  }
  ExpectEveryCountAlike(
      Continued("sparse store", "1000:P:1:2:1\n" + Values(1, 33333334, 9999999999, 77), 3000000, OracleJob(0x01, 2, 77)));
}

TEST(ThreadCounts, WindowsAcross2To32WithTheRemovedValuesLogged) {
  ExpectEveryCountAlike(Continued("bitmap", "4294900000:T:1:2:3\n" + Values(1, 2, 40001, 1000), 4295200000,
                                  OracleJob(0x03, 2, 1000), {"-ol"}));
  ExpectEveryCountAlike(Continued("sparse store", "4294900000:P:1:2:1\n" + Values(1, 2002, 20000001, 700),
                                  4295200000, OracleJob(0x01, 2, 700), {"-ol"}));
  ExpectEveryCountAlike(Continued("primorial", "4294900000:T:1:2:67\n" + Values(1, 1, 30000, 101), 4295100000,
                                  OracleJob(0x43, 2, 101), {"-ol"}));
}

TEST(ThreadCounts, FixedKForms) {
  struct Case {
    int type;
    uint32_t base;
    int64_t k;
    uint32_t mode;
  };
  for (const Case c : {Case{16, 2, 3, 0x0101}, Case{17, 2, 3, 0x0102}, Case{16, 3, 2, 0x0101},
                       Case{17, 10, 7, 0x0102}, Case{19, 2, 3, 0x8001}, Case{20, 10, 7, 0x8002}}) {
    const std::string name = "type " + std::to_string(c.type) + " base " + std::to_string(c.base);
    ExpectEveryCountAlike({name,
                           {"-w", "-wp=out.txt", "-t=" + std::to_string(c.type), "-base=" + std::to_string(c.base),
                            "-k=" + std::to_string(c.k), "-nmin=1", "-nmax=3000", "-osp=300000"},
                           "",
                           OracleJob(c.mode, c.base, c.k),
                           1,
                           3000});
  }
  ExpectEveryCountAlike(Continued("type 17 window across 2^32", "4294900000:M:1:2:258\n3 1001\n3 1003\n3 1011\n",
                                  4295200000, OracleJob(0x0102, 2, 3), {"-ol"}));
}

// Conditional moves masked: base 2 fixed k then runs through the sieve loop's procedures
// (the table search, or the short-range walk) instead of its own sieve.
struct NoConditionalMoves {
  NoConditionalMoves() { setenv("MORVANE_CPU", "nocmov", 1); }
  ~NoConditionalMoves() { unsetenv("MORVANE_CPU"); }
};

Job NewFixedK(const std::string& name, int type, uint32_t base, int64_t k, int64_t nmin, int64_t nmax, int64_t stop,
              uint32_t mode, const std::vector<std::string>& extra = {}) {
  Job job{name,
          {"-w", "-wp=out.txt", "-t=" + std::to_string(type), "-base=" + std::to_string(base), "-k=" + std::to_string(k),
           "-nmin=" + std::to_string(nmin), "-nmax=" + std::to_string(nmax), "-osp=" + std::to_string(stop)},
          "",
          OracleJob(mode, base, k),
          nmin,
          nmax};
  job.args.insert(job.args.end(), extra.begin(), extra.end());
  return job;
}

// The fixed-k procedures of the sieve loop search their primes on the workers; the loop's
// thread applies the strikes in prime order. Deep enough for a dozen chunks.
TEST(ThreadCounts, FixedKSievesOfTheLoop) {
  const int64_t deep = 3000000;
  ExpectEveryCountAlike(NewFixedK("2*3^n+1", 16, 3, 2, 1, 600, deep, 0x0101, {"-ol"}));
  ExpectEveryCountAlike(NewFixedK("4*5^n-1", 17, 5, 4, 1000, 1600, deep, 0x0102));
  ExpectEveryCountAlike(NewFixedK("7*10^n+1", 16, 10, 7, 1, 600, deep, 0x0101));
  ExpectEveryCountAlike(NewFixedK("2^n+7", 19, 2, 7, 1, 600, deep, 0x8001));
  ExpectEveryCountAlike(NewFixedK("3^n-4", 20, 3, 4, 1000, 1600, deep, 0x8002));
  const NoConditionalMoves masked;
  ExpectEveryCountAlike(NewFixedK("3*2^n-1, table search, tiny candidates", 17, 2, 3, 1, 3600, deep, 0x0102));
  ExpectEveryCountAlike(NewFixedK("5*2^n+1, short range", 16, 2, 5, 5000, 5600, deep, 0x0101, {"-ol"}));
}

// Above 2^32 the short-range walk turns from halvings to doublings and the other bases'
// searches from one modular product to another: a window across it, a chunk split there.
// Each file holds values struck on both sides (found with pari-gp's znlog):
// 4294042561 | 2·3^33684+1, 4294203779 | 2·3^94774+1, 4295049307 | 2·3^60298+1,
// 4295569601 | 2·3^50422+1; 4294003013 | 5·2^2864011+1, 4295797369 | 5·2^2862692+1.
TEST(ThreadCounts, FixedKWindowsAcross2To32) {
  const std::string threes = "4294000000:P:1:3:257\n" + KValues(2, 1001, 33684, 50422, 60298, 77777, 94774, 99999);
  ExpectEveryCountAlike(Continued("2*3^n+1", threes, 4300000000, OracleJob(0x0101, 3, 2), {"-ol"}));
  const NoConditionalMoves masked;
  const std::string twos = "4294000000:P:1:2:257\n" + KValues(5, 2862500, 2862692, 2863001, 2864011, 2864300);
  ExpectEveryCountAlike(Continued("5*2^n+1, short range", twos, 4300000000, OracleJob(0x0101, 2, 5), {"-ol"}));
}

// The other bases take their primes in sixteens: a count stop far out, where the walk passes
// over most primes by counting, must still land where one thread's batch ends.
TEST(ThreadCounts, CountStopOfSixteenPrimeBatchesAtLargePrimes) {
  FixedNJob j;
  j.type = 0;
  j.base = 10;
  j.n = 1000;
  j.kmax = 300000;
  std::string far = Made(j, 1000000);
  far.replace(0, far.find(':'), "10000000000");
  const int64_t left = std::count(far.begin(), far.end(), '\n') - 1;
  ExpectEveryCountAlike(Continued("base 10 count stop at 10^10", far, 20000000000, OracleFor(j),
                                  {"-osu=" + std::to_string(left - 3)}));
  FixedNJob primorial;  // the primorial procedures batch by sixteen too
  primorial.type = 0;
  primorial.primorial = true;
  primorial.n = 997;
  primorial.kmax = 300000;
  far = Made(primorial, 1000000);
  far.replace(0, far.find(':'), "10000000000");
  const int64_t remaining = std::count(far.begin(), far.end(), '\n') - 1;
  ExpectEveryCountAlike(Continued("primorial count stop at 10^10", far, 20000000000, OracleFor(primorial),
                                  {"-osu=" + std::to_string(remaining - 3)}));
}

// Far out the workers keep only a few primes after each struck one, as many as its group may
// still draw: consecutive count stops put the last struck prime at different places in its
// group, and each stop must land where one thread's group ends. Sixteens of the other bases,
// twelves of base 2, and its sixes where the processor is taken to lack SSE2. Each window of
// stops holds one whose last struck prime opens its group, which a reach one prime short
// misses (base 10 from 10^9: the 9th value removed; base 2 from 10^10: the 3rd).
struct ProcessorMask {
  explicit ProcessorMask(const char* mask) { setenv("MORVANE_CPU", mask, 1); }
  ~ProcessorMask() { unsetenv("MORVANE_CPU"); }
};

TEST(ThreadCounts, CountStopsAtEveryPlaceInAGroup) {
  auto sweep = [](const FixedNJob& j, const std::string& name, int64_t from, int64_t firstRemoved) {
    std::string far = Made(j, 1000000);
    far.replace(0, far.find(':'), std::to_string(from));
    const int64_t left = std::count(far.begin(), far.end(), '\n') - 1;
    for (int64_t removed = firstRemoved; removed < firstRemoved + 5; ++removed)
      ExpectEveryCountAlike(Continued(name + ", stop after " + std::to_string(removed) + " removed", far, 2 * from,
                                      OracleFor(j), {"-osu=" + std::to_string(left - removed)}));
  };
  FixedNJob j;
  j.type = 0;
  j.base = 10;
  j.n = 1000;
  j.kmax = 300000;
  sweep(j, "base 10", 1000000000, 5);
  j.base = 2;
  sweep(j, "base 2", 10000000000, 1);
  ProcessorMask noSse2("nosse2");
  sweep(j, "base 2 without SSE2", 10000000000, 1);
}

// A slow run (a sanitizer build, a loaded machine) prints rates and progress lines by the
// clock; the comparison leaves those out but still sees where the run stopped.
TEST(ThreadCounts, ConsoleComparisonLeavesOutOnlyWhatTheClockDecides) {
  const std::string end = "Sieved up to 983474309 (99%)\nSaving results to out.txt...\n";
  const std::string quick = "Starting sieve\n" + end;
  const std::string slow = "Starting sieve\nSieved up to 251658313 (25%)\nRate: 98 k's per second\n" + end;
  EXPECT_EQ(WithoutTimings(slow), WithoutTimings(quick));
  EXPECT_NE(WithoutTimings(quick), WithoutTimings("Starting sieve\nSieved up to 983474311 (99%)\nSaving results to out.txt...\n"));
  EXPECT_NE(WithoutTimings(quick), WithoutTimings("Starting sieve\nk is tiny\n" + end));
}

// Stops of a new file, shared by the thread-count cases and the hand-over cases.
FixedNJob StopTwins() {
  FixedNJob twins;
  twins.type = 2;
  twins.n = 1000;
  twins.kmax = 300000;
  return twins;
}
Job CountStop(const std::string& name, const FixedNJob& j, int64_t left, int64_t stop = 1000000000) {
  return {name, NewFileArgs(j, "out.txt", stop, {"-osu=" + std::to_string(left)}), "", OracleFor(j), j.kmin, j.kmax};
}
Job TwinsCountStop() { return CountStop("count stop", StopTwins(), 500); }
Job TensCountStop() {  // the sixteen-prime batches of the other bases
  FixedNJob tens = StopTwins();
  tens.base = 10;
  return CountStop("count stop, base 10", tens, 1600);
}
Job AllRemoved() {
  FixedNJob lucky;
  lucky.type = 9;
  lucky.base = 7;
  lucky.n = 20;
  lucky.kmax = 30000;
  return {"all removed", NewFileArgs(lucky, "out.txt", 100000), "", OracleFor(lucky), lucky.kmin, lucky.kmax};
}

TEST(ThreadCounts, CountStopAndAllRemovedEnding) {
  ExpectEveryCountAlike(TwinsCountStop());
  ExpectEveryCountAlike(TensCountStop());
  ExpectEveryCountAlike(NewFixedK("count stop, 2*3^n+1", 16, 3, 2, 1, 600, 3000000, 0x0101, {"-osu=73"}));
  FixedNJob primorial = StopTwins();
  primorial.type = 0;
  primorial.primorial = true;
  primorial.n = 997;
  ExpectEveryCountAlike(CountStop("count stop, primorial", primorial, 100400));
  ExpectEveryCountAlike(AllRemoved());
}

// The loop's own thread walks the dense start and the workers take over past a prime the run
// chooses; a test may place that prime. Stops must come out alike wherever it falls: well
// before the stop, just before it (the stop may already be pending at the hand-over) and after
// it (the workers never start).
class HandOverAt {
 public:
  explicit HandOverAt(int64_t p) { setenv("MORVANE_TEST_THREADS_FROM", std::to_string(p).c_str(), 1); }
  ~HandOverAt() { unsetenv("MORVANE_TEST_THREADS_FROM"); }
};

// With no places given, around where the one-thread run stopped.
void ExpectAlikeAcrossTheHandOver(const Job& job, std::vector<int64_t> places = {}) {
  SCOPED_TRACE(job.name);
  const ThreadOutcome one = Sieve(job, 1);
  ASSERT_EQ(one.status, 0) << one.console;
  if (job.oracle) {
    EXPECT_EQ(checkSieveFile(one.file, *job.oracle, job.vmin, job.vmax), "");
  }
  const int64_t stop = std::stoll(one.file.substr(0, one.file.find(':')));
  if (places.empty()) places = {stop / 2, stop - 1, stop + 1000};
  for (int64_t from : places) {
    SCOPED_TRACE("hand-over after " + std::to_string(from));
    HandOverAt handOver(from);
    for (unsigned threads : kThreadCounts) ExpectSameOutcome(one, Sieve(job, threads), threads);
  }
}

TEST(ThreadCounts, StopsOnEitherSideOfTheHandOver) {
  ExpectAlikeAcrossTheHandOver(TwinsCountStop());
  ExpectAlikeAcrossTheHandOver(TensCountStop());
  ExpectAlikeAcrossTheHandOver(AllRemoved());
  // Where nearly every prime strikes, a hand-over must not lose the prime a pair holds back:
  // of two neighbouring places (97 | 101 | 103), one falls in the middle of a pair, and about
  // one value in a hundred of the two thousand left is struck by the prime alone.
  FixedNJob dense;
  dense.type = 0;
  dense.n = 1000;
  dense.kmax = 30000;
  ExpectAlikeAcrossTheHandOver(FixedN(dense, 3000000), {100, 101});
  // Where strikes are sparse, the pairs' walk keeps only a struck prime and the two after it:
  // a stop caused by the first prime of a pair is noticed two primes on. Several stops, so
  // that the first and the second prime of a pair each cause some.
  FixedNJob sparse = StopTwins();
  sparse.kmax = 30000;
  for (int left : {80, 70, 60, 50, 45})
    ExpectAlikeAcrossTheHandOver(CountStop("count stop at " + std::to_string(left), sparse, left, 100000000), {1000});
}

}  // namespace
