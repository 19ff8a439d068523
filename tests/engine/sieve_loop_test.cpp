// The sieve loop with test procedures in its slots: where it ends, what it writes, the
// square-root limit and the small-candidate case, stops, timed saves and the batch flush.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "engine/file_run.h"
#include "common/print.h"
#include "engine/progress_line.h"
#include "engine/report.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"
#include "engine/slot_tables.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/clear.h"
#include "kernels/kernel_context.h"
#include "primes/primetable.h"
#include "tests/support/run_binary.h"

namespace {

std::vector<int64_t> seen;  // primes handed to the test work procedure
int64_t interruptAt = 0;    // the test work procedure interrupts at this prime
int64_t sleepAt = 0;        // ... or sleeps 1.1 s here

void RecordingWork(const int64_t& p) {
  seen.push_back(p);
  if (p == interruptAt) job.State = STATE_INTERRUPTED;
  if (p == sleepAt) usleep(1100000);
}

// Strikes the classes of 1, 3 and 5 for every prime through the clearing slot.
void StrikingWork(const int64_t& p) {
  seen.push_back(p);
  for (int64_t k : {1, 3, 5}) ClearRoutine(k, p);
}

// Pauses at one prime, and strikes two classes of a single prime just below 2^24.
int64_t batchPrime = 0;
// The once-a-second progress reports are held off, so the report points are those of bit 24.
void PausingWork(const int64_t& p) {
  seen.push_back(p);
  progressCountdown = int64_t{1} << 50;
  if (p == sleepAt) usleep(1100000);
  if (p == batchPrime) {
    ClearRoutine(100, p);
    ClearRoutine(200, p);
  }
}

bool isPrime(int64_t n) {
  for (int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return n > 1;
}

WorkProcedure testWork = RecordingWork;
void TestProcedures() {
  ChooseSieveProcedures();  // the clearing routine of the real table
  workprocedure = testWork;
}

class SieveLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    FillPrimetable();
    initialise();
    FreeCandidateSet();
    job = SieveJob{};
    seen.clear();
    interruptAt = sleepAt = 0;
    testWork = RecordingWork;
    ChooseProcedures = TestProcedures;
    setPrintCapture(&out_);
  }
  void TearDown() override {
    setPrintCapture(nullptr);
    ChooseProcedures = ChooseSieveProcedures;
    ASSERT_EQ(chdir(old_), 0);
  }
  // k·2^n+1 for k in kmin..kmax, stopping at p = stopAt.
  void plusJob(int n, int64_t kmin, int64_t kmax, int64_t stopAt) {
    job._base = 2;
    job._mode = MODE_PLUS;
    job._nvalue = n;
    job.MinNum = kmin;
    job.MaxNum = kmax;
    job.StopCriterion = STOP_AT_P;
    job.StopValue = stopAt;
    job.outbuff = "out.txt";
  }
  std::string header() const {
    std::string text = readFile("out.txt");
    return text.substr(0, text.find('\n'));
  }

  ScratchDir dir_;
  char old_[4096];
  std::string out_;
};

TEST_F(SieveLoopTest, EndsAtTheFirstPrimeNotBelowMaxp) {
  plusJob(1000, 1, 1000, 1000);
  bool fresh = true;
  EXPECT_EQ(SieveFile(&fresh), 0);
  EXPECT_EQ(header(), "1008:P:1:2:1");
  EXPECT_EQ(job.firstp, 1009);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 3);
  EXPECT_EQ(seen.back(), 997);  // 1009 is drawn but not sieved
  EXPECT_EQ(seen.size(), 167u);  // the odd primes below 1000
  EXPECT_NE(out_.find("Output file 'out.txt' generated, contains 500 k's\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("Sieving numbers with 302 to 305 decimal digits\n"), std::string::npos);
  EXPECT_NE(out_.find("Initialising sieve...\nDone.\n"), std::string::npos);
  EXPECT_NE(out_.find("Starting sieve (reduced screen output while p < 1 billion)\n"), std::string::npos);
  EXPECT_NE(out_.find("Sieved up to 1009\n"), std::string::npos);  // captured output is no terminal
  std::string text = readFile("out.txt");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 501);  // nothing struck by the test procedure
}

