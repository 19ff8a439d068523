// The multiplier b^0 = 1: the exponent 0, and the Lucky types at n = 1, which also sieve
// k·b^(n−1). Primes dividing the base divide k ± 1 for k ≡ ∓1, and a member k − 1 or k + 1
// may be the prime itself. Whole files against the oracle, with the cases first seen wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

std::vector<int64_t> SieveValues(const FixedNJob& j, int64_t stop, std::string& text) {
  ScratchDir dir;
  RunResult r = runMorvane(NewFileArgs(j, "out.txt", stop), dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  text = readFile(dir.file("out.txt"));
  SieveFileData file;
  std::string error;
  EXPECT_TRUE(parseSieveFile(text, file, error)) << error;
  return fileValues(file, OracleFor(j));
}

bool Has(const std::vector<int64_t>& v, int64_t x) { return std::find(v.begin(), v.end(), x) != v.end(); }

FixedNJob Job(int type, uint32_t base, int64_t n, int64_t kmax) {
  FixedNJob j;
  j.type = type;
  j.base = base;
  j.n = n;
  j.kmax = kmax;
  return j;
}

TEST(UnitMultiplier, PrimesDividingTheBaseStrikeKPlusOrMinusOne) {
  // k·3^0 + 1 = 1101 and 1671 are divisible by 3.
  const FixedNJob lp = Job(8, 3, 1, 2000);
  std::string text;
  std::vector<int64_t> kept = SieveValues(lp, 1000, text);
  EXPECT_FALSE(Has(kept, 1100));
  EXPECT_FALSE(Has(kept, 1670));
  EXPECT_EQ(checkSieveFile(text, OracleFor(lp), lp.kmin, lp.kmax), "");
  // 11·10^0 + 1 = 12: struck by 3 (and 5 strikes k ≡ ±1 too).
  const FixedNJob twin = Job(2, 10, 0, 300);
  kept = SieveValues(twin, 1000, text);
  EXPECT_FALSE(Has(kept, 11));
  EXPECT_EQ(checkSieveFile(text, OracleFor(twin), twin.kmin, twin.kmax), "");
}

TEST(UnitMultiplier, AMemberThatIsThePrimeItselfIsKept) {
  // 6: 5, 17, 19, 53 are all prime; 20: 19, 59, 61, 179 likewise.
  const FixedNJob lm = Job(9, 3, 1, 2000);
  std::string text;
  std::vector<int64_t> kept = SieveValues(lm, 1000, text);
  for (int64_t k : {6, 20, 80, 90, 140}) EXPECT_TRUE(Has(kept, k)) << k;
  EXPECT_EQ(checkSieveFile(text, OracleFor(lm), lm.kmin, lm.kmax), "");
  // 4: 3 and 5; 12: 11 and 13; 18: 17 and 19 (twins of k·10^0 ± 1).
  const FixedNJob twin = Job(2, 10, 0, 300);
  kept = SieveValues(twin, 1000, text);
  for (int64_t k : {4, 12, 18}) EXPECT_TRUE(Has(kept, k)) << k;
  // With even k on base 2, k = p + 1 has the member k − 1 = p.
  FixedNJob minus = Job(1, 2, 0, 500);
  minus.evenK = true;
  kept = SieveValues(minus, 1000, text);
  for (int64_t k : {4, 6, 8, 12, 14, 18, 20, 24}) EXPECT_TRUE(Has(kept, k)) << k;
  EXPECT_FALSE(Has(kept, 1)) << "k = 1 gives the number 0";
  EXPECT_EQ(checkSieveFile(text, OracleFor(minus), minus.kmin, minus.kmax), "");
}

TEST(UnitMultiplier, LuckyTypesRefuseNZero) {
  for (int type : {8, 9}) {
    ScratchDir dir;
    RunResult r = runMorvane(NewFileArgs(Job(type, 3, 0, 100), "out.txt", 1000), dir.path());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("n must be at least 1 for this type, which also sieves k.b^(n-1).\n"),
              std::string::npos)
        << r.output;
    EXPECT_FALSE(std::ifstream(dir.file("out.txt")).good());
  }
  // In the dialogue the question is asked again.
  ScratchDir dir;
  RunResult r = runMorvane({}, dir.path(), "0\nn\nout.txt\n\n9\n3\n0\n1\n");
  EXPECT_NE(r.output.find("n must be at least 1 for this type, which also sieves k.b^(n-1).\nn = "),
            std::string::npos)
      << r.output;
}

}  // namespace
