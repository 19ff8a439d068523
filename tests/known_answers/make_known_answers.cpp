// Makes the survivor lists pinned in tests/known_answers/ without the sieve: every member
// number is built with GMP and every prime up to the depth is tried, through the oracle of
// tests/support. Run once per answer (see make_answers.sh); CI only compares against them.
#include <gmpxx.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/oracle.h"

namespace {

constexpr uint32_t kPlus = 0x0001, kMinus = 0x0002, kFixedK = 0x0100;

int64_t ParseNumber(const char* text) {
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0') {
    std::fprintf(stderr, "not a number: %s\n", text);
    std::exit(2);
  }
  return v;
}

// Primes are handed out in windows so that a depth of 10^9 never holds them all at once.
template <class Visit>
void ForEachPrimeWindow(uint64_t depth, Visit visit) {
  const uint64_t window = 20'000'000;
  for (uint64_t lo = 3; lo <= depth; lo += window) {
    uint64_t hi = std::min(depth, lo + window - 1);
    visit(oddPrimesBetween(lo, hi));
  }
}

// Fixed n: the oracle's residue-class walk over the values still alive.
std::vector<int64_t> SurvivorsFixedN(const Oracle& oracle, int64_t vmin, int64_t vmax, uint64_t depth) {
  std::vector<int64_t> alive;
  for (int64_t v = vmin; v <= vmax; ++v)
    if (oracleIsCandidate(oracle.job(), v)) alive.push_back(v);
  ForEachPrimeWindow(depth, [&](const std::vector<uint64_t>& primes) {
    if (alive.empty()) return;
    std::vector<uint64_t> first = oracle.firstDivisors(alive, primes);
    std::vector<int64_t> kept;
    for (size_t i = 0; i < alive.size(); ++i)
      if (first[i] == 0) kept.push_back(alive[i]);
    alive.swap(kept);
  });
  return alive;
}

// Fixed k, one member k*b^n+c (c = +-1): q divides it exactly where b^n = -c/k (mod q). The
// powers of b are walked through the range for eight primes side by side (a doubling when
// b = 2), and every hit is confirmed by an exact GMP division before the value goes.
std::vector<int64_t> SurvivorsFixedK(const Oracle& oracle, int64_t vmin, int64_t vmax, uint64_t depth) {
  const OracleJob& job = oracle.job();
  const int c = (job.mode & kPlus) ? 1 : -1;
  const uint64_t k = static_cast<uint64_t>(job.n), b = job.base;
  std::vector<int64_t> alive;
  for (int64_t v = vmin; v <= vmax; ++v)
    if (oracleIsCandidate(job, v)) alive.push_back(v);
  std::vector<char> dead(static_cast<size_t>(vmax - vmin + 1), 0);
  auto confirm = [&](int64_t v, uint64_t q) {
    char& d = dead[static_cast<size_t>(v - vmin)];
    if (d) return;
    for (const mpz_class& num : oracle.members(v))
      if (mpz_divisible_ui_p(num.get_mpz_t(), q) && mpz_cmpabs_ui(num.get_mpz_t(), q) != 0) d = 1;
  };
  auto powmod = [](uint64_t x, uint64_t e, uint64_t q) {
    uint64_t r = 1 % q;
    x %= q;
    for (; e; e >>= 1, x = x * x % q)
      if (e & 1) r = r * x % q;
    return r;
  };
  ForEachPrimeWindow(depth, [&](const std::vector<uint64_t>& primes) {
    constexpr size_t kLanes = 8;
    for (size_t start = 0; start < primes.size(); start += kLanes) {
      size_t lanes = std::min(kLanes, primes.size() - start);
      uint64_t q[kLanes], x[kLanes], target[kLanes];
      for (size_t l = 0; l < kLanes; ++l) {
        q[l] = primes[start + std::min(l, lanes - 1)];
        target[l] = q[l];  // never reached: no member has this q as a divisor
        if (k % q[l] == 0 || b % q[l] == 0) continue;
        // -c/k by Fermat's little theorem (q is prime and below 2^32, so products fit).
        uint64_t inv = powmod(k, q[l] - 2, q[l]);
        target[l] = c == 1 ? (q[l] - inv) % q[l] : inv;
      }
      for (size_t l = 0; l < kLanes; ++l) x[l] = powmod(b, static_cast<uint64_t>(vmin), q[l]);
      for (int64_t v = vmin; v <= vmax; ++v) {
        for (size_t l = 0; l < kLanes; ++l) {
          if (x[l] == target[l] && l < lanes) confirm(v, q[l]);
          if (b == 2) {
            uint64_t y = x[l] << 1;
            x[l] = y >= q[l] ? y - q[l] : y;
          } else {
            x[l] = x[l] * b % q[l];
          }
        }
      }
    }
  });
  std::vector<int64_t> kept;
  for (int64_t v : alive)
    if (!dead[static_cast<size_t>(v - vmin)]) kept.push_back(v);
  return kept;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr,
                 "usage: %s MODE BASE N CHAIN-LENGTH VMIN VMAX DEPTH\n"
                 "  MODE as the sieve-file header writes it; N the fixed n (fixed-n forms) or the\n"
                 "  fixed k (fixed-k forms); VMIN..VMAX the range of k or n; every prime up to\n"
                 "  DEPTH is tried. Prints the header's sieved-to value on stderr and the\n"
                 "  survivor lines on stdout.\n",
                 argv[0]);
    return 2;
  }
  OracleJob job(static_cast<uint32_t>(ParseNumber(argv[1])), static_cast<uint32_t>(ParseNumber(argv[2])),
                ParseNumber(argv[3]), static_cast<int>(ParseNumber(argv[4])));
  const int64_t vmin = ParseNumber(argv[5]), vmax = ParseNumber(argv[6]);
  const uint64_t asked = static_cast<uint64_t>(ParseNumber(argv[7]));
  // The header claims one less than the next prime still to apply: the same primes as asked.
  mpz_class next = static_cast<unsigned long>(asked);
  mpz_nextprime(next.get_mpz_t(), next.get_mpz_t());
  const uint64_t depth = mpz_get_ui(next.get_mpz_t()) - 1;
  Oracle oracle(job);
  std::vector<int64_t> survivors;
  if (oracleIsFixedK(job)) {
    if ((job.mode & ~(kPlus | kMinus | kFixedK)) != 0 || (job.mode & (kPlus | kMinus)) == (kPlus | kMinus) ||
        job.base < 2 || job.base >= (1u << 31)) {
      std::fprintf(stderr, "fixed k: only k*b^n+1 or k*b^n-1 with one numeric k\n");
      return 2;
    }
    survivors = SurvivorsFixedK(oracle, vmin, vmax, depth);
  } else {
    survivors = SurvivorsFixedN(oracle, vmin, vmax, depth);
  }
  std::fprintf(stderr, "%" PRIu64 "\n", depth);
  for (int64_t v : survivors) {
    auto [first, second] = oracleLine(job, v);
    std::printf("%" PRId64 " %" PRId64 "\n", first, second);
  }
  return 0;
}
