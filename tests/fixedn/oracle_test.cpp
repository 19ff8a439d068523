// The oracle itself: member numbers of every form against hand-worked values, the range
// method against plain trial division, the prime windows, and the file checkers.
#include "tests/support/oracle.h"

#include <gtest/gtest.h>

namespace {

std::vector<long> asLongs(const std::vector<mpz_class>& v) {
  std::vector<long> out;
  for (const auto& x : v) out.push_back(x.get_si());
  return out;
}

TEST(OracleMembers, EveryFixedNFormBuildsTheNumbersOfItsMenuText) {
  // Twin, base 2, n = 1, k = 3: 5 and 7.
  EXPECT_EQ(asLongs(Oracle({0x03, 2, 1}).members(3)), (std::vector<long>{7, 5}));
  // SG, base 3, not generalized: k.3^2-1, 2k.3^2-1; generalized: k.3^3-1.
  EXPECT_EQ(asLongs(Oracle({0x040A, 3, 2}).members(2)), (std::vector<long>{17, 35}));
  EXPECT_EQ(asLongs(Oracle({0x000A, 3, 2}).members(2)), (std::vector<long>{17, 53}));
  // Lucky Plus, base 2, n = 3: k.2^2+1, k.2^3+-1, k.2^4+1.
  EXPECT_EQ(asLongs(Oracle({0x1D, 2, 3}).members(1)), (std::vector<long>{5, 9, 7, 17}));
  // Lucky Minus in primorial mode, n = 5: 1/2 k.5#-1, k.5#+-1, 2k.5#-1.
  EXPECT_EQ(asLongs(Oracle({0x6E, 2, 5}).members(1)), (std::vector<long>{14, 31, 29, 59}));
  // Chain of the second kind, L = 3, base 2, n = 1: k.2+1, k.4+1, k.8+1.
  EXPECT_EQ(asLongs(Oracle({0x15, 2, 1, 3}).members(5)), (std::vector<long>{11, 21, 41}));
  // BiTwin chain over base 3 (generalized), L = 3, n = 1.
  EXPECT_EQ(asLongs(Oracle({0x3F, 3, 1, 3}).members(2)), (std::vector<long>{7, 5, 19, 17, 55, 53}));
  // AP: even base b^n+2k-1, odd base b^n+2k-2, primorial n#+2k-1.
  EXPECT_EQ(asLongs(Oracle({0x200, 2, 3}).members(2)), (std::vector<long>{11}));
  EXPECT_EQ(asLongs(Oracle({0x200, 3, 2}).members(2)), (std::vector<long>{11}));
  EXPECT_EQ(asLongs(Oracle({0x240, 2, 5}).members(2)), (std::vector<long>{33}));
  // Tuples: primorial 3-tuple drops 5 from n#, 4-tuple drops 5 and 7.
  EXPECT_EQ(asLongs(Oracle({0x83, 2, 2}).members(1)), (std::vector<long>{5, 3, 9}));
  EXPECT_EQ(asLongs(Oracle({0xC3, 2, 7}).members(1)), (std::vector<long>{43, 41, 47}));
  EXPECT_EQ(asLongs(Oracle({0x8C3, 2, 7}).members(1)), (std::vector<long>{7, 5, 11, 13}));
  // SG with +3: k.b^n+1 and 2k.b^n+3.
  EXPECT_EQ(asLongs(Oracle({0x1001, 3, 5}).members(4)), (std::vector<long>{973, 1947}));
}

TEST(OracleMembers, FixedKFormsVaryTheExponent) {
  EXPECT_EQ(asLongs(Oracle({0x101, 2, 3}).members(4)), (std::vector<long>{49}));
  EXPECT_EQ(asLongs(Oracle({0x8002, 3, 5}).members(3)), (std::vector<long>{22}));
  EXPECT_EQ(asLongs(Oracle({0x142, 2, 5}).members(2)), (std::vector<long>{119}));
  OracleJob product{0x141, 2, 1};
  product.kFactors = {3, 5, 7};
  EXPECT_EQ(asLongs(Oracle(product).members(1)), (std::vector<long>{211}));
  EXPECT_EQ(oracleLine(product, 9), (std::pair<int64_t, int64_t>{1, 9}));
}

TEST(OracleCandidates, ParityAndWrittenN) {
  EXPECT_FALSE(oracleIsCandidate({0x03, 2, 10}, 4));
  EXPECT_TRUE(oracleIsCandidate({0x4003, 2, 10}, 4));
  EXPECT_FALSE(oracleIsCandidate({0x03, 3, 10}, 5));
  EXPECT_TRUE(oracleIsCandidate({0x03, 10, 10}, 5));
  EXPECT_FALSE(oracleIsCandidate({0x2101, 2, 3}, 4));
  EXPECT_EQ(oracleLine({0x2A, 2, 10, 3}, 7).second, 11);   // chains write n + 1
  EXPECT_EQ(oracleLine({0x1D, 2, 10}, 7).second, 10);      // Lucky types write n as entered
  EXPECT_EQ(oracleLine({0x401D, 2, 10}, 7).second, 10);
  EXPECT_EQ(oracleLine({0x6A, 2, 11, 3}, 7).second, 11);   // primorial chains write n
}

TEST(OracleDivisors, TheNumberItselfIsNoDivisor) {
  std::vector<uint64_t> primes = oddPrimesBetween(3, 100);
  Oracle twin({0x03, 2, 1});
  EXPECT_EQ(twin.firstDivisor(3, primes), 0u);   // 5 and 7 are primes themselves
  EXPECT_EQ(twin.firstDivisor(5, primes), 3u);   // 9
  EXPECT_EQ(twin.firstDivisor(7, primes), 3u);   // 15, though 13 is prime
  EXPECT_EQ(twin.firstDivisor(84, primes), 13u); // 169 = 13.13, 167 prime
}

TEST(OracleDivisors, RangeMethodAgreesWithTrialDivision) {
  const std::vector<OracleJob> jobs = {
      {0x03, 2, 1},    {0x05, 3, 4},   {0x040F, 10, 3}, {0x1D, 2, 2},     {0x2A, 7, 2, 4}, {0x3F, 2, 1, 6},
      {0x200, 3, 3},   {0x240, 2, 7},  {0x8C3, 2, 11},  {0x1001, 7, 2},   {0x5D, 2, 5},    {0x101, 2, 3},
      {0x8001, 3, 7},  {0x8002, 2, 9}, {0x142, 2, 7},   {0x2101, 2, 9}};
  std::vector<uint64_t> primes = oddPrimesBetween(3, 3000);
  for (const OracleJob& job : jobs) {
    Oracle oracle(job);
    std::vector<uint64_t> batch = oracle.firstDivisors(1, 400, primes);
    for (int64_t v = 1; v <= 400; ++v)
      ASSERT_EQ(batch[static_cast<size_t>(v - 1)], oracle.firstDivisor(v, primes))
          << "mode " << job.mode << " base " << job.base << " value " << v;
    // Sparse values far apart take the residue test for small primes, lookups for large ones.
    std::vector<int64_t> sparse = {3, 7, 2001, 65537, 1000003, 123456789, 9876543211LL};
    if (oracleIsFixedK(job)) sparse = {3, 7, 201, 401, 999, 4001};  // n: numbers of n digits
    std::vector<uint64_t> got = oracle.firstDivisors(sparse, primes);
    for (size_t i = 0; i < sparse.size(); ++i) ASSERT_EQ(got[i], oracle.firstDivisor(sparse[i], primes));
  }
}

TEST(OraclePrimes, WindowsAboveTwoToThe32) {
  std::vector<uint64_t> small = oddPrimesBetween(1, 30);
  EXPECT_EQ(small, (std::vector<uint64_t>{3, 5, 7, 11, 13, 17, 19, 23, 29}));
  std::vector<uint64_t> w = oddPrimesBetween(4294967290ULL, 4294967400ULL);
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w.front(), 4294967291ULL);  // the largest prime below 2^32
  EXPECT_EQ(w[1], 4294967311ULL);       // the smallest above
  for (uint64_t q : w) {
    mpz_class m = static_cast<unsigned long>(q);
    EXPECT_NE(mpz_probab_prime_p(m.get_mpz_t(), 25), 0) << q;
  }
  EXPECT_EQ(oddPrimesBetween(1ULL << 46, (1ULL << 46) + 200).front(), (1ULL << 46) + 15);
}

