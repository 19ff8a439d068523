// The proofs against an independent prover (pari-gp's isprime) on every shape they cover,
// planted composites that pass a Fermat test to base 2, published primes, and the special-form
// reduction against GMP's own.
#include <gtest/gtest.h>
#include <gmpxx.h>

#include <set>

#include "ordax/modulus.h"
#include "ordax/proof.h"
#include "tests/ordax/gp_prover.h"

namespace {

mpz_class Pow(unsigned long b, unsigned long e) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), b, e);
  return r;
}

mpz_class Primorial(unsigned long n) {
  mpz_class r;
  mpz_primorial_ui(r.get_mpz_t(), n);
  return r;
}

std::vector<mpz_class> PrimesOf(unsigned long v) {
  std::vector<mpz_class> out;
  for (uint64_t q : WordPrimeFactors(v)) out.emplace_back(static_cast<unsigned long>(q));
  return out;
}

std::vector<mpz_class> PrimesUpTo(unsigned long n) {
  std::vector<mpz_class> out;
  for (mpz_class q = 2; q <= n; mpz_nextprime(q.get_mpz_t(), q.get_mpz_t())) out.push_back(q);
  return out;
}

bool FermatBase2(const mpz_class& n) {
  mpz_class r, two = 2, e = n - 1;
  mpz_powm(r.get_mpz_t(), two.get_mpz_t(), e.get_mpz_t(), n.get_mpz_t());
  return r == 1;
}

struct Case {
  mpz_class n;
  std::vector<mpz_class> known;
  std::string name;
};

// Every case: gp's verdict decides; a prime must be proven (the theorem applies to every case
// given here), a composite must be called composite.
void CheckAgainstGp(const std::vector<Case>& cases, bool theoremApplies = true) {
  if (GpPath().empty()) GTEST_SKIP() << "pari-gp (gp) is not installed";
  std::vector<mpz_class> numbers;
  for (const Case& c : cases) numbers.push_back(c.n);
  const std::vector<bool> truth = GpIsPrime(numbers);
  ASSERT_EQ(truth.size(), cases.size()) << "gp did not answer";
  int primes = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Verdict v = ProveOrTest(cases[i].n, cases[i].known);
    if (truth[i]) {
      ++primes;
      if (theoremApplies)
        EXPECT_EQ(v.result, Primality::Proven) << cases[i].name;
      else
        EXPECT_NE(v.result, Primality::Composite) << cases[i].name;
    } else {
      EXPECT_EQ(v.result, Primality::Composite) << cases[i].name;
    }
  }
  EXPECT_GT(primes, 2) << "too few primes to show anything";
}

std::vector<Case> KTimesPower(unsigned long b, unsigned long n, int sign, unsigned long kMax) {
  std::vector<Case> cases;
  const mpz_class x = Pow(b, n);
  std::vector<mpz_class> base = PrimesOf(b);
  for (unsigned long k = 1; k <= kMax; ++k) {
    Case c{k * x + sign, PrimesOf(k), std::to_string(k) + "*" + std::to_string(b) + "^" + std::to_string(n) +
                                          (sign > 0 ? "+1" : "-1")};
    c.known.insert(c.known.end(), base.begin(), base.end());
    cases.push_back(c);
  }
  return cases;
}

TEST(ProofVsGp, ProthNumbers) { CheckAgainstGp(KTimesPower(2, 100, 1, 600)); }

TEST(ProofVsGp, RieselNumbersIncludingMultiplesOfThree) {
  auto cases = KTimesPower(2, 100, -1, 600);
  for (Case& c : cases) c.known.clear();  // Riesel's test needs nothing beyond the shape
  CheckAgainstGp(cases);
}

TEST(ProofVsGp, ThroughTheGeneralTheoremsWhenKIsEven) {
  // k = 2^j·m moves into the power: still k·2^n ± 1 with k < 2^n.
  auto plus = KTimesPower(2, 90, 1, 64);
  auto minus = KTimesPower(2, 90, -1, 64);
  plus.insert(plus.end(), minus.begin(), minus.end());
  CheckAgainstGp(plus);
}

