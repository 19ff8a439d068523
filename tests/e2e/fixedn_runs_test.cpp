// Runs of whole files through the binary: continuing equals sieving in one go with every
// store (bitmap, array, sparse array, hash), the sub-range phase for a range larger than the
// bitmap ends identical to a direct run and splits where it should, and the stop limit.
#include <gtest/gtest.h>

#include <filesystem>

#include <random>
#include <set>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

std::string RunFile(const std::vector<std::string>& args, const std::string& dir, const std::string& out) {
  RunResult r = runMorvane(args, dir);
  EXPECT_EQ(r.status, 0) << r.output;
  return readFile(dir + "/" + out);
}

// Sieves job to p2 directly and in steps through each of `steps`, continuing the file each
// time with `extra` options; the final files must be the same.
void ExpectContinuationEqual(const FixedNJob& job, const std::vector<int64_t>& steps, int64_t p2,
                             const std::vector<std::string>& extra, const std::string& storeMessage) {
  ScratchDir dir;
  std::string direct = RunFile(NewFileArgs(job, "direct.txt", p2, extra), dir.path(), "direct.txt");
  ASSERT_FALSE(direct.empty());
  std::string stepped = RunFile(NewFileArgs(job, "step.txt", steps.front(), extra), dir.path(), "step.txt");
  for (size_t i = 1; i <= steps.size(); ++i) {
    int64_t to = i < steps.size() ? steps[i] : p2;
    RunResult r = runMorvane(ContinueArgs("step.txt", "step.txt", to, extra), dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    if (!storeMessage.empty()) {
      EXPECT_NE(r.output.find(storeMessage), std::string::npos) << r.output;
    }
  }
  stepped = readFile(dir.file("step.txt"));
  EXPECT_EQ(stepped, direct) << Describe(job);
  EXPECT_EQ(checkSieveFile(direct, OracleFor(job), job.kmin, job.kmax), "") << Describe(job);
}

TEST(Continuation, BitmapStore) {
  FixedNJob job;
  job.type = 5;
  job.n = 120;
  job.kmax = 60000;
  ExpectContinuationEqual(job, {1000, 20011, 300000}, 2000000, {}, "using bitmap");
}

TEST(Continuation, BitmapStoreOtherBasesAndPrimorial) {
  FixedNJob job;
  job.type = 6;
  job.base = 10;
  job.n = 30;
  job.kmax = 20000;
  ExpectContinuationEqual(job, {5000, 50000}, 400000, {}, "using bitmap");
  FixedNJob prim;
  prim.type = 12;
  prim.primorial = true;
  prim.n = 53;
  prim.kmax = 20000;
  prim.length = 3;
  ExpectContinuationEqual(prim, {1000, 100000}, 1000000, {}, "using bitmap");
}

// Even k leaves the Lucky types centred on the n entered, and their files read back so.
TEST(Continuation, LuckyTypesWithEvenK) {
  for (int type : {8, 9}) {
    FixedNJob job;
    job.type = type;
    job.evenK = true;
    job.n = 50;
    job.kmax = 300000;  // wide enough that values remain (an emptied file ends early)
    ExpectContinuationEqual(job, {1000, 5003}, 30000, {}, "using bitmap");
  }
}

// A range of 2·10^5 k against a bitmap of a little under that: every read of the file takes
// the hash store (1.5 slots per value fit the budget of BitMapThreshold/8 bytes)...
TEST(Continuation, HashStore) {
  FixedNJob job;
  job.type = 2;
  job.n = 100;
  job.kmax = 200000;
  ExpectContinuationEqual(job, {100000, 400000}, 1500000, {"-ob=0.022"}, "using fastarray");
}

// ...and with a smaller budget the array, searched by bisection.
TEST(Continuation, ArrayStore) {
  FixedNJob job;
  job.type = 2;
  job.n = 100;
  job.kmax = 200000;
  ExpectContinuationEqual(job, {100000, 400000}, 1500000, {"-ob=0.005"}, "using array");
}

// A few values spread over 10^10 read at a low depth: the array scanned linearly.
TEST(Continuation, SparseArrayStore) {
  std::mt19937_64 rng(5);
  std::set<int64_t> values;
  while (values.size() < 300) values.insert(static_cast<int64_t>(rng() % 10000000000ULL) | 1);
  std::string before = "1000:P:1:2:1\n";
  for (int64_t k : values) before += std::to_string(k) + " 77\n";
  ScratchDir dir;
  writeFile(dir.file("a.txt"), before);
  writeFile(dir.file("b.txt"), before);
  RunResult once = runMorvane(ContinueArgs("a.txt", "a.txt", 200000), dir.path());
  ASSERT_EQ(once.status, 0) << once.output;
  EXPECT_NE(once.output.find("Using sparse array algorithm"), std::string::npos) << once.output;
  for (int64_t stop : {5000, 30000, 200000}) {
    RunResult r = runMorvane(ContinueArgs("b.txt", "b.txt", stop), dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
  }
  std::string a = readFile(dir.file("a.txt"));
  EXPECT_EQ(readFile(dir.file("b.txt")), a);
  EXPECT_EQ(checkWindow(before, a, OracleJob(0x01, 2, 77)), "");
}

// A range larger than the bitmap goes through sub-ranges into QUILLSOR.TMP and ends with the
// file of a direct run.
TEST(SubRanges, EndIdenticalToADirectRun) {
  FixedNJob job;
  job.type = 14;
  job.n = 90;
  job.kmax = 30000;
  ScratchDir dir;
  std::string direct = RunFile(NewFileArgs(job, "direct.txt", 3000000), dir.path(), "direct.txt");
  RunResult r = runMorvane(NewFileArgs(job, "split.txt", 3000000, {"-ob=0.001"}), dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  // 0.001 Mb is 8388 bits: sub-ranges of 8389 values each.
  for (const char* line : {"Sieving from k = 1 to k = 8389...", "Sieving from k = 8390 to k = 16778...",
                           "Sieving from k = 16779 to k = 25167...", "Sieving from k = 25168 to k = 30000..."})
    EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
  EXPECT_EQ(readFile(dir.file("split.txt")), direct);
  // The intermediate file goes once the main run has saved the output.
  EXPECT_FALSE(std::filesystem::exists(dir.file("QUILLSOR.TMP")));
  EXPECT_EQ(checkSieveFile(direct, OracleFor(job), job.kmin, job.kmax), "");
}

// A stop value below 10^9 bounds the sub-ranges too; the main run then stops at once.
TEST(SubRanges, StopValueBelowTheSubRangeDepth) {
  FixedNJob job;
  job.type = 0;
  job.n = 60;
  job.kmax = 20000;
  ScratchDir dir;
  std::string direct = RunFile(NewFileArgs(job, "direct.txt", 50000), dir.path(), "direct.txt");
  std::string split = RunFile(NewFileArgs(job, "split.txt", 50000, {"-ob=0.001"}), dir.path(), "split.txt");
  EXPECT_EQ(split, direct);
  EXPECT_EQ(direct.substr(0, direct.find(':')), "50020");  // 50021 is the first prime above 5*10^4
}

TEST(StopLimit, AStopValueAboveTheExactLimitIsLowered) {
  FixedNJob job;  // numbers below 10^8: the square-root limit ends the run at once
  job.type = 0;
  job.n = 20;
  job.kmax = 100;
  ScratchDir dir;
  RunResult r = runMorvane(NewFileArgs(job, "out.txt", 1000, {"-osp=2000000000000000000"}), dir.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("sieving up to p = 1152921504606846976 instead"), std::string::npos) << r.output;
}

}  // namespace
