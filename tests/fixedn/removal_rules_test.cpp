// The removal rules: the worked examples, the class order, the MaxNum bound, and for every
// type a cross-check against the GMP oracle of which k each prime must strike (plain rules:
// every k with a member divisible by p; small-candidate rules: the same less those whose
// member is p itself).
#include "fixedn/removal_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "engine/sieve_job.h"
#include "kernels/kernel_context.h"
#include "tests/support/oracle.h"

namespace {

std::vector<std::pair<int64_t, int64_t>> calls;
void Record(int64_t k, int64_t p) { calls.emplace_back(k, p); }

struct RuleFixture : ::testing::Test {
  void SetUp() override {
    saved = job;
    ClearRoutine = Record;
    calls.clear();
    job.MaxNum = 1000000;
    job.len3plus = 1;
  }
  void TearDown() override { job = saved; }
  // Sets the job and the kernel's base inverse for prime p.
  void Use(uint32_t mode, uint32_t base, int64_t p) {
    job._mode = mode;
    job._base = base;
    kernel._base = base;
    mpz_class inv, b = base, m = static_cast<unsigned long>(p);
    mpz_invert(inv.get_mpz_t(), b.get_mpz_t(), m.get_mpz_t());
    kernel._baseinverse = inv.get_si();
  }
  std::vector<int64_t> Classes() const {
    std::vector<int64_t> out;
    for (auto [k, p] : calls) out.push_back(k);
    return out;
  }
  SieveJob saved;
};

using Removal = RuleFixture;

TEST_F(Removal, WorkedExamples) {
  Use(0x03, 2, 5);  // twin, n = 1: k0 = 3, +1 class 2
  Remove_Twin(5, 3);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{3, 2}));
  calls.clear();
  job.base_power_n = 2;  // small-candidate form: 3.2-1 = 5 and 2.2+1 = 5 are p itself
  Remove_Twin_tiny(5, 3);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{8, 7}));

  calls.clear();
  Use(0x0A, 2, 7);  // SG, n = 1: k0 = 4, k1 = 2
  Remove_SG(7, 4);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{4, 2}));

  calls.clear();
  Use(0x15, 2, 11);  // chain of the second kind, L = 3, n = 1
  job.len3plus = 3;
  Remove_CC23(11, 6);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{5, 8, 4}));

  calls.clear();
  Use(0x05, 3, 7);  // generalized CC over base 3: k1 = 5.5 mod 7 = 4
  Remove_CC(7, 5);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{2, 3}));

  calls.clear();
  Use(0x83, 2, 5);  // 3-tuple with p = 5: the +5 class is 5 itself, the class of 0
  Remove_3tuple(5, 3);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{3, 2, 5}));

  calls.clear();
  Use(0x1001, 3, 7);  // SG with +3, odd k0
  Remove_SG3(7, 3);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{4, 6}));
}

TEST_F(Removal, ClassesAboveMaxNumAreSkipped) {
  Use(0x03, 2, 101);
  job.MaxNum = 60;
  Remove_Twin(101, 60);  // 60 is struck, 41 too
  Remove_Twin(101, 30);  // 30 is struck, 71 is not
  EXPECT_EQ(Classes(), (std::vector<int64_t>{60, 41, 30}));
}

TEST_F(Removal, LongChainsKeepTheirOrder) {
  Use(0x3F, 2, 1000003);
  job.len3plus = 4;
  job.MaxNum = 2000000;
  Remove_BI3(1000003, 16);
  EXPECT_EQ(Classes(), (std::vector<int64_t>{1000003 - 16, 16, 1000003 - 8, 8, 1000003 - 4, 4, 1000003 - 2, 2}));
}

TEST_F(Removal, TopMemberFactorFollowsTheLargestNumber) {
  Use(0x0A, 2, 7);  // SG: 2k.2^n - 1
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), std::log(2.0));
  Use(0x05, 3, 7);  // generalized CC: k.3^(n+1) + 1
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), std::log(3.0));
  Use(0x0405, 3, 7);  // not generalized: 2k.3^n + 1
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), std::log(2.0));
  Use(0x2E, 7, 11);  // Lucky Minus: k.7^(n+1) over k.7^(n-1)
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), 2 * std::log(7.0));
  Use(0x3F, 2, 11);
  job.len3plus = 6;
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), 5 * std::log(2.0));
  Use(0x1001, 5, 11);  // 2k.b^n + 3
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), std::log(2.0));
  Use(0x0883, 2, 11);
  EXPECT_DOUBLE_EQ(LogTopMemberFactor(), 0.0);
}

TEST_F(Removal, RuleTable) {
  EXPECT_EQ(RemoveRuleFor(0x0003, false), Remove_Twin);
  EXPECT_EQ(RemoveRuleFor(0x0003, true), Remove_Twin_tiny);
  EXPECT_EQ(RemoveRuleFor(0x0101, true), Remove_Plus);
  EXPECT_EQ(RemoveRuleFor(0x0102, true), Remove_Minus);
  EXPECT_EQ(RemoveRuleFor(0x002E, true), Remove_LM_tiny);
  EXPECT_EQ(RemoveRuleFor(0x8001, false), nullptr);
}

