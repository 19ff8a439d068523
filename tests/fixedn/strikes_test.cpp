// The pure per-prime work against the work procedures themselves: over the same primes, the
// classes FindStrikes records, batch after batch, must be exactly the ClearRoutine calls the
// work procedures make when the loop drives them, in the same order, for every finder family,
// across the hand-overs at 2^32 and past the inverse table, however the primes are cut into
// batches and on several threads at once.
#include "fixedn/strikes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "engine/sieve_job.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"
#include "kernels/kernel_context.h"
#include "kernels/primorial.h"
#include "primes/primetable.h"
#include "primes/soe2.h"

namespace {

using Calls = std::vector<std::pair<int64_t, int64_t>>;  // (k, p) as ClearRoutine gets them
Calls cleared;
void RecordClear(int64_t k, int64_t p) { cleared.emplace_back(k, p); }

// Names the first call that differs rather than printing both lists.
void ExpectCalls(const Calls& got, const Calls& want) {
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    ASSERT_EQ(got[i], want[i]) << "call " << i << " of " << want.size();
  ASSERT_EQ(got.size(), want.size());
}

struct StrikesFixture : ::testing::Test {
  static void SetUpTestSuite() {
    FillPrimetable();
    soe2_memory(0);
  }
  void SetUp() override {
    saved = job;
    savedKernel = kernel;
    cleared.clear();
    ResetWorkProcedures();
  }
  void TearDown() override {
    job = saved;
    kernel = savedKernel;
  }
  void Job(uint32_t base, uint32_t n, uint32_t mode, int64_t maxNum) {
    job._base = base;
    job._mode = mode;
    job._nvalue = static_cast<int32_t>(n);
    job.MaxNum = maxNum;
    job.len3plus = 3;
    kernel._base = base;
    kernel._nvalue = static_cast<int32_t>(n);
    kernel._firstbit32 = n > 1 ? (1u << (31 - __builtin_clz(n))) >> 1 : 0;
  }
  // The work procedures as the loop drives them, recording ClearRoutine; returns the primes
  // they were given.
  std::vector<int64_t> Serial(WorkProcedure first, RemoveProcedure rule, int64_t start, int64_t end) {
    job.maxp = end;
    workprocedure = first;
    RemoveRoutine = rule;
    ClearRoutine = RecordClear;
    soe2_init(start, false);
    for (int64_t p = soe2_next(); p < end; p = soe2_next()) workprocedure(p);
    FlushWorkProcedures();
    // Batch procedures draw primes themselves: list them in a pass of their own.
    std::vector<int64_t> primes;
    soe2_init(start, false);
    for (int64_t p = soe2_next(); p < end; p = soe2_next()) primes.push_back(p);
    return primes;
  }
  // FindStrikes over the same primes in batches of random sizes.
  static Calls Batched(const StrikeContext& ctx, const std::vector<int64_t>& primes, unsigned seed) {
    std::mt19937 rng(seed);
    Calls calls;
    std::vector<Strike> out;
    for (size_t at = 0; at < primes.size();) {
      uint32_t n = static_cast<uint32_t>(std::min<size_t>(1 + rng() % 40, primes.size() - at));
      out.clear();
      FindStrikes(ctx, primes.data() + at, n, out);
      for (const Strike& s : out) calls.emplace_back(s.k, primes[at + s.index]);
      at += n;
    }
    return calls;
  }
  void ExpectSame(WorkProcedure first, RemoveProcedure rule, int64_t start, int64_t end) {
    std::vector<int64_t> primes = Serial(first, rule, start, end);
    ASSERT_FALSE(primes.empty());
    RemoveRoutine = rule;
    StrikeContext ctx;
    ASSERT_TRUE(PrepareStrikes(ctx));
    ASSERT_FALSE(cleared.empty());
    ExpectCalls(Batched(ctx, primes, 1), cleared);
    // Three threads at once, each on the whole list with its own cuts.
    Calls results[3];
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 3; ++t)
      threads.emplace_back([&, t] { results[t] = Batched(ctx, primes, 10 + t); });
    for (auto& th : threads) th.join();
    for (const Calls& r : results) ExpectCalls(r, cleared);
  }
  SieveJob saved;
  KernelContext savedKernel;
};

TEST_F(StrikesFixture, Base2AcrossTheHandOverAt2To32) {
  const int64_t start = (int64_t{1} << 32) - 3000, end = (int64_t{1} << 32) + 5000;
  job.fCMOV = job.fSSE2 = true;
  for (RemoveProcedure rule : {Remove_Plus, Remove_SG, Remove_CC23, Remove_4tuple}) {
    cleared.clear();
    ResetWorkProcedures();
    Job(2, 1001, 0x0A, int64_t{1} << 40);
    ExpectSame(WorkProcBase2_Smallp, rule, start, end);
  }
}