TEST(OracleFiles, CheckerAcceptsExactFilesAndNamesFaults) {
  // Twins k.2^1+-1 for k = 1..30 sieved to 10: survivors are k = 1 (3 and 1), 3 (7, 5),
  // and those with no factor 3, 5 or 7 other than the number itself.
  OracleJob job{0x03, 2, 1};
  Oracle oracle(job);
  std::vector<uint64_t> primes = oddPrimesBetween(3, 10);
  std::string text = "10:T:1:2:3\n";
  for (int64_t k = 1; k <= 30; k += 2)
    if (oracle.firstDivisor(k, primes) == 0) text += std::to_string(k) + " 1\n";
  EXPECT_EQ(checkSieveFile(text, job, 1, 30), "");
  EXPECT_NE(checkSieveFile("10:T:1:2:3\n1 1\n", job, 1, 30), "");                // values missing
  EXPECT_NE(checkSieveFile(text + "29 1\n", job, 1, 30), "");                    // not increasing
  EXPECT_NE(checkSieveFile("10:T:1:2:1\n" + text.substr(11), job, 1, 30), "");   // wrong mode
  SieveFileData parsed;
  std::string error;
  ASSERT_TRUE(parseSieveFile("ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321\n1 7\n", parsed, error));
  EXPECT_EQ(parsed.factors, (std::vector<int64_t>{3, 5, 7}));
  EXPECT_EQ(parsed.depth, 1000);
  EXPECT_EQ(parsed.mode, 321u);
  EXPECT_FALSE(parseSieveFile("garbage\n", parsed, error));
}

TEST(OracleFiles, WindowChecker) {
  OracleJob job{0x01, 2, 5};
  Oracle oracle(job);
  std::string before = "100:P:1:2:1\n", after = "200:P:1:2:1\n";
  std::vector<uint64_t> window = oddPrimesBetween(101, 200);
  for (int64_t k = 1; k <= 300; k += 2) {
    before += std::to_string(k) + " 5\n";
    if (oracle.firstDivisor(k, window) == 0) after += std::to_string(k) + " 5\n";
  }
  EXPECT_EQ(checkWindow(before, after, job), "");
  EXPECT_NE(checkWindow(before, before.substr(0, 12) + after.substr(12), job), "");
  EXPECT_NE(checkWindow(before, "200:P:1:2:1\n", job), "");
}

}  // namespace
