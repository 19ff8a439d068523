// For a hand-written file of every sieve family, the tester reports exactly the lines whose every
// member is a probable prime. The members are built here straight from each type's definition
// (menu forms, with the chain types' n written one higher than the first link's exponent).
#include <gtest/gtest.h>
#include <gmpxx.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/ordax/in_process.h"

namespace {

using Members = std::vector<mpz_class>;
// Members of the line "a b" as written in the file.
using Definition = std::function<Members(long a, long b)>;
using Lines = std::vector<std::pair<long, long>>;

mpz_class Pow(unsigned long b, long e) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), b, static_cast<unsigned long>(e));
  return r;
}

// n#, by trial division, independent of the library's primorial.
mpz_class Primorial(long n) {
  mpz_class r = 1;
  for (long q = 2; q <= n; ++q) {
    bool prime = true;
    for (long d = 2; d * d <= q; ++d) prime = prime && q % d != 0;
    if (prime) r *= q;
  }
  return r;
}

// Negative numbers, 0 and 1 are not prime.
bool AllPrime(const Members& members) {
  for (const auto& v : members)
    if (v < 2 || mpz_probab_prime_p(v.get_mpz_t(), 30) == 0) return false;
  return true;
}

Lines KRange(long from, long to, long step, long n) {
  Lines lines;
  for (long k = from; k <= to; k += step) lines.emplace_back(k, n);
  return lines;
}

Lines NRange(long k, long from, long to, long step = 1) {
  Lines lines;
  for (long n = from; n <= to; n += step) lines.emplace_back(k, n);
  return lines;
}

struct Family {
  std::string name;
  std::string header;
  Lines lines;
  Definition members;
};

std::string FileText(const Family& f) {
  std::string text = f.header + "\n";
  for (const auto& [a, b] : f.lines) text += std::to_string(a) + " " + std::to_string(b) + "\n";
  return text;
}

std::vector<size_t> Expected(const Family& f) {
  std::vector<size_t> hits;
  for (size_t i = 0; i < f.lines.size(); ++i)
    if (AllPrime(f.members(f.lines[i].first, f.lines[i].second))) hits.push_back(i);
  return hits;
}