TEST(ProofVsGp, PocklingtonOnKTimesTenToTheN) { CheckAgainstGp(KTimesPower(10, 30, 1, 300)); }

TEST(ProofVsGp, MorrisonOnKTimesTenToTheNMinusOne) { CheckAgainstGp(KTimesPower(10, 30, -1, 300)); }

TEST(ProofVsGp, OtherBases) {
  auto cases = KTimesPower(3, 60, 1, 150);
  auto more = KTimesPower(6, 40, -1, 150);
  cases.insert(cases.end(), more.begin(), more.end());
  CheckAgainstGp(cases);
}

TEST(ProofVsGp, PrimorialForms) {
  std::vector<Case> cases;
  const mpz_class x = Primorial(71);
  for (int sign : {1, -1})
    for (unsigned long k = 1; k <= 250; ++k) cases.push_back({k * x + sign, PrimesUpTo(71), std::to_string(k) + "*71#"});
  CheckAgainstGp(cases);
}

TEST(ProofVsGp, LargeKCoveredByItsFactors) {
  // k > 2^n, but the small primes of k with 2^n cover more than the square root of N − 1.
  std::vector<Case> cases;
  const mpz_class x = Pow(2, 60);
  for (unsigned long k = (1ul << 40) * 3 * 5 * 7; cases.size() < 300; k += 105 * 1024)
    cases.push_back({k * x + 1, PrimesOf(k), std::to_string(k) + "*2^60+1"});
  CheckAgainstGp(cases);
}

TEST(ProofVsGp, BPowerPlusKIsProbableWhereNoTheoremApplies) {
  std::vector<Case> cases;
  for (unsigned long k = 3; k < 1200; k += 2) cases.push_back({Pow(2, 150) + k, {}, "2^150+" + std::to_string(k)});
  CheckAgainstGp(cases, false);
  for (const Case& c : cases) {
    // N − 1 = 2^150 + k − 1 shares only small primes with what is known: no proof claimed.
    const Verdict v = ProveOrTest(c.n, {});
    if (v.result != Primality::Composite) {
      EXPECT_EQ(v.result, Primality::Probable) << c.name;
      EXPECT_EQ(v.method, ProofMethod::ProbablePrime) << c.name;
    }
  }
}

TEST(ProofVsGp, SophieGermainAndChainLinksFromTheProvenMemberBelow) {
  // 2p + 1 with p proven: N − 1 = 2p is fully known.
  std::vector<Case> cases;
  int pairs = 0;
  for (unsigned long k = 1; pairs < 6 && k < 200000; ++k) {
    mpz_class p = k * Pow(10, 25) + 1;  // not of the binary shape: 2p+1 needs p itself
    if (!mpz_probab_prime_p(p.get_mpz_t(), 2)) continue;
    ASSERT_EQ(ProveOrTest(p, PrimesOf(k)).result, Primality::Proven) << k;
    mpz_class q = 2 * p + 1;
    const bool prime = mpz_probab_prime_p(q.get_mpz_t(), 2);
    if (!prime && cases.size() > 40 + 4 * static_cast<size_t>(pairs)) continue;  // keep some composites
    pairs += prime;
    cases.push_back({q, {p}, "2p+1, p = " + std::to_string(k) + "*10^25+1"});
    if (prime) {
      EXPECT_NE(ProveOrTest(q, {}).result, Primality::Proven) << "without p nothing covers N-1";
    }
  }
  CheckAgainstGp(cases);
}

