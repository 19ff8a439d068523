// Every fixed-n type, sieved end to end by the binary in full command-line mode to at least
// 10^5, is exactly what the GMP oracle says: survivors have no odd prime factor up to the
// header's depth other than themselves, and every missing candidate has one. Variants: base
// 2, an odd and an even base, chains generalized or not, even k, primorial mode, chain
// lengths 3 and 6, and tiny jobs whose member numbers are sieving primes themselves.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

constexpr int64_t DEPTH = 100000;
const int kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18};

uint32_t OddBase(int type) { return type == 18 ? 7 : 3; }  // 3 always divides 2k.3^n+3
uint32_t EvenBase(int type) { return (type == 14 || type == 15) ? 6 : 10; }  // 5 divides k.10^n+5

std::vector<FixedNJob> Jobs() {
  std::vector<FixedNJob> jobs;
  for (int t : kTypes) {
    FixedNJob j;
    j.type = t;
    j.n = 100;
    j.kmax = 3000;
    jobs.push_back(j);  // base 2
    j.evenK = t != 13;
    if (j.evenK) jobs.push_back(j);
    j.evenK = false;
    j.base = OddBase(t);
    j.n = j.base == 3 ? 41 : 23;
    jobs.push_back(j);
    if (t >= 3 && t <= 7) {
      j.generalized = true;
      jobs.push_back(j);
      j.generalized = false;
    }
    j.base = EvenBase(t);
    j.n = 27;
    jobs.push_back(j);
    if (t >= 3 && t <= 7) {
      j.generalized = true;
      jobs.push_back(j);
    }
  }
  for (int t : kTypes) {
    if (t > 15) continue;
    for (int64_t n : {31, 101}) {
      FixedNJob j;
      j.type = t;
      j.primorial = true;
      j.n = n;
      j.kmax = 2000;
      jobs.push_back(j);
    }
  }
  for (int t : {10, 11, 12}) {
    for (int length : {3, 6}) {
      FixedNJob j;
      j.type = t;
      j.n = 64;
      j.kmax = 4000;
      j.length = length;
      jobs.push_back(j);
      j.base = 7;
      j.n = 15;
      jobs.push_back(j);
    }
  }
  // Tiny jobs: member numbers run through the sieving primes themselves.
  for (int t : kTypes) {
    for (int64_t n : {1, 2, 3}) {
      if ((t == 8 || t == 9) && n == 1) continue;  // sieved one exponent lower
      FixedNJob j;
      j.type = t;
      j.n = n;
      j.kmax = 3000;
      if (t >= 10 && t <= 12) j.length = 4;
      jobs.push_back(j);
      if (n == 1) {
        j.base = OddBase(t);
        jobs.push_back(j);
      }
    }
    if (t > 15) continue;
    for (int64_t n : {3, 5}) {
      FixedNJob j;
      j.type = t;
      j.primorial = true;
      j.n = n;
      j.kmax = 3000;
      jobs.push_back(j);
    }
  }
  return jobs;
}

class FixedNExact : public ::testing::TestWithParam<FixedNJob> {};

TEST_P(FixedNExact, FileMatchesTheOracle) {
  const FixedNJob j = GetParam();
  ScratchDir dir;
  RunResult r = runMorvane(NewFileArgs(j, "out.txt", DEPTH), dir.path());
  ASSERT_EQ(r.status, 0) << Describe(j) << "\n" << r.output;
  std::string text = readFile(dir.file("out.txt"));
  SieveFileData file;
  std::string error;
  ASSERT_TRUE(parseSieveFile(text, file, error)) << Describe(j) << ": " << error << "\n" << r.output;
  // A job whose numbers all lie below the square of the next prime stops earlier (what
  // survives is prime); one that loses its last value stops at the prime that struck it,
  // which its header claims.
  const bool allGone = r.output.find("All values removed") != std::string::npos;
  mpz_class bound = file.depth + 1;
  bound *= bound;
  bool allBelowSquare = true;
  for (const mpz_class& number : Oracle(OracleFor(j)).members(j.kmax)) allBelowSquare &= number < bound;
  if (!allBelowSquare && !allGone) {
    EXPECT_GE(file.depth, DEPTH) << Describe(j);
  }
  EXPECT_EQ(checkSieveFile(text, OracleFor(j), j.kmin, j.kmax), "")
      << Describe(j) << "\n" << r.output;
}

INSTANTIATE_TEST_SUITE_P(EveryType, FixedNExact, ::testing::ValuesIn(Jobs()));

}  // namespace
