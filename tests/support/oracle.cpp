// Independent cross-check of sieve results with GMP: member numbers built exactly, divisors
// found by plain trial division (one value) or by residue classes over a range (many values,
// every claimed divisor confirmed by an exact division), and checkers for whole sieve files.
#include "tests/support/oracle.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

// Form bits of the header's mode word, spelled out here so that the oracle shares nothing
// with the sieve but the file format.
constexpr uint32_t PLUS = 0x0001, MINUS = 0x0002, CHAINS = 0x0030, PRIMORIAL = 0x0040, PLUS5 = 0x0080,
                   FIXED_K = 0x0100, AP = 0x0200, NOT_GENERALIZED = 0x0400, PLUS7 = 0x0800, SG3 = 0x1000,
                   ODD_N = 0x2000, EVEN_K = 0x4000, BN_K = 0x8000;

uint32_t formOf(uint32_t mode) { return mode & ~(EVEN_K | ODD_N | NOT_GENERALIZED | PRIMORIAL); }

bool isLucky(uint32_t mode) {
  uint32_t f = formOf(mode);
  return f == 0x1D || f == 0x2E;
}

// Product of the primes q <= n, leaving out those in skip.
mpz_class primorial(int64_t n, std::initializer_list<uint64_t> skip) {
  mpz_class p = 1;
  for (uint64_t q : oddPrimesBetween(2, static_cast<uint64_t>(std::max<int64_t>(n, 0)))) {
    if (std::find(skip.begin(), skip.end(), q) == skip.end()) p *= static_cast<unsigned long>(q);
  }
  if (n >= 2 && std::find(skip.begin(), skip.end(), 2u) == skip.end()) p *= 2;
  return p;
}

mpz_class power(uint64_t b, int64_t e) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), b, static_cast<unsigned long>(e));
  return r;
}

mpz_class fromInt(int64_t v) {
  mpz_class r;
  mpz_set_si(r.get_mpz_t(), static_cast<long>(v));
  return r;
}

uint64_t residue(const mpz_class& x, uint64_t q) { return mpz_fdiv_ui(x.get_mpz_t(), q); }

uint64_t mulmod(uint64_t a, uint64_t b, uint64_t q) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % q);
}

uint64_t inverse(uint64_t a, uint64_t q) {
  mpz_class r, x = static_cast<unsigned long>(a), m = static_cast<unsigned long>(q);
  mpz_invert(r.get_mpz_t(), x.get_mpz_t(), m.get_mpz_t());
  return mpz_get_ui(r.get_mpz_t());
}

// The number written as n in fixed-n value lines: the chain types sieve one exponent lower
// than they write, except the Lucky types, which sieve one lower than entered.
int64_t writtenN(const OracleJob& job) {
  bool plusOne = (job.mode & CHAINS) && !(job.mode & PRIMORIAL) &&
                 (job.base == 2 || !(job.mode & NOT_GENERALIZED));
  if (plusOne && !isLucky(job.mode)) return job.n + 1;
  return job.n;
}

std::string describe(const char* what, int64_t value, uint64_t q) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s %" PRId64 " (divisor %" PRIu64 ")\n", what, value, q);
  return buf;
}

}  // namespace

bool oracleIsFixedK(const OracleJob& job) { return (job.mode & (FIXED_K | BN_K)) != 0; }

bool oracleIsCandidate(const OracleJob& job, int64_t value) {
  bool everySecond = ((job.mode & (BN_K | EVEN_K | FIXED_K | AP | PRIMORIAL)) == 0 &&
                      (job.base == 2 || (job.base & 1))) ||
                     (job.mode & ODD_N);
  if (!everySecond) return true;
  return ((value ^ static_cast<int64_t>(job.base)) & 1) != 0;
}

std::pair<int64_t, int64_t> oracleLine(const OracleJob& job, int64_t value) {
  if (oracleIsFixedK(job)) return {job.kFactors.empty() ? job.n : 1, value};
  return {value, writtenN(job)};
}

