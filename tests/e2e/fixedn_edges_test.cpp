// The smallest exponents, where the multiplier b^n is 1 or b and the member numbers run
// through the sieving primes: every fixed-n type over bases 2, 3 and 10 with n = 0, 1, 2
// (even k too on base 2, generalized chains on the other bases), sieved by the binary and
// compared whole with the GMP oracle, or refused with a message where the form cannot be
// sieved. Small ranges and a low depth keep the sweep quick.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

constexpr int64_t DEPTH = 2000;
const int kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18};

// The message a refused job must show; empty when the job is sieved.
std::string RefusalFor(const FixedNJob& j) {
  if ((j.type == 14 || j.type == 15) && j.base % 5 == 0) return "5 will always divide";
  if (j.type == 18 && j.base % 3 == 0) return "3 will always divide";
  if ((j.type == 8 || j.type == 9) && j.n == 0) return "n must be at least 1";
  return "";
}

std::vector<FixedNJob> Jobs() {
  std::vector<FixedNJob> jobs;
  for (int t : kTypes) {
    for (uint32_t base : {2u, 3u, 10u}) {
      for (int64_t n : {0, 1, 2}) {
        FixedNJob j;
        j.type = t;
        j.base = base;
        j.n = n;
        j.kmax = 400;
        if (t >= 10 && t <= 12) j.length = 4;
        jobs.push_back(j);
        if (base == 2 && t != 13) {
          j.evenK = true;
          jobs.push_back(j);
        }
        if (base != 2 && t >= 3 && t <= 7) {
          j.generalized = true;
          jobs.push_back(j);
        }
      }
    }
  }
  return jobs;
}

class FixedNEdges : public ::testing::TestWithParam<FixedNJob> {};

TEST_P(FixedNEdges, FileMatchesTheOracleOrIsRefused) {
  const FixedNJob j = GetParam();
  ScratchDir dir;
  RunResult r = runMorvane(NewFileArgs(j, "out.txt", DEPTH), dir.path());
  const std::string refusal = RefusalFor(j);
  if (!refusal.empty()) {
    EXPECT_NE(r.output.find(refusal), std::string::npos) << Describe(j) << "\n" << r.output;
    EXPECT_FALSE(std::ifstream(dir.file("out.txt")).good()) << Describe(j);
    return;
  }
  ASSERT_EQ(r.status, 0) << Describe(j) << "\n" << r.output;
  std::string text = readFile(dir.file("out.txt"));
  EXPECT_EQ(checkSieveFile(text, OracleFor(j), j.kmin, j.kmax), "") << Describe(j) << "\n" << text.substr(0, 300);
}

std::string Name(const ::testing::TestParamInfo<FixedNJob>& info) {
  const FixedNJob& j = info.param;
  return "t" + std::to_string(j.type) + "_b" + std::to_string(j.base) + "_n" + std::to_string(j.n) +
         (j.evenK ? "_evenk" : "") + (j.generalized ? "_gen" : "");
}

INSTANTIATE_TEST_SUITE_P(SmallExponents, FixedNEdges, ::testing::ValuesIn(Jobs()), Name);

}  // namespace
