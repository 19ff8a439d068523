// The work procedures, driven by the real prime source as the loop drives them: every prime
// below the limit must reach the removal rule exactly once, in ascending order, with the
// residue GMP computes, across the pairing, six-prime, collecting and twelve-prime
// procedures and their hand-overs at 2^32 and 2^46, with held primes applied by the flush.
#include "fixedn/work_procedures.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/sieve_job.h"
#include "fixedn/removal_rules.h"
#include "kernels/batch_finders.h"
#include "kernels/kernel_context.h"
#include "kernels/primorial.h"
#include "primes/primetable.h"
#include "primes/soe2.h"
#include "tests/support/oracle.h"

namespace {

std::vector<std::pair<int64_t, int64_t>> removed, cleared;
void RecordRemove(const int64_t& p, int64_t k0) { removed.emplace_back(p, k0); }
void RecordClear(int64_t k, int64_t p) { cleared.emplace_back(k, p); }

// Residues the procedures must find, computed with GMP.
int64_t InversePower(uint32_t b, uint32_t n, uint64_t p) {
  mpz_class r, bb = b, m = static_cast<unsigned long>(p);
  mpz_powm_ui(r.get_mpz_t(), bb.get_mpz_t(), n, m.get_mpz_t());
  if (r == 0) return -1;
  mpz_invert(r.get_mpz_t(), r.get_mpz_t(), m.get_mpz_t());
  return r.get_si();
}
int64_t ProgressionResidue(uint32_t b, uint32_t n, uint64_t p) {  // k0 in 1..p
  mpz_class x, bb = b, m = static_cast<unsigned long>(p);
  mpz_powm_ui(x.get_mpz_t(), bb.get_mpz_t(), n, m.get_mpz_t());
  int64_t sub = (b & 1) ? 2 : 1, xr = x.get_si(), pp = static_cast<int64_t>(p);
  // 2k ≡ sub − x (mod p), k = that times 2^(−1).
  int64_t t = ((sub - xr) % pp + pp) % pp;
  int64_t k = (t % 2 == 0) ? t / 2 : (t + pp) / 2;
  return k == 0 ? pp : k;
}

struct WorkFixture : ::testing::Test {
  static void SetUpTestSuite() {
    FillPrimetable();
    soe2_memory(0);
  }
  void SetUp() override {
    saved = job;
    removed.clear();
    cleared.clear();
    RemoveRoutine = RecordRemove;
    ClearRoutine = RecordClear;
    job.MaxNum = INT64_MAX / 4;
    ResetWorkProcedures();
  }
  void TearDown() override { job = saved; }
  void Job(uint32_t base, uint32_t n, uint32_t mode) {
    job._base = base;
    job._mode = mode;
    job._nvalue = static_cast<int32_t>(n);
    kernel._base = base;
    kernel._nvalue = static_cast<int32_t>(n);
    kernel._firstbit32 = n > 1 ? (1u << (31 - __builtin_clz(n))) >> 1 : 0;
  }
  // Runs the loop's part: every prime above start and below end goes to workprocedure,
  // then the held primes are flushed as before a save.
  void Run(WorkProcedure first, int64_t start, int64_t end) {
    job.maxp = end;
    workprocedure = first;
    soe2_init(start, false);
    for (int64_t p = soe2_next(); p < end; p = soe2_next()) workprocedure(p);
    FlushWorkProcedures();
  }
  // Every number the prime source delivers in (start, end) (above MAXGUAR some are
  // composites free of small factors; they are sieved with like primes), once, ascending,
  // with its expected residue.
  template <class Expected>
  void ExpectEveryPrime(int64_t start, int64_t end, Expected expected) {
    std::vector<std::pair<int64_t, int64_t>> want;
    std::vector<uint64_t> delivered;
    soe2_init(start, false);
    for (int64_t p = soe2_next(); p < end; p = soe2_next()) delivered.push_back(static_cast<uint64_t>(p));
    if (end <= MAXGUAR) {
      EXPECT_EQ(delivered, oddPrimesBetween(static_cast<uint64_t>(start) + 1, static_cast<uint64_t>(end) - 1));
    }
    for (uint64_t q : delivered) {
      int64_t k = expected(q);
      if (k >= 0) want.emplace_back(static_cast<int64_t>(q), k);
    }
    ASSERT_EQ(removed.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(removed[i], want[i]) << "entry " << i;
  }
  SieveJob saved;
};

using WorkProcedures = WorkFixture;

TEST_F(WorkProcedures, Base2PairsBelow2To32AndFlushesTheHeldPrime) {
  Job(2, 1000, 0x03);
  Run(WorkProcBase2_Smallp, 1, 30011);  // an odd count of primes: the last one is held
  ExpectEveryPrime(1, 30011, [](uint64_t q) { return InversePower(2, 1000, q); });
}

TEST_F(WorkProcedures, Base2HandOverAt2To32InEveryProcessorVariant) {
  const int64_t start = (int64_t{1} << 32) - 3000, end = (int64_t{1} << 32) + 5000;
  for (auto [cmov, sse2] : {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
    SCOPED_TRACE(testing::Message() << "cmov " << cmov << " sse2 " << sse2);
    removed.clear();
    ResetWorkProcedures();
    Job(2, 1001, 0x0A);
    job.fCMOV = cmov;
    job.fSSE2 = sse2;
    Run(WorkProcBase2_Smallp, start, end);
    ExpectEveryPrime(start, end, [](uint64_t q) { return InversePower(2, 1001, q); });
    const WorkProcedure want = !cmov ? WorkProcBase2_NoCMOV_Bigp : sse2 ? WorkProcBase2_SSE2_Bigp : WorkProcBase2_Bigp;
    EXPECT_EQ(workprocedure, want);
  }
}

TEST_F(WorkProcedures, SixPrimeProceduresSwitchAtBit46) {
  const int64_t start = (int64_t{1} << 46) - 4000, end = (int64_t{1} << 46) + 4000;
  Job(2, 77, 0x01);
  Run(WorkProcBase2_Bigp, start, end);
  ExpectEveryPrime(start, end, [](uint64_t q) { return InversePower(2, 77, q); });
  EXPECT_EQ(workprocedure, WorkProcBase2_VeryBigp);
}

TEST_F(WorkProcedures, InlineRulesStrikeTheTypeClasses) {
  const int64_t start = (int64_t{1} << 32) + 1, end = start + 2000;
  struct Form {
    WorkProcedure proc;
    bool plus, minus;
  };
  for (Form f : {Form{WorkProcBase2_Plus_Bigp, true, false}, Form{WorkProcBase2_Minus_Bigp, false, true},
                 Form{WorkProcBase2_Twin_Bigp, true, true}}) {
    cleared.clear();
    Job(2, 64, 0x03);
    Run(f.proc, start, end);
    std::vector<std::pair<int64_t, int64_t>> want;
    std::vector<uint64_t> primes = oddPrimesBetween(start + 1, end - 1);
    for (size_t i = 0; i < primes.size(); i += 6) {  // per batch: +1 classes, then -1 classes
      size_t stop = std::min(primes.size(), i + 6);
      for (size_t j = i; f.plus && j < stop; ++j) {
        int64_t q = static_cast<int64_t>(primes[j]);
        want.emplace_back(q - InversePower(2, 64, primes[j]), q);
      }
      for (size_t j = i; f.minus && j < stop; ++j)
        want.emplace_back(InversePower(2, 64, primes[j]), static_cast<int64_t>(primes[j]));
    }
    EXPECT_EQ(cleared, want);
  }
}

TEST_F(WorkProcedures, BatchesNeverDrawAtOrBeyondTheLimit) {
  const int64_t start = (int64_t{1} << 32) + 1;
  for (WorkProcedure proc : {WorkProcBase2_Bigp, WorkProcBase2_SSE2_Bigp}) {
    removed.clear();
    Job(2, 33, 0x02);
    // The loop stops at the first prime not below maxp; the batch must leave it there.
    Run(proc, start, start + 500);
    EXPECT_LT(removed.back().first, start + 500);
    EXPECT_EQ(removed.size(), oddPrimesBetween(start + 1, start + 499).size());
  }
}

TEST_F(WorkProcedures, ProgressionBase2AcrossTheHandOver) {
  const int64_t start = (int64_t{1} << 32) - 2000, end = (int64_t{1} << 32) + 2000;
  Job(2, 513, 0x200);
  Run(WorkProcBase2_AP_Smallp, start, end);
  ExpectEveryPrime(start, end, [](uint64_t q) { return ProgressionResidue(2, 513, q); });
  EXPECT_EQ(workprocedure, WorkProcBase2_AP_Bigp);
  removed.clear();
  Run(WorkProcBase2_AP_Smallp, 1, 3000);
  ExpectEveryPrime(1, 3000, [](uint64_t q) { return ProgressionResidue(2, 513, q); });
}

TEST_F(WorkProcedures, OtherBasesByTableAndByInversion) {
  for (uint32_t base : {3u, 10u, 255255u, 255256u}) {
    SCOPED_TRACE(base);
    removed.clear();
    Job(base, 99, 0x05);
    bool table = FindBaseInverses();
    EXPECT_EQ(table, base <= 255255);
    MaxpForWorkProcNotBase2 = INT64_MAX / base;
    Run(table ? WorkProcNotBase2 : WorkProcNotBase2_NoInverses, 1, 20000);
    ExpectEveryPrime(1, 20000, [base](uint64_t q) { return InversePower(base, 99, q); });
  }
  // Past MaxpForWorkProcNotBase2 the table gives way to the inversion.
  removed.clear();
  Job(7, 5, 0x0A);
  ASSERT_TRUE(FindBaseInverses());
  MaxpForWorkProcNotBase2 = 10000;
  Run(WorkProcNotBase2, 9000, 11000);
  ExpectEveryPrime(9000, 11000, [](uint64_t q) { return InversePower(7, 5, q); });
  EXPECT_EQ(workprocedure, WorkProcNotBase2_NoInverses);
}

// Sixteen primes per kernel call: across 2^32 and across 2^52 (where a batch leaves the IFMA
// chains for the portable ones), on both paths, every residue as GMP has it, and no batch
// draws at or beyond the loop's limit.
TEST_F(WorkProcedures, OtherBaseBatchesAcrossTheKernelRanges) {
  for (bool ifma : {true, false}) {
    setIfmaAllowed(ifma);
    for (int64_t edge : {int64_t{1} << 32, int64_t{1} << 52}) {
      for (uint32_t base : {3u, 5u, 10u, 12u}) {
        SCOPED_TRACE(testing::Message() << "ifma " << ifma << " edge " << edge << " base " << base);
        removed.clear();
        Job(base, 1000, 0x03);
        ASSERT_TRUE(FindBaseInverses());
        MaxpForWorkProcNotBase2 = INT64_MAX / base;
        Run(WorkProcNotBase2, edge - 1500, edge + 1501);
        ExpectEveryPrime(edge - 1500, edge + 1501, [base](uint64_t q) { return InversePower(base, 1000, q); });
        removed.clear();
        Job(base, 1001, 0x200);
        Run(WorkProcNotBase2_AP, edge - 1500, edge + 1501);
        ExpectEveryPrime(edge - 1500, edge + 1501, [base](uint64_t q) { return ProgressionResidue(base, 1001, q); });
      }
    }
  }
  setIfmaAllowed(true);
}

// The table method's division by b (a multiply-high and an exact quotient) up to its limit
// 2^63/b, and the inversion past it, for an odd base, a power of two and the largest table.
TEST_F(WorkProcedures, OtherBasesUpToTheTableLimit) {
  for (uint32_t base : {100003u, 131072u, 255255u}) {
    SCOPED_TRACE(base);
    removed.clear();
    Job(base, 77, 0x03);
    ASSERT_TRUE(FindBaseInverses());
    MaxpForWorkProcNotBase2 = INT64_MAX / base;
    const int64_t start = MaxpForWorkProcNotBase2 - 3000, end = MaxpForWorkProcNotBase2 + 3000;
    Run(WorkProcNotBase2, start, end);
    // Past the limit the inversion's primality check skips the composites the source delivers.
    const int64_t limit = MaxpForWorkProcNotBase2;
    ExpectEveryPrime(start, end, [base, limit](uint64_t q) {
      mpz_class z = static_cast<unsigned long>(q);
      if (static_cast<int64_t>(q) > limit && mpz_probab_prime_p(z.get_mpz_t(), 30) == 0) return int64_t{-1};
      return InversePower(base, 77, q);
    });
    EXPECT_EQ(workprocedure, WorkProcNotBase2_NoInverses);
  }
}

TEST_F(WorkProcedures, BaseInverseTableEntries) {
  Job(10, 1, 0x01);
  ASSERT_TRUE(FindBaseInverses());
  EXPECT_EQ(baseinverses[0], 0u);
  EXPECT_EQ(baseinverses[1], 9u);
  EXPECT_EQ(baseinverses[3], 3u);
  EXPECT_EQ(baseinverses[5], 0u);
  EXPECT_EQ((baseinverses[13 % 10] * 13 + 1) / 10, 4u);  // 10^(−1) mod 13
}

TEST_F(WorkProcedures, ProgressionOtherBases) {
  for (uint32_t base : {3u, 6u}) {
    removed.clear();
    Job(base, 17, 0x200);
    Run(WorkProcNotBase2_AP, 1, 5000);  // primes dividing b are not skipped
    ExpectEveryPrime(1, 5000, [base](uint64_t q) { return ProgressionResidue(base, 17, q); });
  }
}

TEST_F(WorkProcedures, PrimorialStepsAcrossTheHandOver) {
  // P = 31#/5 (3-tuple form): primes dividing P strike nothing.
  mpz_class prim = 1;
  for (uint64_t q : oddPrimesBetween(2, 31))
    if (q != 5) prim *= static_cast<unsigned long>(q);
  prim *= 2;
  job._mode = 0xC3;
  FillPackPrimorial(31, 0xC3);
  auto inverse = [&](uint64_t q) -> int64_t {
    mpz_class x = prim % static_cast<unsigned long>(q), m = static_cast<unsigned long>(q);
    if (x == 0) return -1;
    mpz_invert(x.get_mpz_t(), x.get_mpz_t(), m.get_mpz_t());
    return x.get_si();
  };
  auto progression = [&](uint64_t q) -> int64_t {  // P + 2k − 1 ≡ 0, k in 1..p
    int64_t x = mpz_class(prim % static_cast<unsigned long>(q)).get_si(), pp = static_cast<int64_t>(q);
    for (int64_t k = 1; k <= pp; ++k)
      if ((x + 2 * k - 1) % pp == 0) return k;
    return -1;
  };
  Run(WorkProcPrimorial_Smallp, 1, 3001);
  ExpectEveryPrime(1, 3001, inverse);
  const int64_t start = (int64_t{1} << 32) - 1500, end = (int64_t{1} << 32) + 1500;
  removed.clear();
  Run(WorkProcPrimorial_Smallp, start, end);
  EXPECT_EQ(workprocedure, WorkProcPrimorial_Bigp);
  ExpectEveryPrime(start, end, inverse);
  removed.clear();
  Run(WorkProcPrimorial_AP_Smallp, 1, 3001);
  ExpectEveryPrime(1, 3001, progression);
  removed.clear();
  Run(WorkProcPrimorial_AP_Smallp, start, end);
  EXPECT_EQ(workprocedure, WorkProcPrimorial_AP_Bigp);
  auto bigProgression = [&](uint64_t q) -> int64_t {
    mpz_class x = prim % static_cast<unsigned long>(q), m = static_cast<unsigned long>(q), two = 2, k;
    mpz_invert(two.get_mpz_t(), two.get_mpz_t(), m.get_mpz_t());
    k = ((1 - x) * two) % m;
    if (k <= 0) k += m;
    return k.get_si();
  };
  ExpectEveryPrime(start, end, bigProgression);
}

}  // namespace
