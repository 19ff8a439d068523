// The loop the README shows, end to end: sieve a little, time the tester on the file, sieve on
// with the advised -osr until removing a candidate costs what testing it does. Larger candidates
// cost more to test, so their sieve must stop deeper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "ordax/timing.h"
#include "tests/support/run_binary.h"

namespace {

struct Advised {
  double osr = 0;
  long long depth = 0;  // the continued file's sieved-to value
  std::string sieveOutput;
};

long long HeaderDepth(const std::string& file) { return std::atoll(readFile(file).c_str()); }

// The last line of `ordax -time`: "-osr=X".
double OsrFrom(const std::string& output) {
  const size_t at = output.rfind("\n-osr=");
  return at == std::string::npos ? -1 : std::atof(output.c_str() + at + 6);
}

// Sieves a first file and times the tester on it: the advice for sieving on.
Advised SieveAndTime(const ScratchDir& dir, int n) {
  Advised a;
  RunResult first = runMorvane({"-w", "-wp=a.txt", "-t=0", "-base=2", "-n=" + std::to_string(n), "-kmin=1",
                                "-kmax=20000", "-osp=100000"},
                               dir.path());
  EXPECT_EQ(first.status, 0) << first.output;
  RunResult timing = runProgram(ORDAX_BINARY, {"-time", "a.txt", "-t=1"}, dir.path());
  EXPECT_EQ(timing.status, 0) << timing.output;
  EXPECT_NE(timing.output.find("Timing a.txt: "), std::string::npos) << timing.output;
  a.osr = OsrFrom(timing.output);
  EXPECT_GE(a.osr, 0.1) << timing.output;
  return a;
}

// Sieves on with the advised rate.
void SieveOn(const ScratchDir& dir, Advised& a) {
  std::ostringstream osr;
  osr << "-osr=" << a.osr;
  // A sieve that never met its rate would run on: the time limit turns that into a failure.
  // Normal priority (-own) and one thread: the rate is measured on the clock.
  RunResult sieve = runProgram(
      "/usr/bin/timeout", {"600", MORVANE_BINARY, "-c", "-ci=a.txt", "-cp=b.txt", "-own", "-ot=1", osr.str()}, dir.path());
  EXPECT_EQ(sieve.status, 0) << "the rate criterion did not stop the sieve";
  a.sieveOutput = sieve.output;
  a.depth = HeaderDepth(dir.file("b.txt"));
}

TEST(OrdaxAdvice, TheAdvisedRateStopsTheSieveDeeperForLargerCandidates) {
  ScratchDir smallDir, largeDir;
  // About 900 candidates each. The sieve shows its first rate after twenty removal reports, at
  // most one a second, when a removal already takes a few tenths of a second: the advice for
  // n=5000 lies below that, so it stops at its first rate; the advice for n=30000 lies well
  // above it, so only the advice can take that sieve deeper (at n=20000 both stopped at their
  // first rate, wherever the clock had taken them).
  // The two searches run side by side, so that whatever else loads the machine slows both
  // alike: the tester's timing and where each sieve stops are measured on the clock.
  Advised small, large;
  std::thread beside([&] {
    large = SieveAndTime(largeDir, 30000);
    SieveOn(largeDir, large);
  });
  small = SieveAndTime(smallDir, 5000);
  SieveOn(smallDir, small);
  beside.join();
  // Both stopped on the rate: the last rate shown is slower than the advice.
  for (const Advised* a : {&small, &large}) {
    const size_t at = a->sieveOutput.rfind("Rate: 1 k every ");
    ASSERT_NE(at, std::string::npos) << a->sieveOutput.substr(a->sieveOutput.size() > 2000 ? a->sieveOutput.size() - 2000 : 0);
    EXPECT_GE(std::atof(a->sieveOutput.c_str() + at + 16) + 0.05, a->osr);
    EXPECT_GT(a->depth, 100000);
  }
  EXPECT_GT(large.osr, small.osr);
  EXPECT_GT(large.depth, small.depth) << "advice " << small.osr << " stopped at " << small.depth << ", advice "
                                      << large.osr << " at " << large.depth;
}

TEST(OrdaxAdvice, TheAdvisedRateIsInTenthsAndNeverBelowTheSievesFinestStep) {
  EXPECT_DOUBLE_EQ(AdvisedRate(0.0001), 0.1);
  EXPECT_DOUBLE_EQ(AdvisedRate(0.26), 0.3);
  EXPECT_DOUBLE_EQ(AdvisedRate(12.34), 12.3);
  EXPECT_DOUBLE_EQ(AdvisedRate(1.0 / 0.0), 0.1);
}

}  // namespace
