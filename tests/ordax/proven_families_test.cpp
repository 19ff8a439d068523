// Whole files of each shape a theorem covers, with numbers above the small-number bound:
// ordax reports exactly the lines whose members pari-gp's isprime proves prime, and says
// "(proven)" for every one of them; b^n ± k lines stay "(probable)".
#include <gtest/gtest.h>
#include <gmpxx.h>

#include <functional>

#include "tests/ordax/gp_prover.h"
#include "tests/ordax/in_process.h"

namespace {

using Members = std::vector<mpz_class>;

mpz_class Pow(unsigned long b, long e) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), b, static_cast<unsigned long>(e));
  return r;
}

mpz_class Primorial(long n) {
  mpz_class r;
  mpz_primorial_ui(r.get_mpz_t(), static_cast<unsigned long>(n));
  return r;
}

struct Shape {
  std::string name;
  std::string header;
  long kFrom, kTo, kStep, n;  // lines "k n"
  std::function<Members(long k, long n)> members;
};

std::vector<Shape> Shapes() {
  auto chain = [](int length, bool minus, bool plus) {
    return [=](long k, long n) {
      Members m;
      for (int i = 0; i < length; ++i) {
        if (minus) m.push_back(k * Pow(2, n - 1 + i) - 1);
        if (plus) m.push_back(k * Pow(2, n - 1 + i) + 1);
      }
      return m;
    };
  };
  return {
      {"k.2^n+1", "1000:P:1:2:1", 1, 3001, 2, 90, [](long k, long n) { return Members{k * Pow(2, n) + 1}; }},
      {"k.2^n-1", "1000:M:1:2:2", 1, 3001, 2, 90, [](long k, long n) { return Members{k * Pow(2, n) - 1}; }},
      {"k.10^n+1", "1000:P:1:10:1", 1, 2000, 1, 26, [](long k, long n) { return Members{k * Pow(10, n) + 1}; }},
      {"k.10^n-1", "1000:M:1:10:2", 1, 2000, 1, 26, [](long k, long n) { return Members{k * Pow(10, n) - 1}; }},
      {"k.61#+1", "1000:P:1:2:65", 1, 2000, 1, 61, [](long k, long n) { return Members{k * Primorial(n) + 1}; }},
      {"k.61#-1", "1000:M:1:2:66", 1, 2000, 1, 61, [](long k, long n) { return Members{k * Primorial(n) - 1}; }},
      {"twins k.2^n+-1", "1000:T:1:2:3", 1, 60001, 2, 90,
       [](long k, long n) { return Members{k * Pow(2, n) - 1, k * Pow(2, n) + 1}; }},
      {"twins k.61#+-1", "1000:T:1:2:67", 1, 30000, 1, 61,
       [](long k, long n) { return Members{k * Primorial(n) - 1, k * Primorial(n) + 1}; }},
      {"Sophie Germain", "1000:S:1:2:10", 1, 30001, 2, 90,
       [](long k, long n) { return Members{k * Pow(2, n) - 1, 2 * k * Pow(2, n) - 1}; }},
      {"Sophie Germain, base 10", "1000:S:1:10:1034", 1, 20000, 1, 26,
       [](long k, long n) { return Members{k * Pow(10, n) - 1, 2 * k * Pow(10, n) - 1}; }},
      {"p and 2p+1 (2k.2^n+3)", "1000:P:1:2:4097", 1, 30001, 2, 90,
       [](long k, long n) { return Members{k * Pow(2, n) + 1, 2 * k * Pow(2, n) + 3}; }},
      {"CC 1st kind, length 3", "1000:1:3:2:42", 1, 400001, 2, 91, chain(3, true, false)},
      {"CC 2nd kind, length 3", "1000:2:3:2:21", 1, 400001, 2, 91, chain(3, false, true)},
  };
}