std::vector<uint64_t> oddPrimesBetween(uint64_t lo, uint64_t hi) {
  std::vector<uint64_t> out;
  if (hi < 3 || lo > hi) return out;
  lo = std::max<uint64_t>(lo, 3);
  uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(hi)));
  while (root * root > hi) --root;
  while ((root + 1) * (root + 1) <= hi) ++root;
  std::vector<bool> composite(root + 1, false);
  std::vector<uint64_t> base;
  for (uint64_t i = 2; i <= root; ++i) {
    if (composite[i]) continue;
    base.push_back(i);
    for (uint64_t j = i * i; j <= root; j += i) composite[j] = true;
  }
  const uint64_t block = 1 << 20;
  std::vector<bool> hit;
  for (uint64_t start = lo; start <= hi; start += block) {
    uint64_t end = std::min(hi, start + block - 1);
    hit.assign(end - start + 1, false);
    for (uint64_t q : base) {
      uint64_t first = std::max(q * q, (start + q - 1) / q * q);
      for (uint64_t j = first; j <= end; j += q) hit[j - start] = true;
    }
    for (uint64_t v = start; v <= end; ++v)
      if ((v & 1) && !hit[v - start]) out.push_back(v);
    if (end == hi) break;
  }
  return out;
}

Oracle::Oracle(OracleJob job) : job_(std::move(job)) {
  fixedK_ = oracleIsFixedK(job_);
  const uint32_t mode = job_.mode, form = formOf(mode);
  const bool prim = (mode & PRIMORIAL) != 0;
  auto member = [&](const mpz_class& mul, const mpz_class& add) {
    mul_.push_back(mul);
    add_.push_back(add);
  };
  if (fixedK_) {
    if (mode & BN_K) {  // b^n + k, b^n - k
      member(1, (mode & PLUS) ? fromInt(job_.n) : fromInt(-job_.n));
      return;
    }
    mpz_class k = fromInt(job_.n);
    if (!job_.kFactors.empty()) {
      k = 1;
      for (int64_t f : job_.kFactors) k *= fromInt(f);
    } else if (prim) {
      k = primorial(job_.n, {});
    }
    member(k, (mode & PLUS) ? 1 : -1);
    return;
  }
  if (form == AP) {  // X + 2k - 1, or X + 2k - 2 for an odd base
    mpz_class x = prim ? primorial(job_.n, {}) : power(job_.base, job_.n);
    member(2, x - ((!prim && (job_.base & 1)) ? 2 : 1));
    return;
  }
  // The next link doubles k (base 2, primorial, chains not generalized) or raises n by one.
  const uint64_t link = (job_.base == 2 || prim || (mode & NOT_GENERALIZED)) ? 2 : job_.base;
  if (isLucky(mode)) {
    // k.b^(n-1)+-1, k.b^n+1, k.b^n-1, k.b^(n+1)+-1 (primorial: 1/2 k.n#, k.n#, 2k.n#).
    mpz_class y = prim ? primorial(job_.n, {2}) : power(job_.base, job_.n - 1);
    int s = (form == 0x1D) ? 1 : -1;
    member(y, s);
    member(y * link, 1);
    member(y * link, -1);
    member(y * link * link, s);
    return;
  }
  mpz_class x;
  if (prim) {
    if (mode & PLUS7) x = primorial(job_.n, {5, 7});
    else if (mode & PLUS5) x = primorial(job_.n, {5});
    else x = primorial(job_.n, {});
  } else {
    x = power(job_.base, job_.n);
  }
  if (mode & (CHAINS)) {  // chains of the first kind, second kind, BiTwin chains
    mpz_class xi = x;
    for (int i = 0; i < job_.chainLength; ++i, xi *= link) {
      if (mode & 0x10) member(xi, 1);
      if (mode & 0x20) member(xi, -1);
    }
    return;
  }
  if (mode & PLUS) member(x, 1);
  if (mode & MINUS) member(x, -1);
  if (mode & 0x04) member(x * link, 1);
  if (mode & 0x08) member(x * link, -1);
  if (mode & PLUS5) member(x, 5);
  if (mode & PLUS7) member(x, 7);
  if (mode & SG3) member(x * 2, 3);
}