std::vector<Family> AllFamilies() {
  std::vector<Family> f;
  // Fixed n: k·b^n forms. Headers are "sieved-to:letter:chain length:base:mode".
  f.push_back({"type 0, base 2", "100:P:1:2:1", KRange(1, 3001, 2, 12),
               [](long k, long n) { return Members{k * Pow(2, n) + 1}; }});
  f.push_back({"type 0, base 10", "100:P:1:10:1", KRange(1, 2000, 1, 5),
               [](long k, long n) { return Members{k * Pow(10, n) + 1}; }});
  f.push_back({"type 1, base 2", "100:M:1:2:2", KRange(1, 3001, 2, 15),
               [](long k, long n) { return Members{k * Pow(2, n) - 1}; }});
  f.push_back({"type 2, base 2", "1000:T:1:2:3", KRange(1, 9001, 2, 20),
               [](long k, long n) { return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1}; }});
  f.push_back({"type 3, base 2", "100:S:1:2:10", KRange(1, 5001, 2, 9),
               [](long k, long n) { return Members{k * Pow(2, n) - 1, 2 * k * Pow(2, n) - 1}; }});
  f.push_back({"type 3, base 3, not generalized", "100:S:1:3:1034", KRange(2, 5000, 2, 7),
               [](long k, long n) { return Members{k * Pow(3, n) - 1, 2 * k * Pow(3, n) - 1}; }});
  f.push_back({"type 3, base 3, generalized", "100:S:1:3:10", KRange(2, 5000, 2, 7),
               [](long k, long n) { return Members{k * Pow(3, n) - 1, k * Pow(3, n + 1) - 1}; }});
  f.push_back({"type 4, base 2", "100:C:1:2:5", KRange(1, 5001, 2, 6),
               [](long k, long n) { return Members{k * Pow(2, n) + 1, 2 * k * Pow(2, n) + 1}; }});
  f.push_back({"type 5, base 2", "100:B:1:2:15", KRange(1, 40001, 2, 3), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, 2 * k * Pow(2, n) - 1, 2 * k * Pow(2, n) + 1};
               }});
  f.push_back({"type 5, base 3, generalized", "100:B:1:3:15", KRange(2, 40000, 2, 2), [](long k, long n) {
                 return Members{k * Pow(3, n) - 1, k * Pow(3, n) + 1, k * Pow(3, n + 1) - 1, k * Pow(3, n + 1) + 1};
               }});
  f.push_back({"type 6, base 2", "100:J:1:2:11", KRange(1, 9001, 2, 4), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, 2 * k * Pow(2, n) - 1};
               }});
  f.push_back({"type 7, base 2", "100:K:1:2:7", KRange(1, 9001, 2, 4), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, 2 * k * Pow(2, n) + 1};
               }});
  f.push_back({"type 8 (Lucky Plus), base 2", "100:Y:3:2:29", KRange(1, 20001, 2, 3), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, k * Pow(2, n - 1) + 1, k * Pow(2, n + 1) + 1};
               }});
  f.push_back({"type 8 (Lucky Plus), base 3", "100:Y:3:3:29", KRange(2, 20000, 2, 3), [](long k, long n) {
                 return Members{k * Pow(3, n) - 1, k * Pow(3, n) + 1, k * Pow(3, n - 1) + 1, k * Pow(3, n + 1) + 1};
               }});
  f.push_back({"type 9 (Lucky Minus), base 2", "100:Z:3:2:46", KRange(1, 20001, 2, 3), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, k * Pow(2, n - 1) - 1, k * Pow(2, n + 1) - 1};
               }});
  // Chains: the file shows n one higher than the exponent of the first link.
  auto chain = [](unsigned long b, int length, bool minus, bool plus) {
    return [=](long k, long n) {
      Members m;
      for (int i = 0; i < length; ++i) {
        if (minus) m.push_back(k * Pow(b, n - 1 + i) - 1);
        if (plus) m.push_back(k * Pow(b, n - 1 + i) + 1);
      }
      return m;
    };
  };
  f.push_back({"type 10, length 4, base 2", "100:1:4:2:42", KRange(1, 60001, 2, 3), chain(2, 4, true, false)});
  f.push_back({"type 10, length 4, base 2, even k", "100:1:4:2:16426", KRange(1, 5000, 1, 1),
               chain(2, 4, true, false)});
  f.push_back({"type 10, length 3, base 3", "100:1:3:3:42", KRange(2, 20000, 2, 4), chain(3, 3, true, false)});
  f.push_back({"type 11, length 3, base 2", "100:2:3:2:21", KRange(1, 20001, 2, 5), chain(2, 3, false, true)});
  f.push_back({"type 12, length 3, base 2", "100:3:3:2:63", KRange(1, 200001, 2, 2), chain(2, 3, true, true)});
  f.push_back({"type 13, base 2", "100:A:1:2:512", KRange(1, 3000, 1, 40),
               [](long k, long n) { return Members{Pow(2, n) + 2 * k - 1}; }});
  f.push_back({"type 13, base 3", "100:A:1:3:512", KRange(1, 3000, 1, 30),
               [](long k, long n) { return Members{Pow(3, n) + 2 * k - 2}; }});
  f.push_back({"type 14, base 2", "100:T:1:2:131", KRange(1, 20001, 2, 3), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, k * Pow(2, n) + 5};
               }});
  f.push_back({"type 15, base 2", "100:T:1:2:2179", KRange(1, 60001, 2, 1), [](long k, long n) {
                 return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1, k * Pow(2, n) + 5, k * Pow(2, n) + 7};
               }});
  f.push_back({"type 18, base 2", "100:P:1:2:4097", KRange(1, 5001, 2, 10), [](long k, long n) {
                 return Members{k * Pow(2, n) + 1, 2 * k * Pow(2, n) + 3};
               }});
  f.push_back({"type 18, base 5", "100:P:1:5:4097", KRange(2, 5000, 2, 6), [](long k, long n) {
                 return Members{k * Pow(5, n) + 1, 2 * k * Pow(5, n) + 3};
               }});
  // Primorial forms: the second number is the primorial index, never shifted.
  f.push_back({"primorial type 0", "100:P:1:2:65", KRange(1, 3000, 1, 31),
               [](long k, long n) { return Members{k * Primorial(n) + 1}; }});
  f.push_back({"primorial type 1", "100:M:1:2:66", KRange(1, 3000, 1, 23),
               [](long k, long n) { return Members{k * Primorial(n) - 1}; }});
  f.push_back({"primorial type 2", "100:T:1:2:67", KRange(1, 6000, 1, 29),
               [](long k, long n) { return Members{k * Primorial(n) - 1, k * Primorial(n) + 1}; }});
  f.push_back({"primorial type 3", "100:S:1:2:74", KRange(1, 6000, 1, 13),
               [](long k, long n) { return Members{k * Primorial(n) - 1, 2 * k * Primorial(n) - 1}; }});
  f.push_back({"primorial type 8 (n#/2)", "100:Y:3:2:93", KRange(1, 30000, 1, 11), [](long k, long n) {
                 mpz_class x = k * Primorial(n);
                 return Members{x / 2 + 1, x - 1, x + 1, 2 * x + 1};
               }});
  f.push_back({"primorial type 10, length 3", "100:1:3:2:106", KRange(1, 30000, 1, 7), [](long k, long n) {
                 mpz_class x = k * Primorial(n);
                 return Members{x - 1, 2 * x - 1, 4 * x - 1};
               }});
  f.push_back({"primorial type 13", "100:A:1:2:576", KRange(1, 3000, 1, 37),
               [](long k, long n) { return Members{Primorial(n) + 2 * k - 1}; }});
  f.push_back({"primorial type 14 (n#/5)", "100:T:1:2:195", KRange(1, 30000, 1, 13), [](long k, long n) {
                 mpz_class x = k * Primorial(n) / 5;
                 return Members{x - 1, x + 1, x + 5};
               }});
  f.push_back({"primorial type 15 (n#/35)", "100:T:1:2:2243", KRange(1, 60000, 1, 11), [](long k, long n) {
                 mpz_class x = k * Primorial(n) / 35;
                 return Members{x - 1, x + 1, x + 5, x + 7};
               }});
  // Fixed k: the lines are "k n" with k fixed and n the candidate.
  f.push_back({"type 16, base 2", "1000:P:1:2:257", NRange(27, 1, 400),
               [](long k, long n) { return Members{k * Pow(2, n) + 1}; }});
  f.push_back({"type 16, base 2, odd n", "1000:P:1:2:8449", NRange(27, 1, 401, 2),
               [](long k, long n) { return Members{k * Pow(2, n) + 1}; }});
  f.push_back({"type 16, base 3", "1000:P:1:3:257", NRange(2, 1, 300),
               [](long k, long n) { return Members{k * Pow(3, n) + 1}; }});
  f.push_back({"type 17, base 2", "1000:M:1:2:258", NRange(39, 1, 400),
               [](long k, long n) { return Members{k * Pow(2, n) - 1}; }});
  f.push_back({"type 17, base 6", "1000:M:1:6:258", NRange(5, 1, 300),
               [](long k, long n) { return Members{k * Pow(6, n) - 1}; }});
  f.push_back({"type 19, base 2", "1000:P:1:2:32769", NRange(3, 1, 400),
               [](long k, long n) { return Members{Pow(2, n) + k}; }});
  f.push_back({"type 20, base 2", "1000:M:1:2:32770", NRange(3, 1, 400),
               [](long k, long n) { return Members{Pow(2, n) - k}; }});
  f.push_back({"type 20, base 10", "1000:M:1:10:32770", NRange(21, 1, 200),
               [](long k, long n) { return Members{Pow(10, n) - k}; }});
  f.push_back({"PrimoProth +1 (11#)", "1000:P:1:2:321", NRange(11, 1, 400),
               [](long k, long n) { return Members{Primorial(k) * Pow(2, n) + 1}; }});
  f.push_back({"PrimoProth -1 (13#)", "1000:M:1:2:322", NRange(13, 1, 400),
               [](long k, long n) { return Members{Primorial(k) * Pow(2, n) - 1}; }});
  f.push_back({"product-form k, +1", "ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321", NRange(1, 1, 400),
               [](long, long n) { return Members{105 * Pow(2, n) + 1}; }});
  f.push_back({"product-form k, -1", "ABC 3*11*2^$b-1 //Morvane:1000:M:1:2:322", NRange(1, 1, 400),
               [](long, long n) { return Members{33 * Pow(2, n) - 1}; }});
  return f;
}