// The line indices whose members gp proves prime, members screened by GMP first.
std::vector<size_t> GpAllPrime(const std::vector<Members>& lines) {
  std::vector<mpz_class> ask;
  std::vector<size_t> owner;
  std::vector<bool> possible(lines.size(), true);
  for (size_t i = 0; i < lines.size(); ++i)
    for (const mpz_class& m : lines[i]) possible[i] = possible[i] && mpz_probab_prime_p(m.get_mpz_t(), 5) > 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (possible[i])
      for (const mpz_class& m : lines[i]) {
        ask.push_back(m);
        owner.push_back(i);
      }
  const std::vector<bool> truth = GpIsPrime(ask);
  EXPECT_EQ(truth.size(), ask.size());
  for (size_t j = 0; j < truth.size(); ++j)
    if (!truth[j]) possible[owner[j]] = false;
  std::vector<size_t> out;
  for (size_t i = 0; i < lines.size(); ++i)
    if (possible[i]) out.push_back(i);
  return out;
}

TEST(OrdaxProvenFamilies, EveryPrimeLineOfAProvableShapeIsProven) {
  if (GpPath().empty()) GTEST_SKIP() << "pari-gp (gp) is not installed";
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    std::string text = shape.header + "\n";
    std::vector<Members> lines;
    for (long k = shape.kFrom; k <= shape.kTo; k += shape.kStep) {
      // Lines whose members have a small factor stand for the sieve's work: left out.
      Members m = shape.members(k, shape.n);
      bool smooth = false;
      for (const mpz_class& v : m)
        for (unsigned long q = 3; q < 100 && !smooth; q += 2) smooth = v != q && mpz_divisible_ui_p(v.get_mpz_t(), q);
      if (smooth) continue;
      text += std::to_string(k) + " " + std::to_string(shape.n) + "\n";
      lines.push_back(m);
    }
    const std::vector<size_t> expected = GpAllPrime(lines);
    EXPECT_GE(expected.size(), 2u);
    ScratchDir dir;
    InProcessRun run = RunInProcess(dir, text);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.summary.found, expected);
    for (size_t i = 0; i < run.summary.found.size(); ++i) {
      EXPECT_TRUE(run.summary.proven[i]) << run.summary.texts[i];
      EXPECT_NE(run.summary.texts[i].find("(proven)"), std::string::npos) << run.summary.texts[i];
    }
  }
}

TEST(OrdaxProvenFamilies, PlantedCompositesInAFileAreRejected) {
  // Fermat numbers 2^(2^m)+1 (m = 7..10) and 2^p−1 for prime p not a Mersenne exponent pass a
  // Fermat test to base 2; in fixed-k files they must never be reported.
  ScratchDir dir;
  InProcessRun plus = RunInProcess(dir, "1000:P:1:2:257\n1 128\n1 256\n1 512\n1 1024\n3 189\n");
  ASSERT_EQ(plus.status, 0) << plus.output;
  EXPECT_EQ(plus.summary.found, (std::vector<size_t>{4}));  // 3·2^189+1 is prime
  ScratchDir dir2;
  InProcessRun minus = RunInProcess(dir2, "1000:M:1:2:258\n1 101\n1 103\n1 107\n1 109\n1 113\n1 127\n1 131\n");
  ASSERT_EQ(minus.status, 0) << minus.output;
  EXPECT_EQ(minus.summary.found, (std::vector<size_t>{2, 5}));  // 2^107−1 and 2^127−1
  for (bool p : minus.summary.proven) EXPECT_TRUE(p);
}

TEST(OrdaxProvenFamilies, BPowerPlusKIsProbable) {
  ScratchDir dir;
  std::string text = "1000:P:1:2:32769\n";
  for (long n = 100; n <= 400; ++n) text += "3 " + std::to_string(n) + "\n";
  InProcessRun run = RunInProcess(dir, text);
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_FALSE(run.summary.found.empty());
  for (const std::string& t : run.summary.texts) EXPECT_NE(t.find("is prime (probable)"), std::string::npos) << t;
}

}  // namespace