std::vector<mpz_class> Oracle::members(int64_t value) const {
  std::vector<mpz_class> out;
  mpz_class v = fromInt(value);
  mpz_class scale = fixedK_ ? power(job_.base, value) : v;
  for (size_t j = 0; j < mul_.size(); ++j) out.push_back(mul_[j] * scale + add_[j]);
  return out;
}

uint64_t Oracle::firstDivisor(int64_t value, const std::vector<uint64_t>& primes) const {
  std::vector<mpz_class> numbers = members(value);
  for (uint64_t q : primes) {
    for (const mpz_class& num : numbers) {
      if (mpz_divisible_ui_p(num.get_mpz_t(), q) && mpz_cmpabs_ui(num.get_mpz_t(), q) != 0) return q;
    }
  }
  return 0;
}

std::vector<uint64_t> Oracle::firstDivisors(int64_t vmin, int64_t vmax, const std::vector<uint64_t>& primes) const {
  std::vector<int64_t> values;
  for (int64_t v = vmin; v <= vmax; ++v) values.push_back(v);
  return firstDivisors(values, primes);
}

std::vector<uint64_t> Oracle::firstDivisors(const std::vector<int64_t>& values,
                                            const std::vector<uint64_t>& primes) const {
  std::vector<uint64_t> first(values.size(), 0);
  if (values.empty()) return first;
  const int64_t vmin = values.front(), vmax = values.back();
  const uint64_t span = static_cast<uint64_t>(vmax - vmin), count = values.size();
  auto claim = [&](size_t index, uint64_t q) {
    uint64_t& slot = first[index];
    if (slot != 0) return;  // primes arrive ascending: the first claim is the smallest
    for (const mpz_class& num : members(values[index])) {
      if (mpz_divisible_ui_p(num.get_mpz_t(), q) && mpz_cmpabs_ui(num.get_mpz_t(), q) != 0) {
        slot = q;
        return;
      }
    }
  };
  // Claims every value congruent to root modulo q: by stepping through the multiples and
  // looking them up when they are few, else by testing each value's residue.
  auto claimClass = [&](uint64_t root, uint64_t q) {
    if (span / q < count) {
      uint64_t offset = (root + q - static_cast<uint64_t>(((vmin % static_cast<int64_t>(q)) +
                                                           static_cast<int64_t>(q)) % static_cast<int64_t>(q))) % q;
      auto from = values.begin();
      for (uint64_t d = offset; d <= span; d += q) {
        int64_t v = vmin + static_cast<int64_t>(d);
        from = std::lower_bound(from, values.end(), v);
        if (from == values.end()) break;
        if (*from == v) claim(static_cast<size_t>(from - values.begin()), q);
      }
    } else {
      for (size_t i = 0; i < values.size(); ++i) {
        int64_t r = values[i] % static_cast<int64_t>(q);
        if (r < 0) r += static_cast<int64_t>(q);
        if (static_cast<uint64_t>(r) == root) claim(i, q);
      }
    }
  };
  auto claimAll = [&](uint64_t q) {
    for (size_t i = 0; i < values.size(); ++i) claim(i, q);
  };
  for (uint64_t q : primes) {
    for (size_t j = 0; j < mul_.size(); ++j) {
      uint64_t a = residue(mul_[j], q), c = residue(add_[j], q);
      if (!fixedK_) {
        // q divides v*a + c exactly for v in one class (every v when a and c vanish).
        if (a == 0) {
          if (c == 0) claimAll(q);
          continue;
        }
        claimClass(mulmod((q - c) % q, inverse(a, q), q), q);
        continue;
      }
      // a*b^v + c vanishes where b^v equals -c/a.
      uint64_t b = job_.base % q;
      if (a == 0 || b == 0) {
        if (c == 0) claimAll(q);
        continue;
      }
      uint64_t target = mulmod((q - c) % q, inverse(a, q), q);
      mpz_class pw, bb = static_cast<unsigned long>(b), qq = static_cast<unsigned long>(q);
      if (span < 4 * count) {  // walk the powers of b through the range
        mpz_powm_ui(pw.get_mpz_t(), bb.get_mpz_t(), static_cast<unsigned long>(vmin), qq.get_mpz_t());
        uint64_t x = mpz_get_ui(pw.get_mpz_t());
        size_t i = 0;
        for (int64_t v = vmin; v <= vmax; ++v, x = mulmod(x, b, q)) {
          while (values[i] < v) ++i;
          if (values[i] == v && x == target) claim(i, q);
        }
      } else {
        for (size_t i = 0; i < values.size(); ++i) {
          mpz_powm_ui(pw.get_mpz_t(), bb.get_mpz_t(), static_cast<unsigned long>(values[i]), qq.get_mpz_t());
          if (mpz_get_ui(pw.get_mpz_t()) == target) claim(i, q);
        }
      }
    }
  }
  return first;
}

