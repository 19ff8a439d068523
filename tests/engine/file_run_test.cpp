// The file run in-process: the sub-range boundaries, a new file end to end against the
// oracle, the sub-range phase against a direct run, an interrupt during the sub-range
// phase, the stop limit, the processor-feature line and the size estimate.
#include "engine/file_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"
#include "engine/slot_tables.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "primes/primetable.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

struct FileRun : ::testing::Test {
  static void SetUpTestSuite() {
    FillPrimetable();
    initialise();
  }
  void SetUp() override {
    saved = job;
    job = SieveJob{};
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    cwd = buf;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    setPrintCapture(&out);
  }
  void TearDown() override {
    setPrintCapture(nullptr);
    ChooseProcedures = ChooseSieveProcedures;
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    job = saved;
  }
  // A new twin file k.2^n+-1, k in 1..kmax, to p = stop.
  void NewTwins(int32_t n, int64_t kmax, int64_t stop, int64_t threshold = 400000000) {
    job._mode = 0x03;
    job._base = 2;
    job._nvalue = n;
    job.MinNum = 1;
    job.MaxNum = kmax;
    job.StopCriterion = STOP_AT_P;
    job.StopValue = stop;
    job.BitMapThreshold = threshold;
    job.outbuff = "out.txt";
    bool generate = true;
    try {
      SieveFile(&generate);
    } catch (const SieveStop&) {
      // all values removed: the session catches this around the file run
    }
  }
  SieveJob saved;
  ScratchDir dir;
  std::string cwd, out;
};

TEST(SubRangeBounds, TheThreeSubRangesOfTheDefaultBitmap) {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (int64_t lo = 1, hi = SubRangeEnd(lo, 1000000000, 400000000);; lo = hi + 1, hi = SubRangeEnd(lo, 1000000000, 400000000)) {
    ranges.emplace_back(lo, hi);
    if (hi == 1000000000) break;
  }
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[0], (std::pair<int64_t, int64_t>{1, 400000001}));
  EXPECT_EQ(ranges[1], (std::pair<int64_t, int64_t>{400000002, 800000002}));
  EXPECT_EQ(ranges[2], (std::pair<int64_t, int64_t>{800000003, 1000000000}));
  EXPECT_EQ(SubRangeEnd(5, 5, 10), 5);
  EXPECT_EQ(SubRangeEnd(12, 22, 10), 22);
  // Near the top of the 64-bit range the end never overflows.
  EXPECT_EQ(SubRangeEnd(INT64_MAX - 5, INT64_MAX, 400000000), INT64_MAX);
}

TEST_F(FileRun, NewFileMatchesTheOracle) {
  NewTwins(100, 5000, 100000);
  std::string text = readFile(dir.file("out.txt"));
  EXPECT_EQ(checkSieveFile(text, OracleJob(0x03, 2, 100), 1, 5000), "") << out;
  EXPECT_NE(out.find("CPU capabilities: CMOV: "), std::string::npos);
  EXPECT_NE(out.find("2500 candidates"), std::string::npos) << out;
  EXPECT_NE(out.find("Sieving numbers with 31 to 34 decimal digits"), std::string::npos) << out;
}

TEST_F(FileRun, SubRangePhaseEndsAsADirectRun) {
  NewTwins(100, 20000, 300000);
  std::string direct = readFile(dir.file("out.txt"));
  out.clear();
  NewTwins(100, 20000, 300000, 6000);
  EXPECT_EQ(readFile(dir.file("out.txt")), direct);
  for (const char* line : {"Sieving from k = 1 to k = 6001...", "Sieving from k = 6002 to k = 12002...",
                           "Sieving from k = 12003 to k = 18003...", "Sieving from k = 18004 to k = 20000..."})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

// Interrupts the run once a prime above `at` arrives in a sub-range other than the first.
int64_t interruptAt = 0;
WorkProcedure realProcedure = nullptr;
void Interrupting(const int64_t& p) {
  if (job.fAppend && p > interruptAt) job.State = STATE_INTERRUPTED;
  realProcedure(p);
}
void ChooseInterrupting() {
  ChooseSieveProcedures();
  realProcedure = workprocedure;
  workprocedure = Interrupting;
}

TEST_F(FileRun, InterruptDuringTheSubRangesEndsTheFileRun) {
  interruptAt = 5000;
  ChooseProcedures = ChooseInterrupting;
  NewTwins(100, 20000, 300000, 6000);
  EXPECT_EQ(job.State, STATE_INTERRUPTED);
  EXPECT_NE(out.find("the main run was not started"), std::string::npos) << out;
  EXPECT_EQ(readFile(dir.file("out.txt")), "");  // never written
  // The first sub-range was written whole; the interrupted second one was not appended.
  SieveFileData file;
  std::string error;
  ASSERT_TRUE(parseSieveFile(readFile(dir.file("QUILLSOR.TMP")), file, error)) << error;
  ASSERT_FALSE(file.lines.empty());
  EXPECT_LE(file.lines.back().first, 6001);
  EXPECT_EQ(file.depth, 300006);  // 300007 is the first prime above the limit
}

TEST_F(FileRun, StopValueAboveTheExactLimitIsLowered) {
  NewTwins(20, 100, int64_t{1} << 62);  // numbers below 10^8: the square-root limit ends it
  EXPECT_NE(out.find("sieving up to p = 1152921504606846976 instead"), std::string::npos) << out;
  EXPECT_EQ(job.StopValue, MAX_SIEVE_P);
}

}  // namespace