TEST(OrdaxFamilies, ReportsExactlyTheLinesWhoseEveryMemberIsPrime) {
  for (const Family& family : AllFamilies()) {
    SCOPED_TRACE(family.name);
    std::vector<size_t> expected = Expected(family);
    // A meaningful case has both kinds of line.
    EXPECT_FALSE(expected.empty());
    EXPECT_LT(expected.size(), family.lines.size());
    ScratchDir dir;
    InProcessRun run = RunInProcess(dir, FileText(family));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.summary.found, expected);
    EXPECT_EQ(run.summary.tested, family.lines.size());
  }
}

std::vector<long> FoundValues(const Family& family, bool second) {
  ScratchDir dir;
  InProcessRun run = RunInProcess(dir, FileText(family));
  std::vector<long> values;
  for (size_t i : run.summary.found) values.push_back(second ? family.lines[i].second : family.lines[i].first);
  return values;
}

// Published values: the twin primes below 200 are 2k∓1 for these k.
TEST(OrdaxFamilies, FindsThePublishedTwinPrimesBelow200) {
  Family twins{"twins", "10:T:1:2:16387", KRange(1, 99, 1, 1), {}};
  EXPECT_EQ(FoundValues(twins, false),
            (std::vector<long>{2, 3, 6, 9, 15, 21, 30, 36, 51, 54, 69, 75, 90, 96, 99}));
}