bool parseSieveFile(const std::string& text, SieveFileData& out, std::string& error) {
  out = SieveFileData{};
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) {
    error = "empty file";
    return false;
  }
  std::string fields = line;
  if (line.rfind("ABC ", 0) == 0) {
    out.factorForm = true;
    size_t tag = line.find("//Morvane:");
    if (tag == std::string::npos) {
      error = "factor-form header without //Morvane:";
      return false;
    }
    std::string factors = line.substr(4, line.find("2^$b") - 4);
    std::istringstream fs(factors);
    std::string piece;
    while (std::getline(fs, piece, '*'))
      if (!piece.empty()) out.factors.push_back(std::stoll(piece));
    fields = line.substr(tag + 10);
  }
  long long depth = 0;
  char letter = 0;
  int len = 0;
  unsigned base = 0, mode = 0;
  char tail = 0;
  if (std::sscanf(fields.c_str(), "%lld:%c:%d:%u:%u%c", &depth, &letter, &len, &base, &mode, &tail) != 5) {
    error = "bad header line: " + line;
    return false;
  }
  out.depth = depth;
  out.letter = letter;
  out.len3plus = len;
  out.base = base;
  out.mode = mode;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    long long a = 0, b = 0;
    char extra = 0;
    if (std::sscanf(line.c_str(), "%lld %lld%c", &a, &b, &extra) != 2) {
      error = "bad value line: " + line;
      return false;
    }
    out.lines.emplace_back(a, b);
  }
  return true;
}

std::vector<int64_t> fileValues(const SieveFileData& file, const OracleJob& job) {
  std::vector<int64_t> values;
  bool fixedK = oracleIsFixedK(job);
  for (const auto& [a, b] : file.lines) values.push_back(fixedK ? b : a);
  return values;
}

namespace {

// Header and line-format checks shared by both checkers; appends to report.
void checkShape(const SieveFileData& file, const OracleJob& job, std::string& report) {
  char buf[200];
  if (file.mode != job.mode || file.base != job.base) {
    std::snprintf(buf, sizeof buf, "header mode %u base %u, expected mode %u base %u\n", file.mode, file.base,
                  job.mode, job.base);
    report += buf;
  }
  uint32_t form = formOf(job.mode);
  bool chain = (form == 0x2A || form == 0x15 || form == 0x3F);
  if ((chain && file.len3plus != job.chainLength) || (isLucky(job.mode) && file.len3plus != 3)) {
    std::snprintf(buf, sizeof buf, "header chain length %d, expected %d\n", file.len3plus, job.chainLength);
    report += buf;
  }
  int64_t prev = INT64_MIN;
  for (const auto& [a, b] : file.lines) {
    auto expect = oracleLine(job, oracleIsFixedK(job) ? b : a);
    if (expect.first != a || expect.second != b) {
      std::snprintf(buf, sizeof buf, "line '%" PRId64 " %" PRId64 "' expected '%" PRId64 " %" PRId64 "'\n", a, b,
                    expect.first, expect.second);
      report += buf;
      return;
    }
    int64_t v = oracleIsFixedK(job) ? b : a;
    if (v <= prev) {
      report += describe("values not increasing at", v, 0);
      return;
    }
    prev = v;
  }
}

// Above MAXGUAR the sieve's prime source also yields composites free of factors up to 109873;
// they strike values whose number has one of their factors. Such a factor lies below the
// window, where the before file claims to be sieved already: a value struck that way is
// accepted when it has an odd prime factor up to the square root of the window's top.
bool struckBelow(const Oracle& oracle, int64_t v, int64_t depth) {
  if (depth <= 12072076129LL) return false;
  uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(depth))) * 4 + 1000;
  return oracle.firstDivisor(v, oddPrimesBetween(3, std::min<uint64_t>(root, static_cast<uint64_t>(depth)))) != 0;
}