// One job of the cross-check: the mode, base, n as sieved (the kernel's exponent), and
// the chain length.
struct Case {
  uint32_t mode, base;
  int nsieved, length;
};

class RuleOracle : public RuleFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(RuleOracle, StrikesExactlyTheOracleClasses) {
  const Case c = GetParam();
  const bool prim = c.mode & MODE_PRIMORIAL;
  const uint32_t form = c.mode & ~MODE_MODIFIERS;
  const bool lucky = form == 0x1D || form == 0x2E;
  const bool ap = form == 0x200;
  OracleJob oj(c.mode, c.base, (lucky && !prim) ? c.nsieved + 1 : c.nsieved, c.length);
  Oracle oracle(oj);
  // X: b^n or the primorial multiplier the work procedure inverts.
  mpz_class x;
  if (prim) {
    x = 1;
    for (uint64_t q : oddPrimesBetween(2, c.nsieved)) {
      if ((q == 5 && (c.mode & MODE_PLUS5)) || (q == 7 && (c.mode & MODE_PLUS7))) continue;
      x *= static_cast<unsigned long>(q);
    }
    if (!lucky) x *= 2;
  } else {
    mpz_ui_pow_ui(x.get_mpz_t(), c.base, c.nsieved);
  }
  job.len3plus = c.length;
  job.base_power_n = x.get_si();
  job.tinyPrimorial = x.get_si();
  for (bool tiny : {false, true}) {
    RemoveProcedure rule = RemoveRuleFor(form, tiny);
    ASSERT_NE(rule, nullptr);
    for (uint64_t q : oddPrimesBetween(3, 200)) {
      const int64_t p = static_cast<int64_t>(q);
      Use(c.mode, c.base, p);
      mpz_class xm = x % static_cast<unsigned long>(q);
      int64_t k0;
      if (ap) {
        // p divides X + 2k0 − 1 (− 2 for an odd base): k0 in 1..p.
        int64_t xr = xm.get_si(), sub = (!prim && (c.base & 1)) ? 2 : 1;
        k0 = 0;
        for (int64_t k = 1; k <= p; ++k)
          if ((xr + 2 * k - sub) % p == 0) k0 = k;
      } else {
        if (xm == 0 || (!prim && c.base % q == 0)) continue;  // the work procedure skips p
        mpz_class inv, m = static_cast<unsigned long>(q);
        mpz_invert(inv.get_mpz_t(), xm.get_mpz_t(), m.get_mpz_t());
        k0 = inv.get_si();
      }
      calls.clear();
      rule(p, k0);
      for (auto [r, pp] : calls) ASSERT_EQ(pp, p);
      std::vector<uint64_t> single{q};
      for (int64_t k = 1; k <= 3 * p; ++k) {
        bool struck = false;
        for (auto [r, pp] : calls) struck |= k >= r && (k - r) % p == 0;
        bool expected = false;
        for (const mpz_class& num : oracle.members(k))
          expected |= mpz_divisible_ui_p(num.get_mpz_t(), q) && (!tiny || mpz_cmpabs_ui(num.get_mpz_t(), q) != 0);
        ASSERT_EQ(struck, expected) << "mode " << c.mode << " base " << c.base << " p " << p << " k " << k
                                    << (tiny ? " tiny" : " plain");
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, RuleOracle,
    ::testing::Values(Case{0x01, 2, 1, 1}, Case{0x02, 2, 2, 1}, Case{0x03, 2, 1, 1}, Case{0x03, 10, 1, 1},
                      Case{0x0A, 2, 1, 1}, Case{0x0A, 3, 1, 1}, Case{0x040A, 3, 1, 1}, Case{0x05, 7, 2, 1},
                      Case{0x0405, 6, 1, 1}, Case{0x0F, 2, 2, 1}, Case{0x0F, 3, 1, 1}, Case{0x0B, 2, 1, 1},
                      Case{0x040B, 10, 1, 1}, Case{0x07, 5, 1, 1}, Case{0x1D, 2, 1, 3}, Case{0x2E, 3, 1, 3},
                      Case{0x401D, 2, 2, 3}, Case{0x2A, 2, 1, 3}, Case{0x2A, 7, 1, 4}, Case{0x15, 2, 1, 6},
                      Case{0x3F, 3, 1, 3}, Case{0x200, 2, 3, 1}, Case{0x200, 3, 2, 1}, Case{0x200, 10, 2, 1},
                      Case{0x83, 2, 1, 1}, Case{0x883, 2, 2, 1}, Case{0x883, 3, 1, 1}, Case{0x1001, 2, 1, 1},
                      Case{0x1001, 7, 1, 1}, Case{0x41, 2, 3, 1}, Case{0x43, 2, 5, 1}, Case{0x5D, 2, 5, 3},
                      Case{0x6E, 2, 3, 3}, Case{0x6A, 2, 3, 3}, Case{0x7F, 2, 3, 4}, Case{0x240, 2, 5, 1},
                      Case{0xC3, 2, 7, 1}, Case{0x8C3, 2, 7, 1}, Case{0x8C3, 2, 11, 1}));

}  // namespace
