// The base-2 fixed-k sieve run in-process from the start of a range (both calls around
// 701/702) and continued, checked against the GMP oracle; its spacing, reduction and
// quadratic-residue choices.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/base2_ksieve.h"
#include "fixedk/ksearch.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "tests/fixedk/ksieve_fixture.h"

namespace {

FixedKCase Case(uint32_t mode, int32_t k, int64_t nmin, int64_t nmax) {
  FixedKCase c;
  c.mode = mode;
  c.k = k;
  c.nmin = nmin;
  c.nmax = nmax;
  return c;
}

// The two calls the sieve loop makes for a new file; returns the console output.
std::string RunFromStart(int64_t maxp) {
  std::string console;
  setPrintCapture(&console);
  job.firstp = 1;
  job.maxp = maxp;
  Base2KSieve(false);
  EXPECT_EQ(job.firstp, 702);
  Base2KSieve(false);
  setPrintCapture(nullptr);
  return console;
}

std::string Check(const FixedKCase& c, int64_t maxp) {
  SetUpFixedKJob(c);
  try {
    RunFromStart(maxp);
    EXPECT_GE(job.firstp, maxp);
  } catch (const SieveStop&) {
    setPrintCapture(nullptr);
    if (job._nvalsleft != 0) return "stopped with values left";
  }
  std::string report = CompareWithOracle(c, oddPrimesBetween(3, static_cast<uint64_t>(maxp - 1)));
  if (VerifyFailures() != 0) report += "a verification failed\n";
  return report;
}

TEST(Base2KSieve, MatchesTheOracleForEachResidueCase) {
  EXPECT_EQ(Check(Case(0x0101, 3, 1, 8000), 100000), "");      // k mod 3 = 0, +1: tests −3 and −6
  EXPECT_EQ(Check(Case(0x0102, 3, 1, 8000), 100000), "");      // k mod 3 = 0, −1
  EXPECT_EQ(Check(Case(0x0101, 5, 1000, 8000), 100000), "");   // k mod 3 = 2, +1: only −10
  EXPECT_EQ(Check(Case(0x0102, 7, 1000, 8000), 100000), "");   // k mod 3 = 1, −1
  EXPECT_EQ(Check(Case(0x0101, 1073741827, 1, 8000), 100000), "");  // k ≥ 2^30: no skip
  EXPECT_EQ(Check(Case(0x0102, 1, 2, 5000), 100000), "");       // 2^n − 1: 3 = 2^2 − 1 survives 3
}

TEST(Base2KSieve, ResidueSkipChangesNothingButTime) {
  const FixedKCase c = Case(0x0101, 5, 1000, 20000);
  SetUpFixedKJob(c);
  RunFromStart(100000);
  const std::vector<int64_t> with = SurvivingN();
  fBase2KSieveResidueSkip = false;
  SetUpFixedKJob(c);
  RunFromStart(100000);
  fBase2KSieveResidueSkip = true;
  EXPECT_EQ(SurvivingN(), with);
}

// The power-residue screening only confines the searches: every form gives the same
// survivors with it and without it, and the oracle's.
TEST(Base2KSieve, PowerResidueScreeningChangesNothingButTime) {
  const FixedKCase cases[] = {Case(0x0101, 5, 1000, 20000), Case(0x0102, 3, 1, 20000),
                              Case(0x0102, 7, 1000, 20000), Case(0x0101, 1073741827, 1, 9000)};
  for (const FixedKCase& c : cases) {
    EXPECT_EQ(Check(c, 200000), "") << c.k;
    const std::vector<int64_t> with = SurvivingN();
    fBase2KSievePowerResidue = false;
    SetUpFixedKJob(c);
    RunFromStart(200000);
    fBase2KSievePowerResidue = true;
    EXPECT_EQ(SurvivingN(), with) << c.k;
  }
}

TEST(Base2KSieve, SparseStoresGiveTheSameSurvivors) {
  const FixedKCase c = Case(0x0101, 3, 1, 5000);
  SetUpFixedKJob(c);
  RunFromStart(100000);
  const std::vector<int64_t> bitmap = SurvivingN();
  for (bool hash : {false, true}) {
    SetUpFixedKJob(c);
    UseSparseStore(hash);
    RunFromStart(100000);
    EXPECT_EQ(SurvivingN(), bitmap) << (hash ? "hash" : "array");
  }
}

TEST(Base2KSieve, ContinuingEqualsOneRun) {
  const FixedKCase c = Case(0x0102, 3, 1, 30000);
  SetUpFixedKJob(c);
  RunFromStart(300000);
  const std::vector<int64_t> oneRun = SurvivingN();
  SetUpFixedKJob(c);
  RunFromStart(40000);
  job.maxp = 300000;
  job.firstp -= 1;  // as a file header records it
  Base2KSieve(false);
  EXPECT_EQ(SurvivingN(), oneRun);
}

// A count stop ends the run at the prime that follows the one whose strikes brought the count
// to the stop value, with the survivors of the primes up to that one, although the searches
// run ahead of the strikes in batches: the stop prime and the survivors from the oracle's
// smallest divisor of each n, for stops at small primes (one by one), at larger ones and
// between two strikes of one batch.
TEST(Base2KSieve, CountStopEndsAtTheSamePrime) {
  const FixedKCase c = Case(0x0102, 3, 1000, 12000);
  constexpr int64_t kMaxp = 400000;
  SetUpFixedKJob(c);
  const std::vector<uint64_t> primes = oddPrimesBetween(3, kMaxp);
  const std::vector<uint64_t> first = OracleFirstDivisors(c, primes);
  std::vector<uint64_t> struck;  // the smallest divisor of every struck n, ascending
  uint32_t all = 0;
  std::vector<bool> initial;
  for (int64_t n = c.nmin; n <= c.nmax; ++n) {
    initial.push_back(IsCandidateNow(n));
    if (!initial.back()) continue;
    ++all;
    if (first[static_cast<size_t>(n - c.nmin)] != 0) struck.push_back(first[static_cast<size_t>(n - c.nmin)]);
  }
  std::sort(struck.begin(), struck.end());
  ASSERT_GT(struck.size(), 1000u);
  // The first call takes the primes to 701 one by one; the batches begin at 702.
  const size_t batched = static_cast<size_t>(std::upper_bound(struck.begin(), struck.end(), 701) - struck.begin());
  for (const size_t at : {batched + 3, struck.size() - 200, struck.size() - 30, struck.size() - 3}) {
    // Stop once the prime struck[at] has made its strikes.
    const uint64_t q = struck[at];
    size_t through = at;
    while (through + 1 < struck.size() && struck[through + 1] == q) ++through;
    const int64_t stopValue = static_cast<int64_t>(all - (through + 1));
    SetUpFixedKJob(c);
    job.StopCriterion = STOP_AT_COUNT;
    job.StopValue = stopValue;
    RunFromStart(kMaxp);
    job.StopCriterion = STOP_NONE;
    const uint64_t next = *std::upper_bound(primes.begin(), primes.end(), q);
    EXPECT_EQ(job.firstp, static_cast<int64_t>(next)) << "stop after " << q;
    EXPECT_EQ(job._nvalsleft, static_cast<uint32_t>(stopValue)) << "stop after " << q;
    for (int64_t n = c.nmin; n <= c.nmax; ++n) {
      const uint64_t d = first[static_cast<size_t>(n - c.nmin)];
      ASSERT_EQ(IsCandidateNow(n), initial[static_cast<size_t>(n - c.nmin)] && (d == 0 || d > q)) << "n " << n << ", stop after " << q;
    }
  }
}

TEST(Base2KSieve, FinalMessageAndEndPrime) {
  SetUpFixedKJob(Case(0x0101, 3, 1000, 3000));
  const std::string console = RunFromStart(1000);
  EXPECT_EQ(job.firstp, 1009);
  EXPECT_NE(console.find("Output file '' generated, contains"), std::string::npos);
}

TEST(Base2KSieve, Spacing) {
  SetUpFixedKJob(Case(0x0101, 3, 10, 400));
  for (uint32_t i = 0; i < range; ++i) ClearBit(i);
  EXPECT_EQ(CommonSpacing(), 1);  // nothing left: d = 1
  for (uint32_t i : {0u, 96u, 192u}) SetBit(i);
  EXPECT_EQ(CommonSpacing(), 96);
  EXPECT_EQ(ReduceSpacing(96), 48);
  ClearBit(0);
  SetBit(4);
  EXPECT_EQ(CommonSpacing(), 4);  // differences are taken from offset 0
  for (uint32_t i = 0; i < range; ++i) (i % 2 == 0) ? SetBit(i) : ClearBit(i);
  EXPECT_EQ(CommonSpacing(), 2);
  EXPECT_EQ(ReduceSpacing(2 * 3 * 5 * 7 * 11), 11);
  EXPECT_EQ(ReduceSpacing(2 * 2 * 17), 34);
  EXPECT_EQ(ReduceSpacing(53), 53);  // cannot be reduced
  EXPECT_EQ(ReduceSpacing(0), 0);
}

TEST(Base2KSieve, SpacingThatCannotBeReducedStillSieves) {
  SetUpFixedKJob(Case(0x0101, 3, 10, 400));
  for (uint32_t i = 0; i < range; ++i) ClearBit(i);
  const uint32_t offsets[] = {53, 106, 159, 212, 265, 318, 371};
  for (uint32_t i : offsets) SetBit(i);
  job._nvalsleft = 7;
  std::string console;
  setPrintCapture(&console);
  job.firstp = 702;
  job.maxp = 200000;
  Base2KSieve(false);
  setPrintCapture(nullptr);
  EXPECT_NE(console.find("Cannot reduce gcd value of 53"), std::string::npos);
  const std::vector<uint64_t> primes = oddPrimesBetween(703, 200000);
  for (uint32_t i : offsets)
    EXPECT_EQ(GetBit(i) != 0, !OracleStrikes(10 + i, primes)) << "n=" << 10 + i;
}

TEST(Base2KSieve, ResidueTestChoice) {
  EXPECT_EQ(ChooseResidueTest(3, true).R, -3);
  EXPECT_TRUE(ChooseResidueTest(3, true).withDouble);
  EXPECT_EQ(ChooseResidueTest(3, false).R, 3);
  EXPECT_EQ(ChooseResidueTest(5, true).R, -10);
  EXPECT_FALSE(ChooseResidueTest(5, true).withDouble);
  EXPECT_EQ(ChooseResidueTest(5, false).R, 5);
  EXPECT_EQ(ChooseResidueTest(7, true).R, -7);
  EXPECT_EQ(ChooseResidueTest(7, false).R, 14);
  EXPECT_EQ(ChooseResidueTest(int64_t{1} << 30, true).R, 0);
}

TEST(Base2KSieve, SingleValueRange) {
  EXPECT_EQ(Check(Case(0x0101, 3, 5000, 5000), 20000), "");
}

}  // namespace
