// Files whose last value is removed while sieving: the header must claim at least the prime
// that struck it, so that every value missing from the file has a divisor up to the header's
// depth (the oracle checks exactly that). New fixed-n and fixed-k files, ranges sieved in
// sub-ranges, and continued files.
#include <gtest/gtest.h>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

constexpr const char* ALL_REMOVED = "All values removed! You do not need to test these values!!";

// Runs args in a fresh folder and checks the emptied file "out.txt" against the oracle.
void ExpectEmptiedFile(const std::vector<std::string>& args, const OracleJob& job, int64_t vmin, int64_t vmax,
                       int64_t strikerAtLeast) {
  ScratchDir dir;
  RunResult r = runMorvane(args, dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(ALL_REMOVED), std::string::npos) << r.output;
  const std::string text = readFile(dir.file("out.txt"));
  SieveFileData file;
  std::string error;
  ASSERT_TRUE(parseSieveFile(text, file, error)) << error << "\n" << text;
  EXPECT_TRUE(file.lines.empty()) << text;
  EXPECT_GE(file.depth, strikerAtLeast) << text;
  EXPECT_EQ(checkSieveFile(text, job, vmin, vmax), "") << text;
}

std::vector<std::string> FixedK(int type, uint32_t base, int64_t k, int64_t nmin, int64_t nmax,
                                std::vector<std::string> extra = {}) {
  std::vector<std::string> a = {"-w", "-wp=out.txt", "-t=" + std::to_string(type), "-base=" + std::to_string(base),
                                "-k=" + std::to_string(k), "-nmin=" + std::to_string(nmin),
                                "-nmax=" + std::to_string(nmax)};
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

FixedNJob LuckyMinusBase7() {
  FixedNJob j;
  j.type = 9;
  j.base = 7;
  j.n = 20;
  j.kmax = 30000;
  return j;
}

TEST(EmptiedFile, FixedNClaimsThePrimeThatStruckTheLastValue) {
  const FixedNJob j = LuckyMinusBase7();  // 35099 strikes the last value
  ExpectEmptiedFile(NewFileArgs(j, "out.txt", 100000), OracleFor(j), j.kmin, j.kmax, 35099);
}

TEST(EmptiedFile, FixedKClaimsThePrimeThatStruckTheLastValue) {
  // 3 divides every 7·10^n − 1; 7·2^2 − 1 = 27 and 7·2^3 − 1 = 55 go with 3 and 5.
  ExpectEmptiedFile(FixedK(17, 10, 7, 100, 10000), OracleJob(0x0102, 10, 7), 100, 10000, 3);
  ExpectEmptiedFile(FixedK(17, 2, 7, 2, 3), OracleJob(0x0102, 2, 7), 2, 3, 5);
}

TEST(EmptiedFile, EverySubRangeEmptiedGivesAnEmptyFileWithTheDeepestStriker) {
  // Bitmaps of about 8000 and 800 bits: the ranges are sieved in parts, each runs empty.
  const FixedNJob j = LuckyMinusBase7();
  ExpectEmptiedFile(NewFileArgs(j, "out.txt", 100000, {"-ob=0.001"}), OracleFor(j), j.kmin, j.kmax, 35099);
  ExpectEmptiedFile(FixedK(17, 10, 7, 100, 5000, {"-ob=0.0001"}), OracleJob(0x0102, 10, 7), 100, 5000, 3);
}

TEST(EmptiedFile, ContinuedFileClaimsThePrimeThatStruckTheLastValue) {
  const FixedNJob j = LuckyMinusBase7();
  ScratchDir dir;
  ASSERT_EQ(runMorvane(NewFileArgs(j, "first.txt", 10000), dir.path()).status, 0);
  SieveFileData first;
  std::string error;
  ASSERT_TRUE(parseSieveFile(readFile(dir.file("first.txt")), first, error)) << error;
  ASSERT_FALSE(first.lines.empty());
  RunResult r = runMorvane(ContinueArgs("first.txt", "out.txt", 100000), dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(ALL_REMOVED), std::string::npos) << r.output;
  const std::string text = readFile(dir.file("out.txt"));
  EXPECT_EQ(text.substr(0, text.find('\n')), "35099:Z:3:7:46");
  EXPECT_EQ(checkWindow(readFile(dir.file("first.txt")), text, OracleFor(j)), "");
}

}  // namespace