std::string limited(std::string report, int errors) {
  if (errors > 8) report += "... " + std::to_string(errors) + " faults in all\n";
  return report;
}

}  // namespace

std::string checkSieveFile(const std::string& text, const OracleJob& job, int64_t vmin, int64_t vmax,
                           int64_t strikeDepth) {
  SieveFileData file;
  std::string error;
  if (!parseSieveFile(text, file, error)) return error;
  std::string report;
  checkShape(file, job, report);
  if (!report.empty()) return report;
  if (strikeDepth < file.depth) strikeDepth = file.depth;
  Oracle oracle(job);
  std::set<int64_t> survivors;
  int errors = 0;
  for (int64_t v : fileValues(file, job)) {
    survivors.insert(v);
    if ((v < vmin || v > vmax || !oracleIsCandidate(job, v)) && ++errors <= 8)
      report += describe("value outside the candidates:", v, 0);
  }
  std::vector<uint64_t> primes = oddPrimesBetween(3, static_cast<uint64_t>(std::max<int64_t>(strikeDepth, 0)));
  std::vector<uint64_t> first = oracle.firstDivisors(vmin, vmax, primes);
  for (int64_t v = vmin; v <= vmax; ++v) {
    if (!oracleIsCandidate(job, v)) continue;
    uint64_t d = first[static_cast<size_t>(v - vmin)];
    bool survives = survivors.count(v) != 0;
    if (survives && d != 0 && static_cast<int64_t>(d) <= file.depth && ++errors <= 8)
      report += describe("survivor has a divisor:", v, d);
    if (!survives && d == 0 && ++errors <= 8) report += describe("removed without a divisor:", v, 0);
  }
  return limited(report, errors);
}

std::string checkWindow(const std::string& beforeText, const std::string& afterText, const OracleJob& job) {
  SieveFileData before, after;
  std::string error;
  if (!parseSieveFile(beforeText, before, error)) return "before: " + error;
  if (!parseSieveFile(afterText, after, error)) return "after: " + error;
  std::string report;
  checkShape(before, job, report);
  checkShape(after, job, report);
  if (!report.empty()) return report;
  if (after.depth < before.depth) return "after file is not deeper than before file\n";
  std::vector<int64_t> was = fileValues(before, job), now = fileValues(after, job);
  if (was.empty()) return now.empty() ? "" : "after file has values the before file lacks\n";
  std::set<int64_t> kept(now.begin(), now.end());
  std::set<int64_t> had(was.begin(), was.end());
  int errors = 0;
  for (int64_t v : now)
    if (!had.count(v) && ++errors <= 8) report += describe("value not in the before file:", v, 0);
  Oracle oracle(job);
  std::vector<uint64_t> primes =
      oddPrimesBetween(static_cast<uint64_t>(before.depth) + 1, static_cast<uint64_t>(after.depth));
  std::vector<uint64_t> first = oracle.firstDivisors(was, primes);
  for (size_t i = 0; i < was.size(); ++i) {
    int64_t v = was[i];
    bool survives = kept.count(v) != 0;
    if (survives && first[i] != 0 && ++errors <= 8)
      report += describe("survivor has a divisor in the window:", v, first[i]);
    if (!survives && first[i] == 0 && !struckBelow(oracle, v, after.depth) && ++errors <= 8)
      report += describe("struck without a divisor in the window:", v, 0);
  }
  return limited(report, errors);
}
