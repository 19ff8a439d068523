// Removal reports with the rate history and the rate criterion; verification of every form
// against the GMP oracle, and the failure path with "morvane.err".
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/print.h"
#include "engine/report.h"
#include "engine/sieve_job.h"
#include "fixedn/sieve_slots.h"
#include "kernels/kernel_context.h"
#include "primes/primetable.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

struct ReportEnv : ::testing::Environment {
  void SetUp() override { FillPrimetable(); }
};
const auto* env = ::testing::AddGlobalTestEnvironment(new ReportEnv);

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void freshJob() {
  job = SieveJob{};
  job.k_n = 'k';
  job.State = STATE_SIEVING;
  ResetRateHistory();
}

TEST(ClearReport, NoRateLineUntilTwentySamplesExist) {
  freshJob();
  job._nvalsleft = 100000;
  std::string out;
  setPrintCapture(&out);
  long now = 1700000000;
  for (int i = 0; i < 20; ++i) {
    job._nvalsleft -= 3;
    ClearReport(now += 2, 1009, 77);
  }
  EXPECT_EQ(count(out, "Rate:"), 0u);
  EXPECT_EQ(count(out, "k's remaining. p=1009 divides k=77\n"), 20u);
  EXPECT_EQ(count(out, "k's left\n"), 20u);
  out.clear();
  job._nvalsleft -= 3;
  ClearReport(now += 2, 1009, 77);
  // 60 removals over 40 seconds (3 every 2 s): 0.67 s each.
  EXPECT_NE(out.find("Rate: 1 k every 0.7 seconds\n"), std::string::npos) << out;
  EXPECT_DOUBLE_EQ(job.MArate, 40.0 / 60);
  setPrintCapture(nullptr);
}

TEST(ClearReport, FastRatesUseTheNewerHalf) {
  freshJob();
  job._nvalsleft = 1000000;
  std::string out;
  setPrintCapture(&out);
  long now = 1700000000;
  // Older half: 10 removals per second; newer half: 1000 per second.
  for (int i = 0; i < 20; ++i) {
    job._nvalsleft -= i < 10 ? 10 : 1000;
    ClearReport(++now, 5, 1);
  }
  out.clear();
  job.MArate = 3.0;
  job._nvalsleft -= 1000;
  ClearReport(++now, 5, 1);
  EXPECT_NE(out.find("Rate: 1000 k's per second\n"), std::string::npos) << out;
  EXPECT_EQ(job.MArate, 0.0);
  setPrintCapture(nullptr);
}

TEST(ClearReport, RateCriterionStopsOnceRemovalsAreSlowEnough) {
  freshJob();
  job._nvalsleft = 1000;
  job.StopCriterion = STOP_AT_RATE;
  job.StopValue = 1;  // 0.1 s per removal
  std::string out;
  setPrintCapture(&out);
  long now = 1700000000;
  for (int i = 0; i < 20; ++i) {
    job._nvalsleft -= 1;
    ClearReport(++now, 5, 1);
  }
  EXPECT_EQ(job.State, STATE_SIEVING);
  job._nvalsleft -= 1;
  ClearReport(++now, 5, 1);  // one per second: slower than 0.1 s
  EXPECT_EQ(job.State, STATE_STOPPED);
  // Minutes for slow rates.
  freshJob();
  job._nvalsleft = 1000;
  for (int i = 0; i < 21; ++i) {
    job._nvalsleft -= 1;
    ClearReport(now += 150, 5, 1);
  }
  EXPECT_NE(out.find("Rate: 1 k every 2:30 minutes\n"), std::string::npos);
  setPrintCapture(nullptr);
}

// Verify against the oracle: the check passes exactly when p divides a member number.
struct VerifyCase {
  uint32_t mode;
  uint32_t base;
  int64_t n;  // as the oracle (and the user) sees it
  int len3plus;
  std::vector<int64_t> factors;
};