TEST_F(SieveLoopTest, StopsAtTheSquareRootLimitWhenEverySurvivorIsPrime) {
  plusJob(10, 1, 99, 1000000);  // 99*2^10+1 = 101377: limit ceil(318.4) + 10
  bool fresh = true;
  SieveFile(&fresh);
  EXPECT_TRUE(job.allprimes);
  EXPECT_EQ(job.sievelimit, 329);
  EXPECT_EQ(header(), "330:P:1:2:1");
  EXPECT_NE(out_.find("Sieve terminated : All remaining values yield prime numbers !!\n"), std::string::npos);
}

TEST_F(SieveLoopTest, TinyCases) {
  // k·2^n+1 with n = 3: 1*2^3+1 = 9 can be a sieving prime's size.
  plusJob(3, 1, 100, 1000);
  job.maxp = 1000;
  kernel._base = 2;
  SetSieveLimitAndTiny();
  EXPECT_TRUE(job.tiny);
  EXPECT_EQ(job.k_base_power_n, 8);
  EXPECT_EQ(job.base_power_n, 8);
  EXPECT_EQ(out_, "n is tiny : 1*2^3 = 8\n");
  // b^n-k with k >= maxp is still tiny, maxtiny from L(maxp + k).
  out_.clear();
  job = SieveJob{};
  job._base = kernel._base = 2;
  job._mode = 0x8002;
  job._nvalue = 5000;
  job.MinNum = 1;
  job.MaxNum = 100;
  job.maxp = 1000;
  SetSieveLimitAndTiny();
  EXPECT_TRUE(job.tiny);
  EXPECT_EQ(job.maxtiny, 12);  // floor(log2(6000))
  EXPECT_EQ(out_, "k is tiny : 2^1-5000 = -4998\n");
  // b^n+k with k >= maxp: not tiny.
  job._mode = 0x8001;
  job.maxp = 1000;
  SetSieveLimitAndTiny();
  EXPECT_FALSE(job.tiny);
  EXPECT_EQ(job.maxtiny, 0);
  // Fixed k: 3*2^n+1 over n = 2..40.
  out_.clear();
  job = SieveJob{};
  job._base = kernel._base = 2;
  job._mode = 0x0101;
  job._nvalue = 3;
  job.MinNum = 2;
  job.MaxNum = 40;
  job.maxp = 1000000;
  SetSieveLimitAndTiny();
  EXPECT_TRUE(job.tiny);
  EXPECT_EQ(job.maxtiny, 18);  // floor((ln 10^6 - ln 3) / ln 2)
  EXPECT_EQ(job.sievelimit, static_cast<int64_t>(std::ceil(std::sqrt(3.0 * 1099511627776.0))) + 10);
  EXPECT_FALSE(job.allprimes);
  EXPECT_EQ(out_, "k is tiny : 3*2^2 = 12\n");
}

TEST_F(SieveLoopTest, PrimorialTinyUsesThePackedValue) {
  plusJob(7, 1, 100, 1000000);
  job._mode = MODE_PLUS | MODE_PRIMORIAL;
  bool fresh = true;
  SieveFile(&fresh);
  EXPECT_TRUE(job.tiny);
  EXPECT_EQ(job.tinyPrimorial, 210);
  EXPECT_NE(out_.find("n is tiny : 1*7# = 210\n"), std::string::npos) << out_;
  EXPECT_EQ(seen.front(), 11);  // a primorial run starts above n
}

TEST_F(SieveLoopTest, InterruptEndsTheRunAtTheNextPrimeAndStillWrites) {
  plusJob(1000, 1, 1000, 100000);
  interruptAt = 101;
  bool fresh = true;
  SieveFile(&fresh);
  EXPECT_EQ(seen.back(), 101);
  EXPECT_EQ(header(), "102:P:1:2:1");
  EXPECT_EQ(job.State, STATE_INTERRUPTED);
  // A later sub-range (appending) that is interrupted writes nothing.
  std::remove("out.txt");
  seen.clear();
  job.State = STATE_PREPARING;
  job.firstp = 1;
  job.fAppend = true;
  job.maxp = 100000;
  dosieve(false);
  EXPECT_FALSE(std::ifstream("out.txt").good());
}

TEST_F(SieveLoopTest, AllRemovedWhileSievingEndsTheRunWithAnEmptyFile) {
  plusJob(1000, 1, 30, 100000);
  testWork = StrikingWork;
  bool fresh = true;
  EXPECT_THROW(SieveFile(&fresh), SieveStop);
  EXPECT_EQ(seen, std::vector<int64_t>{3});
  EXPECT_EQ(readFile("out.txt"), "3:P:1:2:1\n");
  EXPECT_EQ(job.State, STATE_STOPPED);
  EXPECT_NE(out_.find("**** All values removed! You do not need to test these values!!\n"), std::string::npos);
}