TEST(ProofVsGp, CubeRootWhenTheKnownPartIsBetweenTheCubeAndTheSquareRoot) {
  // k ≈ 2^80 with no small factors, N = k·2^60 + 1: F = 2^60 covers N^(1/3) but not N^(1/2).
  std::vector<Case> cases;
  mpz_class k = Pow(2, 80) + 1;
  while (cases.size() < 400) {
    k += 2;
    bool smooth = false;
    for (unsigned long q = 3; q < 2000 && !smooth; q += 2) smooth = mpz_divisible_ui_p(k.get_mpz_t(), q);
    if (!smooth) cases.push_back({k * Pow(2, 60) + 1, {}, "k*2^60+1, k = " + k.get_str()});
  }
  CheckAgainstGp(cases);
  for (const Case& c : cases) {
    const Verdict v = ProveOrTest(c.n, {});
    if (v.result == Primality::Proven) {
      EXPECT_EQ(v.method, ProofMethod::CubeRoot) << c.name;
    }
  }
}

TEST(PlantedComposites, FermatAndMersenneNumbersPassingTheBase2FermatTest) {
  for (unsigned long m = 7; m <= 11; ++m) {  // 2^(2^m) + 1, composite, a base-2 pseudoprime
    const mpz_class f = Pow(2, 1ul << m) + 1;
    ASSERT_TRUE(FermatBase2(f));
    EXPECT_EQ(ProveOrTest(f, {}).result, Primality::Composite) << "F" << m;
  }
  const std::set<unsigned long> mersenneExponents = {107, 127, 521, 607};
  int planted = 0;
  for (unsigned long p = 101; p < 700; p += 2) {
    if (!mpz_probab_prime_p(mpz_class(p).get_mpz_t(), 30) || mersenneExponents.count(p)) continue;
    const mpz_class m = Pow(2, p) - 1;  // composite, and 2^(N−1) ≡ 1
    ASSERT_TRUE(FermatBase2(m));
    EXPECT_EQ(ProveOrTest(m, {}).result, Primality::Composite) << "2^" << p << "-1";
    ++planted;
  }
  EXPECT_GT(planted, 80);
}

TEST(PlantedComposites, CarmichaelNumbersIncludingPrimorialShapes) {
  // (6m+1)(12m+1)(18m+1) with all three prime is a Carmichael number.
  int found = 0;
  const mpz_class p71 = Primorial(71) / 6;
  for (unsigned long j = 1; found < 12 && j < 200000; ++j) {
    const mpz_class m = (found < 6) ? mpz_class(Pow(10, 25) + j) : mpz_class(p71 * j);
    const mpz_class a = 6 * m + 1, b = 12 * m + 1, c = 18 * m + 1;
    if (!mpz_probab_prime_p(a.get_mpz_t(), 25) || !mpz_probab_prime_p(b.get_mpz_t(), 25) ||
        !mpz_probab_prime_p(c.get_mpz_t(), 25))
      continue;
    const mpz_class n = a * b * c;
    ASSERT_TRUE(FermatBase2(n));
    EXPECT_FALSE(PassesFilter(n) && ProveOrTest(n, PrimesUpTo(71)).result != Primality::Composite) << n.get_str();
    EXPECT_EQ(ProveOrTest(n, PrimesUpTo(71)).result, Primality::Composite) << n.get_str();
    ++found;
  }
  EXPECT_EQ(found, 12);
}

TEST(PublishedPrimes, MersenneAndThreeTimesPowersOfTwo) {
  for (unsigned long p : {521ul, 607ul, 1279ul, 2203ul, 2281ul}) {
    const Verdict v = ProveOrTest(Pow(2, p) - 1, {});
    EXPECT_EQ(v.result, Primality::Proven) << "2^" << p << "-1";
    EXPECT_EQ(v.method, ProofMethod::Riesel);
  }
  // Exponents n with 3·2^n+1 prime, and with 3·2^n−1 prime, from the published lists.
  const std::set<unsigned long> plus = {189, 201, 209, 276, 353, 408, 438, 534};
  const std::set<unsigned long> minus = {94, 103, 143, 206, 216, 306, 324, 391, 458, 470};
  for (unsigned long n = 80; n <= 540; ++n) {
    const mpz_class x = 3 * Pow(2, n);
    EXPECT_EQ(ProveProth(x + 1).result, plus.count(n) ? Primality::Proven : Primality::Composite) << "3*2^" << n << "+1";
    EXPECT_EQ(ProveRiesel(x - 1).result, minus.count(n) ? Primality::Proven : Primality::Composite)
        << "3*2^" << n << "-1";
  }
}