TEST_F(StrikesFixture, Base2TwinClassesCarryTheirPlaceInTheRule) {
  Job(2, 500, 0x03, 3000000);  // small MaxNum: many classes left out
  std::vector<int64_t> primes = Serial(WorkProcBase2_Smallp, Remove_Twin, 1, 20000);
  RemoveRoutine = Remove_Twin;
  StrikeContext ctx;
  ASSERT_TRUE(PrepareStrikes(ctx));
  EXPECT_TRUE(ctx.twin);
  EXPECT_EQ(Batched(ctx, primes, 3), cleared);
  std::vector<Strike> out;
  FindStrikes(ctx, primes.data(), static_cast<uint32_t>(primes.size()), out);
  for (const Strike& s : out) {
    const int64_t p = primes[s.index];
    // slot 0 holds k0, slot 1 holds p − k0, and k0 + (p − k0) = p.
    EXPECT_LT(s.slot, 2u);
    for (const Strike& t : out) {
      if (t.index == s.index && t.slot != s.slot) {
        EXPECT_EQ(s.k + t.k, p);
      }
    }
  }
}

TEST_F(StrikesFixture, Base2ProgressionAndSmallCandidates) {
  Job(2, 61, 0x200, 1000000);
  ExpectSame(WorkProcBase2_AP_Smallp, Remove_AP, 1, 30000);
  cleared.clear();
  ResetWorkProcedures();
  Job(2, 3, 0x0F, 5000);  // k·8 ± 1 chains: members as small as the primes
  ExpectSame(WorkProcBase2_Smallp, Remove_Bi_tiny, 1, 40000);
}

TEST_F(StrikesFixture, OtherBasesByTableAndPastIt) {
  Job(10, 99, 0x05, int64_t{1} << 40);  // generalized chains: the next link uses b^(−1)
  ASSERT_TRUE(FindBaseInverses());
  MaxpForWorkProcNotBase2 = 15000;
  ExpectSame(WorkProcNotBase2, Remove_CC, 1, 30000);
  cleared.clear();
  Job(255256, 7, 0x01, int64_t{1} << 40);
  ASSERT_FALSE(FindBaseInverses());
  ExpectSame(WorkProcNotBase2_NoInverses, Remove_Plus, 1, 20000);
  cleared.clear();
  Job(10, 0, 0x05, 5000);  // b^0 = 1: 5 divides k·10^0 + 1 although it divides the base
  ASSERT_TRUE(FindBaseInverses());
  MaxpForWorkProcNotBase2 = 1000;
  ExpectSame(WorkProcNotBase2, Remove_CC, 1, 3000);
  EXPECT_NE(std::find(cleared.begin(), cleared.end(), std::make_pair(int64_t{4}, int64_t{5})), cleared.end());
  cleared.clear();
  Job(6, 17, 0x200, 100000);
  ExpectSame(WorkProcNotBase2_AP, Remove_AP, 1, 20000);
  // Batches of sixteen across 2^52, where the IFMA chains give way to the portable ones.
  const int64_t edge = int64_t{1} << 52;
  cleared.clear();
  Job(12, 1000, 0x03, int64_t{1} << 60);
  ASSERT_TRUE(FindBaseInverses());
  MaxpForWorkProcNotBase2 = INT64_MAX / 12;
  ExpectSame(WorkProcNotBase2, Remove_Twin, edge - 3000, edge + 3000);
  cleared.clear();
  Job(5, 1001, 0x200, int64_t{1} << 60);
  ExpectSame(WorkProcNotBase2_AP, Remove_AP, edge - 3000, edge + 3000);
}

TEST_F(StrikesFixture, PrimorialAcrossTheHandOver) {
  Job(2, 31, 0xC3, int64_t{1} << 40);
  FillPackPrimorial(31, 0xC3);
  const int64_t start = (int64_t{1} << 32) - 2000, end = (int64_t{1} << 32) + 3000;
  ExpectSame(WorkProcPrimorial_Smallp, Remove_3tuple, start, end);
  cleared.clear();
  ResetWorkProcedures();
  Job(2, 31, 0x240, 100000);
  FillPackPrimorial(31, 0x240);
  ExpectSame(WorkProcPrimorial_AP_Smallp, Remove_AP, 1, 30000);
}

TEST_F(StrikesFixture, FixedKRunsHaveNoPerPrimeStrikes) {
  Job(2, 3, 0x0102, 100000);
  RemoveRoutine = Remove_Minus;
  StrikeContext ctx;
  EXPECT_FALSE(PrepareStrikes(ctx));
}

}  // namespace