class VerifyAgainstOracle : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyAgainstOracle, PassesExactlyWhenPDividesAMember) {
  const VerifyCase& c = GetParam();
  ScratchDir dir;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  Oracle oracle(OracleJob(c.mode, c.base, c.n, c.len3plus, c.factors));
  freshJob();
  job._mode = c.mode;
  job._base = kernel._base = c.base;
  job.len3plus = c.len3plus;
  const bool fixedK = c.mode & MODE_N_VARIES;
  job._nvalue = static_cast<int32_t>(IsLuckyMode(c.mode) ? c.n - 1 : c.n);
  if (!c.factors.empty()) {
    job.fMyPrimorial = true;
    job.nMyPrimorial = static_cast<uint32_t>(c.factors.size());
    for (size_t i = 0; i < c.factors.size(); ++i) job.MyPrimorial[i] = c.factors[i];
    job._nvalue = 1;
  }
  std::string out;
  setPrintCapture(&out);
  int passes = 0, fails = 0;
  for (int64_t value = 1; value <= 24; ++value) {
    std::vector<mpz_class> members = oracle.members(value);
    for (int i = 0; i < 40; ++i) {
      int64_t p = primetable[i];
      bool divides = false;
      for (const mpz_class& m : members) divides |= mpz_divisible_ui_p(m.get_mpz_t(), p) != 0;
      bool passed = true;
      job.State = STATE_SIEVING;
      try {
        if (fixedK) Verify(job._nvalue, static_cast<uint32_t>(value), p);
        else Verify(value, static_cast<uint32_t>(job._nvalue), p);
      } catch (const SieveStop&) {
        passed = false;
      }
      ASSERT_EQ(passed, divides) << "mode " << std::hex << c.mode << std::dec << " value " << value << " p " << p;
      (passed ? passes : fails)++;
    }
  }
  setPrintCapture(nullptr);
  EXPECT_GT(passes, 0);
  EXPECT_GT(fails, 0);
  ASSERT_EQ(chdir(old), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryForm, VerifyAgainstOracle,
    ::testing::Values(VerifyCase{0x0001, 2, 5, 1, {}}, VerifyCase{0x0002, 3, 4, 1, {}}, VerifyCase{0x0003, 10, 3, 1, {}},
                      VerifyCase{0x000A, 2, 3, 1, {}}, VerifyCase{0x040A, 3, 3, 1, {}}, VerifyCase{0x000A, 3, 3, 1, {}},
                      VerifyCase{0x0005, 5, 2, 1, {}}, VerifyCase{0x000F, 2, 2, 1, {}}, VerifyCase{0x000B, 2, 4, 1, {}},
                      VerifyCase{0x0007, 7, 2, 1, {}}, VerifyCase{0x001D, 2, 4, 3, {}}, VerifyCase{0x002E, 3, 3, 3, {}},
                      VerifyCase{0x002A, 2, 3, 5, {}}, VerifyCase{0x0015, 3, 2, 4, {}}, VerifyCase{0x003F, 2, 2, 3, {}},
                      VerifyCase{0x0200, 2, 6, 1, {}}, VerifyCase{0x0200, 3, 4, 1, {}}, VerifyCase{0x0083, 2, 4, 1, {}},
                      VerifyCase{0x0883, 2, 4, 1, {}}, VerifyCase{0x1001, 2, 5, 1, {}}, VerifyCase{0x1001, 3, 3, 1, {}},
                      VerifyCase{0x4003, 2, 5, 1, {}}, VerifyCase{0x0041, 2, 7, 1, {}}, VerifyCase{0x0043, 2, 11, 1, {}},
                      VerifyCase{0x005D, 2, 7, 3, {}}, VerifyCase{0x006E, 2, 5, 3, {}}, VerifyCase{0x006A, 2, 5, 3, {}},
                      VerifyCase{0x0240, 2, 7, 1, {}}, VerifyCase{0x00C3, 2, 11, 1, {}}, VerifyCase{0x08C3, 2, 13, 1, {}},
                      VerifyCase{0x0101, 2, 3, 1, {}}, VerifyCase{0x0102, 3, 5, 1, {}}, VerifyCase{0x2101, 2, 3, 1, {}},
                      VerifyCase{0x0141, 2, 7, 1, {}}, VerifyCase{0x0142, 2, 1, 1, {3, 5, 7}},
                      VerifyCase{0x8001, 2, 7, 1, {}}, VerifyCase{0x8002, 3, 100, 1, {}}));

TEST(VerifyFailure, WritesTheDebugFileAndStopsTheRun) {
  ScratchDir dir;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  freshJob();
  job._mode = 0x0001;
  job._base = kernel._base = 2;
  job.len3plus = 1;
  std::string out;
  setPrintCapture(&out);
  EXPECT_THROW(Verify(4, 100, 7), SieveStop);
  EXPECT_EQ(job.State, STATE_INTERRUPTED);
  EXPECT_EQ(readFile("morvane.err"), " p=7 \n mode=0x1 \n k=4 \n n=100 \n base=2 \n len3plus=1 \n\n");
  EXPECT_EQ(out.substr(0, out.find("A FILE")), "**** Fatal error!!! - validation failed!\r\n\n");
  EXPECT_NE(out.find("A FILE CALLED MORVANE.ERR HAS BEEN CREATED CONTAINING DEBUG INFORMATION\n"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 1), "\n");
  // A product-form k is written as its factor expression.
  job._mode = 0x0141;
  job.fMyPrimorial = true;
  job.nMyPrimorial = 2;
  job.MyPrimorial[0] = 3;
  job.MyPrimorial[1] = 5;
  job.kExpression = "3*5";
  EXPECT_THROW(Verify(1, 4, 11), SieveStop);  // 15*16+1 = 241 is prime
  EXPECT_EQ(readFile("morvane.err"), " p=11 \n mode=0x141 \n k=3*5 \n n=4 \n base=2 \n len3plus=1 \n\n");
  setPrintCapture(nullptr);
  ASSERT_EQ(chdir(old), 0);
}

}  // namespace