// Published values: the Sophie Germain primes below 100 are 2k−1 for these k (2 has no k).
TEST(OrdaxFamilies, FindsThePublishedSophieGermainPrimesBelow100) {
  Family sg{"Sophie Germain", "10:S:1:2:16394", KRange(1, 50, 1, 1), {}};
  EXPECT_EQ(FoundValues(sg, false), (std::vector<long>{2, 3, 6, 12, 15, 21, 27, 42, 45}));
}

// Published values: 3·2^n+1 is prime for these n up to 300, 3·2^n−1 for these n up to 250.
TEST(OrdaxFamilies, FindsThePublishedPrimesOfThreeTimesAPowerOfTwo) {
  Family plus{"3·2^n+1", "1000:P:1:2:257", NRange(3, 1, 300), {}};
  EXPECT_EQ(FoundValues(plus, true),
            (std::vector<long>{1, 2, 5, 6, 8, 12, 18, 30, 36, 41, 66, 189, 201, 209, 276}));
  Family minus{"3·2^n-1", "1000:M:1:2:258", NRange(3, 1, 250), {}};
  EXPECT_EQ(FoundValues(minus, true),
            (std::vector<long>{1, 2, 3, 4, 6, 7, 11, 18, 34, 38, 43, 55, 64, 76, 94, 103, 143, 206, 216}));
}

// Published values: p, 2p+1, 4p+3 and 8p+7 are all prime for p = 2, 5, 89, 179, 359, 509 below
// 1000 (a chain file of length 4 with n written as 1 has the first link k−1).
TEST(OrdaxFamilies, FindsThePublishedCunninghamChainsOfLengthFour) {
  Family chains{"CC1 length 4", "10:1:4:2:16426", KRange(1, 1000, 1, 1), {}};
  EXPECT_EQ(FoundValues(chains, false), (std::vector<long>{3, 6, 90, 180, 360, 510}));
}

}  // namespace