TEST_F(SieveLoopTest, AllRemovedInTheSubRangePhaseWritesTheFirstSubRange) {
  plusJob(1000, 1, 30, 100000);
  testWork = StrikingWork;
  bool fresh = true;
  interruptAt = 0;
  job.StopValue = 2;  // SieveFile builds the bitmap and ends at once
  SieveFile(&fresh);
  out_.clear();
  seen.clear();
  job.State = STATE_PREPARING;
  job.firstp = 1;
  job.maxp = 100000;
  job.fAppend = false;
  dosieve(false);
  EXPECT_EQ(seen, std::vector<int64_t>{3});
  EXPECT_EQ(readFile("out.txt"), "3:P:1:2:1\n");  // claims the prime that emptied it
  EXPECT_NE(out_.find("**** All values removed in this range.\n"), std::string::npos);
  EXPECT_EQ(out_.find("Output file"), std::string::npos);
}

TEST_F(SieveLoopTest, TimedSavesApplyTheHeldBatchFirst) {
  // Twins batch the classes of a prime; the pause lets a timed save fall due at the first
  // report point (2^24), whose save must already hold the batch of the prime before it.
  job._base = 10;
  job._mode = 0x0003;
  job._nvalue = 30;  // large enough that no square-root limit ends the run early
  job.MinNum = 1;
  job.MaxNum = 3000;
  job.StopCriterion = STOP_AT_P;
  job.StopValue = 16777300;
  job.WriteIterations = 0;
  job.TwoSaveFiles = true;
  job.outbuff = "out.txt";
  testWork = PausingWork;
  sleepAt = 1009;
  batchPrime = 16777216;
  while (!isPrime(--batchPrime)) {}
  int64_t reportPrime = 16777216;
  while (!isPrime(reportPrime)) ++reportPrime;
  bool fresh = true;
  SieveFile(&fresh);
  size_t saves = 0;
  for (size_t at = out_.find("Saving results"); at != std::string::npos; at = out_.find("Saving results", at + 1))
    ++saves;
  EXPECT_EQ(saves, 2u);
  std::string timed = readFile("out.txt~");
  EXPECT_EQ(timed.substr(0, timed.find('\n')), std::to_string(reportPrime - 1) + ":T:1:10:3");
  EXPECT_EQ(timed.find("\n100 30\n"), std::string::npos);
  EXPECT_EQ(timed.find("\n200 30\n"), std::string::npos);
  EXPECT_NE(timed.find("\n101 30\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(SlotTables, ClearRoutineFollowsTheStoreAndTheForm) {
  std::string out;
  setPrintCapture(&out);
  job = SieveJob{};
  job.fUseHash = true;
  ChooseSieveProcedures();
  EXPECT_EQ(ClearRoutine, ClearHash);
  job.fUseHash = false;
  job.fUseBitMap = true;
  for (uint32_t mode : {0x0001u, 0x4002u, 0x0141u, 0x0240u, 0xA001u}) {
    job._mode = mode;
    ChooseSieveProcedures();
    EXPECT_EQ(ClearRoutine, ClearBitmapSmallp) << mode;
  }
  for (uint32_t mode : {0x0003u, 0x042Au, 0x0883u, 0x1001u}) {
    job._mode = mode;
    ChooseSieveProcedures();
    EXPECT_EQ(ClearRoutine, ClearBitmapSmallpMultivals) << mode;
  }
  // Array: ln(1000) * 10^9 / (1000 * firstp) < 3 from firstp = 2302586 on (from half that
  // when only every second value is a candidate).
  job.fUseBitMap = false;
  job.nvals = 1000;
  job.MinNum = 1;
  job.MaxNum = 1000000001;
  job.firstp = 2302600;
  ChooseSieveProcedures();
  EXPECT_EQ(ClearRoutine, ClearArray);
  EXPECT_EQ(out, "");
  job.firstp = 1200000;
  job.fIncIsTwo = true;
  ChooseSieveProcedures();
  EXPECT_EQ(ClearRoutine, ClearArray);
  job.fIncIsTwo = false;
  ChooseSieveProcedures();
  EXPECT_EQ(ClearRoutine, ClearSparseArray);
  EXPECT_EQ(out, "Using sparse array algorithm\n");
  setPrintCapture(nullptr);
}

}  // namespace