TEST(PublishedPrimes, TwinPairOfTheEarlyNineties) {
  const mpz_class x = 697053813 * Pow(2, 16352);
  EXPECT_EQ(ProveProth(x + 1).result, Primality::Proven);
  EXPECT_EQ(ProveRiesel(x - 1).result, Primality::Proven);
}

TEST(SmallNumbers, DeterministicBelowTheBoundAndExactAtTheEdges) {
  for (unsigned long v = 0; v < 3000; ++v) {
    const bool prime = mpz_probab_prime_p(mpz_class(v).get_mpz_t(), 30) > 0;
    EXPECT_EQ(ProveSmall(mpz_class(v)).result, prime ? Primality::Proven : Primality::Composite) << v;
  }
  // 3215031751 is a strong pseudoprime to bases 2, 3, 5 and 7.
  EXPECT_EQ(ProveSmall(mpz_class(3215031751ul)).result, Primality::Composite);
  EXPECT_EQ(ProveSmall(mpz_class("18446744073709551557")).result, Primality::Proven);  // largest prime < 2^64
  EXPECT_EQ(ProveSmall(mpz_class("318665857834031151167461")).result, Primality::Probable);
}

TEST(Modulus, SpecialReductionEqualsGmpDivision) {
  gmp_randclass random(gmp_randinit_default);
  random.seed(12345);
  for (unsigned long k : {1ul, 3ul, 5ul, 1095ul, 4294967291ul, 18446744073709551557ul})
    for (unsigned long s : {64ul, 65ul, 1000ul, 4000ul})
      for (int c : {1, -1}) {
        const mpz_class n = mpz_class(std::to_string(k)) * Pow(2, s) + c;
        Modulus special(n), general(n, false);
        ASSERT_TRUE(special.special()) << k << " " << s << " " << c;
        ASSERT_FALSE(general.special());
        for (int i = 0; i < 50; ++i) {
          mpz_class a = random.get_z_range(n), b = random.get_z_range(n);
          mpz_class x = a * b, y = x;
          special.Reduce(x);
          mpz_mod(y.get_mpz_t(), y.get_mpz_t(), n.get_mpz_t());
          ASSERT_EQ(x, y);
        }
        const mpz_class base = random.get_z_range(n), e = random.get_z_bits(300);
        mpz_class r1, r2;
        special.PowMod(r1, base, e);
        general.PowMod(r2, base, e);
        EXPECT_EQ(r1, r2);
        special.PowMod(r1, mpz_class(3), e);
        general.PowMod(r2, mpz_class(3), e);
        EXPECT_EQ(r1, r2);
        special.LucasV(r1, mpz_class(5), e);
        general.LucasV(r2, mpz_class(5), e);
        EXPECT_EQ(r1, r2);
      }
}

TEST(Modulus, LucasSequenceFromItsRecurrence) {
  const mpz_class n("1000000000000000000000000000057");
  Modulus mod(n);
  mpz_class prev = 2, cur = 7;  // V_0, V_1 for P = 7
  for (unsigned long e = 1; e < 300; ++e) {
    mpz_class v;
    mod.LucasV(v, mpz_class(7), mpz_class(e));
    ASSERT_EQ(v, cur) << e;
    mpz_class next = 7 * cur - prev;
    mpz_mod(next.get_mpz_t(), next.get_mpz_t(), n.get_mpz_t());
    prev = cur;
    cur = next;
  }
}

}  // namespace
