// Classical N − 1 and N + 1 proofs (Crandall & Pomerance, "Prime Numbers", ch. 4):
// Proth (1878) for k·2^n+1, Riesel (1969) with Rödseth's (1994) starting value for k·2^n−1,
// Pocklington with the Brillhart–Lehmer–Selfridge (1975) cube-root extension, and Morrison's
// (1975) Lucas-sequence test on N + 1; a strong probable-prime test screens and stands in.
#include "ordax/proof.h"

#include <algorithm>

namespace {

constexpr int kProbableReps = 25;  // a BPSW test and one Miller–Rabin round with a random base
constexpr unsigned long kSmallPrimeLimit = 2000;
constexpr int kBaseTries = 40;  // bases (or Lucas parameters) tried before giving up on a theorem

const std::vector<unsigned long>& SmallPrimes() {
  static const std::vector<unsigned long> primes = [] {
    std::vector<bool> composite(kSmallPrimeLimit + 1, false);
    std::vector<unsigned long> out;
    for (unsigned long i = 2; i <= kSmallPrimeLimit; ++i) {
      if (composite[i]) continue;
      out.push_back(i);
      for (unsigned long j = i * i; j <= kSmallPrimeLimit; j += i) composite[j] = true;
    }
    return out;
  }();
  return primes;
}

// The strong pseudoprime test to the first twelve prime bases is a proof below this bound
// (Sorenson and Webster, Math. Comp. 86 (2017)).
const mpz_class& SmallProofBound() {
  static const mpz_class bound("318665857834031151167461");
  return bound;
}

bool Cancelled(const CancelFlag* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

Verdict Make(Primality p, ProofMethod m) { return Verdict{p, m}; }

bool StrongProbablePrime(const Modulus& mod, unsigned long base) {
  const mpz_class& n = mod.n();
  mpz_class d = n - 1;
  const mp_bitcnt_t s = mpz_scan1(d.get_mpz_t(), 0);
  d >>= s;
  mpz_class x;
  mod.PowMod(x, mpz_class(base), d);
  const mpz_class minusOne = n - 1;
  if (x == 1 || x == minusOne) return true;
  for (mp_bitcnt_t i = 1; i < s; ++i) {
    if ((i & 255) == 0 && mod.Cancelled()) return true;
    mod.SqrMod(x);
    if (x == minusOne) return true;
    if (x == 1) return false;
  }
  return false;
}

// 2 (and odd N > 2 with N ≡ 0 mod a small prime) settled by division; 0 when undecided.
int SmallDivisorVerdict(const mpz_class& n) {
  for (unsigned long p : SmallPrimes()) {
    if (p > 200) break;
    if (n == p) return 1;
    if (mpz_divisible_ui_p(n.get_mpz_t(), p)) return -1;
  }
  return 0;
}

// The part of m made of the primes in `known` and the small primes.
struct FactoredPart {
  mpz_class f = 1;
  std::vector<mpz_class> primes;
  std::vector<unsigned long> exponents;
};

void DivideOut(mpz_class& rest, const mpz_class& q, FactoredPart& part) {
  if (q < 2 || !mpz_divisible_p(rest.get_mpz_t(), q.get_mpz_t())) return;
  unsigned long e = 0;
  while (mpz_divisible_p(rest.get_mpz_t(), q.get_mpz_t())) {
    mpz_divexact(rest.get_mpz_t(), rest.get_mpz_t(), q.get_mpz_t());
    ++e;
  }
  part.primes.push_back(q);
  part.exponents.push_back(e);
}

FactoredPart FactorPart(const mpz_class& m, const std::vector<mpz_class>& known) {
  FactoredPart part;
  mpz_class rest = m;
  for (unsigned long p : SmallPrimes()) DivideOut(rest, mpz_class(p), part);
  for (const mpz_class& q : known) DivideOut(rest, q, part);
  part.f = m / rest;
  return part;
}

mpz_class PrimePowerProduct(const FactoredPart& part, const std::vector<size_t>& which, size_t lo, size_t hi) {
  mpz_class product = 1, t;
  for (size_t i = lo; i < hi; ++i) {
    mpz_pow_ui(t.get_mpz_t(), part.primes[which[i]].get_mpz_t(), part.exponents[which[i]]);
    product *= t;
  }
  return product;
}

// out[i] = step(y, F'/q_i) for the primes `which` (F' their product with multiplicity), where
// step(y, e) is y^e (powers) or V_e(y, 1) (Lucas sequences; V_a(V_b) = V_ab when Q = 1).
// Splitting the list in halves costs about log2(count) powerings of F' instead of count.
void PowerTree(const Modulus& mod, bool lucas, const mpz_class& y, const FactoredPart& part,
               const std::vector<size_t>& which, size_t lo, size_t hi, std::vector<mpz_class>& out) {
  auto step = [&](mpz_class& r, const mpz_class& base, const mpz_class& e) {
    if (lucas)
      mod.LucasV(r, base, e);
    else
      mod.PowMod(r, base, e);
  };
  if (mod.Cancelled()) return;
  if (hi - lo == 1) {
    mpz_class e;
    mpz_pow_ui(e.get_mpz_t(), part.primes[which[lo]].get_mpz_t(), part.exponents[which[lo]] - 1);
    step(out[lo], y, e);
    return;
  }
  const size_t mid = lo + (hi - lo) / 2;
  mpz_class z;
  step(z, y, PrimePowerProduct(part, which, mid, hi));
  PowerTree(mod, lucas, z, part, which, lo, mid, out);
  step(z, y, PrimePowerProduct(part, which, lo, mid));
  PowerTree(mod, lucas, z, part, which, mid, hi, out);
}

// Pocklington: for each prime q of F some a with a^(N−1) ≡ 1 and gcd(a^((N−1)/q) − 1, N) = 1
// makes every prime factor of N ≡ 1 (mod F). Returns Proven when that holds (the caller
// decides what F covers), Composite, Probable when no base settled every q, or Cancelled.
Primality PocklingtonConditions(const mpz_class& n, const FactoredPart& part, const CancelFlag* cancel) {
  Modulus mod(n);
  mod.SetCancel(cancel);
  std::vector<size_t> pending(part.primes.size());
  for (size_t i = 0; i < pending.size(); ++i) pending[i] = i;
  const auto& bases = SmallPrimes();
  for (int t = 0; t < kBaseTries && !pending.empty(); ++t) {
    // y = a^((N−1)/F'), F' the part still unsettled, so each leaf is a^((N−1)/q).
    const mpz_class r = (n - 1) / PrimePowerProduct(part, pending, 0, pending.size());
    mpz_class y;
    mod.PowMod(y, mpz_class(bases[t]), r);
    std::vector<mpz_class> leaves(pending.size());
    PowerTree(mod, false, y, part, pending, 0, pending.size(), leaves);
    if (Cancelled(cancel)) return Primality::Cancelled;
    mpz_class full;
    mod.PowMod(full, leaves[0], part.primes[pending[0]]);
    if (Cancelled(cancel)) return Primality::Cancelled;
    if (full != 1) return Primality::Composite;  // fails Fermat's test to base a
    std::vector<size_t> still;
    for (size_t i = 0; i < pending.size(); ++i) {
      mpz_class g = leaves[i] - 1;
      if (g == 0) {
        still.push_back(pending[i]);
        continue;
      }
      g = gcd(g, n);
      if (g != 1) return Primality::Composite;
    }
    pending.swap(still);
  }
  return pending.empty() ? Primality::Proven : Primality::Probable;
}

// Morrison: with one Lucas sequence (P, Q = 1) of discriminant Δ = P² − 4 prime to N,
// V_{N+1} ≡ 2 and gcd(V_{(N+1)/q} − 2, N) = 1 for each prime q of F say that a root α has
// α^(N+1) = 1 and α^((N+1)/q) ≠ 1 modulo every prime p of N; so F divides the order of α,
// which divides p − (Δ/p): p ≥ F − 1, and (F − 1)² > N proves N prime. With Q = 1 a prime N
// has α^((N+1)/2) = ±1; the P of Rödseth's conditions ((P−2)/N) = 1, ((P+2)/N) = −1 gives −1.
Primality MorrisonConditions(const mpz_class& n, const FactoredPart& part, const CancelFlag* cancel) {
  Modulus mod(n);
  mod.SetCancel(cancel);
  const mpz_class r = (n + 1) / part.f;
  std::vector<size_t> all(part.primes.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  int tries = 0;
  for (unsigned long p = 3; p < 3 + 20 * kBaseTries && tries < kBaseTries; ++p) {
    const mpz_class a = p - 2, b = p + 2;
    const int j1 = mpz_jacobi(a.get_mpz_t(), n.get_mpz_t());
    const int j2 = mpz_jacobi(b.get_mpz_t(), n.get_mpz_t());
    if (j1 == 0 || j2 == 0) {
      if (gcd(a * b, n) != n) return Primality::Composite;
      continue;
    }
    if (j1 != 1 || j2 != -1) continue;
    ++tries;
    mpz_class y;
    mod.LucasV(y, mpz_class(p), r);
    std::vector<mpz_class> leaves(all.size());
    PowerTree(mod, true, y, part, all, 0, all.size(), leaves);
    mpz_class full;
    mod.LucasV(full, leaves[0], part.primes[0]);
    if (Cancelled(cancel)) return Primality::Cancelled;
    if (full != 2) return Primality::Composite;  // a prime N gives V_{N+1} ≡ 2Q
    bool settled = true;
    for (const mpz_class& leaf : leaves) {
      const mpz_class t = leaf - 2;
      if (t == 0) {  // this sequence says nothing about q; every q must share one Δ, so try anew
        settled = false;
        break;
      }
      if (gcd(t, n) != 1) return Primality::Composite;
    }
    if (settled) return Primality::Proven;
  }
  return Primality::Probable;
}

Verdict Probable(const mpz_class& n) {
  int r = mpz_probab_prime_p(n.get_mpz_t(), kProbableReps);
  if (r == 0) return Make(Primality::Composite, ProofMethod::ProbablePrime);
  return Make(r == 2 ? Primality::Proven : Primality::Probable, ProofMethod::ProbablePrime);
}

// N = h·2^s + sign with h odd; true when h < 2^s.
bool BinaryShape(const mpz_class& n, int sign, mpz_class& h, mp_bitcnt_t& s) {
  if (n < 7 || mpz_even_p(n.get_mpz_t())) return false;
  mpz_class m = n - sign;
  s = mpz_scan1(m.get_mpz_t(), 0);
  h = m >> s;
  return mpz_sizeinbase(h.get_mpz_t(), 2) <= s && (sign > 0 || s >= 2);
}

}  // namespace

std::vector<uint64_t> WordPrimeFactors(uint64_t v) {
  std::vector<uint64_t> out;
  constexpr uint64_t kTrialLimit = 1 << 16;
  for (uint64_t p = 2; p <= kTrialLimit && p * p <= v; p += (p == 2 ? 1 : 2)) {
    if (v % p) continue;
    out.push_back(p);
    while (v % p == 0) v /= p;
  }
  if (v > 1) {
    mpz_class rest(std::to_string(v));
    if (rest < mpz_class(kTrialLimit) * kTrialLimit || ProveSmall(rest).result == Primality::Proven)
      out.push_back(v);
  }
  return out;
}

Verdict ProveSmall(const mpz_class& n) {
  if (n < 2) return Make(Primality::Composite, ProofMethod::SmallNumber);
  int d = SmallDivisorVerdict(n);
  if (d) return Make(d > 0 ? Primality::Proven : Primality::Composite, ProofMethod::SmallNumber);
  if (n >= SmallProofBound()) return Make(Primality::Probable, ProofMethod::None);
  Modulus mod(n, false);
  for (unsigned long base : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37})
    if (!StrongProbablePrime(mod, base)) return Make(Primality::Composite, ProofMethod::SmallNumber);
  return Make(Primality::Proven, ProofMethod::SmallNumber);
}

bool HasBinaryShape(const mpz_class& n) {
  mpz_class h;
  mp_bitcnt_t s;
  return BinaryShape(n, 1, h, s) || BinaryShape(n, -1, h, s);
}

bool PassesFilter(const mpz_class& n, const CancelFlag* cancel) {
  if (n < SmallProofBound()) return ProveSmall(n).result == Primality::Proven;
  if (SmallDivisorVerdict(n) < 0) return false;
  Modulus mod(n);
  mod.SetCancel(cancel);
  return StrongProbablePrime(mod, 2);
}

Verdict ProveProth(const mpz_class& n, const CancelFlag* cancel) {
  mpz_class h;
  mp_bitcnt_t s;
  if (!BinaryShape(n, 1, h, s)) return Make(Primality::Probable, ProofMethod::None);
  if (mpz_perfect_square_p(n.get_mpz_t())) return Make(Primality::Composite, ProofMethod::Proth);
  // A base a with (a/N) = −1: then N is prime exactly when a^((N−1)/2) ≡ −1.
  for (unsigned long a : SmallPrimes()) {
    const int j = mpz_ui_kronecker(a, n.get_mpz_t());
    if (j == 0) return Make(n == a ? Primality::Proven : Primality::Composite, ProofMethod::Proth);
    if (j != -1) continue;
    Modulus mod(n);
    mod.SetCancel(cancel);
    mpz_class y;
    mod.PowMod(y, mpz_class(a), h);
    for (mp_bitcnt_t i = 1; i < s; ++i) {
      if ((i & 255) == 0 && Cancelled(cancel)) break;
      mod.SqrMod(y);
    }
    if (Cancelled(cancel)) return Make(Primality::Cancelled, ProofMethod::Proth);
    return Make(y == n - 1 ? Primality::Proven : Primality::Composite, ProofMethod::Proth);
  }
  return Make(Primality::Probable, ProofMethod::None);
}

Verdict ProveRiesel(const mpz_class& n, const CancelFlag* cancel) {
  mpz_class h;
  mp_bitcnt_t s;
  if (!BinaryShape(n, -1, h, s)) return Make(Primality::Probable, ProofMethod::None);
  // Rödseth: any P with ((P−2)/N) = 1 and ((P+2)/N) = −1 gives the starting value V_h(P, 1);
  // then N is prime exactly when s − 2 steps u → u² − 2 reach 0.
  for (unsigned long p = 3; p < 3000; ++p) {
    mpz_class a = p - 2, b = p + 2;
    const int j1 = mpz_jacobi(a.get_mpz_t(), n.get_mpz_t());
    const int j2 = mpz_jacobi(b.get_mpz_t(), n.get_mpz_t());
    if (j1 == 0 || j2 == 0) {
      mpz_class g = gcd(a * b, n);
      if (g != n && g != 1) return Make(Primality::Composite, ProofMethod::Riesel);
      continue;
    }
    if (j1 != 1 || j2 != -1) continue;
    Modulus mod(n);
    mod.SetCancel(cancel);
    mpz_class u;
    mod.LucasV(u, mpz_class(p), h);
    for (mp_bitcnt_t i = 2; i < s; ++i) {
      if ((i & 255) == 0 && Cancelled(cancel)) break;
      mod.SqrMod(u);
      u -= 2;
      if (u < 0) u += n;
    }
    if (Cancelled(cancel)) return Make(Primality::Cancelled, ProofMethod::Riesel);
    return Make(u == 0 ? Primality::Proven : Primality::Composite, ProofMethod::Riesel);
  }
  return Make(Primality::Probable, ProofMethod::None);
}

Verdict ProveOrTest(const mpz_class& n, const std::vector<mpz_class>& known, const CancelFlag* cancel) {
  Verdict v = ProveSmall(n);
  if (v.result != Primality::Probable) return v;
  if (mpz_even_p(n.get_mpz_t())) return Make(Primality::Composite, ProofMethod::SmallNumber);
  v = ProveProth(n, cancel);
  if (v.result != Primality::Probable) return v;
  v = ProveRiesel(n, cancel);
  if (v.result != Primality::Probable) return v;

  const FactoredPart minus = FactorPart(n - 1, known);
  const mpz_class fSquared = minus.f * minus.f;
  if (fSquared >= n) {
    Primality p = PocklingtonConditions(n, minus, cancel);
    if (p != Primality::Probable) return Make(p, ProofMethod::Pocklington);
  }
  const FactoredPart plus = FactorPart(n + 1, known);
  const mpz_class g = plus.f - 1;
  if (g * g > n) {
    Primality p = MorrisonConditions(n, plus, cancel);
    if (p != Primality::Probable) return Make(p, ProofMethod::Morrison);
  }
  if (fSquared < n && fSquared * minus.f > n) {
    // Brillhart–Lehmer–Selfridge: with N^(1/3) < F, N has at most two prime factors, each
    // ≡ 1 (mod F); write N = c2·F² + c1·F + 1: a product of two would make c1² − 4·c2 a square.
    Primality p = PocklingtonConditions(n, minus, cancel);
    if (p == Primality::Cancelled || p == Primality::Composite) return Make(p, ProofMethod::CubeRoot);
    if (p == Primality::Proven) {
      const mpz_class r = (n - 1) / minus.f;
      const mpz_class c2 = r / minus.f, c1 = r % minus.f;
      const mpz_class d = c1 * c1 - 4 * c2;
      if (d < 0 || !mpz_perfect_square_p(d.get_mpz_t())) return Make(Primality::Proven, ProofMethod::CubeRoot);
    }
  }
  if (Cancelled(cancel)) return Make(Primality::Cancelled, ProofMethod::None);
  return Probable(n);
}
