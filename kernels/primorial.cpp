// Packed primorials: the limb and small-word forms of P, and their reduction modulo p by
// several independent chains per prime so that the multiplies overlap.
#include "kernels/primorial.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernels/batch_finders.h"
#include "kernels/ifma_chains.h"
#include "primes/primetable.h"

int64_t _PackPrimorial[PACK_PRIMORIAL_WORDS];
uint32_t _nPackPrimorial = 0;
uint32_t _SmallPackPrimorial[SMALL_PACK_PRIMORIAL_WORDS];
uint32_t _nSmallPackPrimorial = 0;

namespace {

constexpr uint64_t LIMB_BITS = 48;
constexpr uint64_t LIMB_MASK = (uint64_t(1) << LIMB_BITS) - 1;
constexpr uint32_t SMALL_WORD_MAX = 0x7fffffff;
constexpr uint64_t FACTOR_WORD_MAX = (uint64_t(1) << 61) - 1;
constexpr int CHAINS = 4;  // independent chains per prime in the reductions

// Form bits of the job that leave factors out of P (their values are fixed by the file format).
constexpr uint32_t LUCKY_PLUS_PRIMORIAL = 0x5D, LUCKY_MINUS_PRIMORIAL = 0x6E;
constexpr uint32_t FORM_WITHOUT_5 = 0x80, FORM_WITHOUT_7 = 0x800;

// Multiplies the limb form by m < 2^62 with carry; a final carry becomes new limbs.
void multiplyLimbs(uint64_t m) {
  u128 carry = 0;
  for (uint32_t i = 0; i < _nPackPrimorial; ++i) {
    u128 t = (u128)(uint64_t)_PackPrimorial[i] * m + carry;
    _PackPrimorial[i] = (int64_t)((uint64_t)t & LIMB_MASK);
    carry = t >> LIMB_BITS;
  }
  for (; carry; carry >>= LIMB_BITS) {
    assert(_nPackPrimorial < PACK_PRIMORIAL_WORDS);
    _PackPrimorial[_nPackPrimorial++] = (int64_t)((uint64_t)carry & LIMB_MASK);
  }
}

// First fit over a word list: multiply the first word w with w·f ≤ bound by f, else append
// f. A tree of range minima finds that word in O(log n) steps (a plain scan over the 19000
// words of the largest primorial costs a fifth of a second).
template <class Word>
class FirstFitPacker {
 public:
  FirstFitPacker(Word* words, uint32_t& count, uint32_t capacity)
      : words_(words), count_(count), capacity_(capacity) {
    while (leaves_ < capacity) leaves_ *= 2;
    min_.assign(2 * leaves_, UINT64_MAX);
    for (uint32_t i = 0; i < count_; ++i) set(i, (uint64_t)words_[i]);
  }

  void pack(uint64_t f, uint64_t bound) {
    uint64_t limit = f > 0 ? bound / f : 0;
    if (min_[1] <= limit) {
      uint32_t node = 1;
      while (node < leaves_) node = min_[2 * node] <= limit ? 2 * node : 2 * node + 1;
      uint32_t i = node - leaves_;
      words_[i] = (Word)((uint64_t)words_[i] * f);
      set(i, (uint64_t)words_[i]);
      return;
    }
    assert(count_ < capacity_);
    if (count_ == capacity_) return;
    words_[count_] = (Word)f;
    set(count_, f);
    ++count_;
  }

 private:
  void set(uint32_t i, uint64_t value) {
    uint32_t node = leaves_ + i;
    min_[node] = value;
    for (node /= 2; node; node /= 2) min_[node] = std::min(min_[2 * node], min_[2 * node + 1]);
  }

  Word* words_;
  uint32_t& count_;
  uint32_t capacity_;
  uint32_t leaves_ = 1;
  std::vector<uint64_t> min_;
};

// P mod p for even or tiny p (no sieve asks for them): Horner with one division per limb.
uint64_t limbsModByDivision(uint64_t p) {
  uint64_t r = 0;
  for (uint32_t i = _nPackPrimorial; i-- > 0;) r = modWide(r >> 16, (r << LIMB_BITS) | (uint64_t)_PackPrimorial[i], p);
  return r;
}

// a·b mod p by Barrett's reciprocal inv = floor((2^64 − 1)/p), for p ≤ 2^32, a < 2p and
// b < 2^31: a·b < 2^64, the estimated quotient is at most one short, so the result lies in
// [0, 2p) without a correction and can feed the next step directly.
inline uint64_t barrettMul(uint64_t a, uint64_t b, uint64_t p, uint64_t inv) {
  uint64_t x = a * b;
  uint64_t q = (uint64_t)(((u128)x * inv) >> 64);
  return x - q * p;
}

// P mod p from the small-word form for any p ≥ 2 (the path for primes above 2^32).
uint64_t smallWordsModByDivision(uint64_t p) {
  uint64_t r = 1 % p;
  for (uint32_t i = 0; i < _nSmallPackPrimorial; ++i) r = mulModWide(r, _SmallPackPrimorial[i] % p, p);
  return r;
}

}  // namespace

double FillPackPrimorial(uint32_t n, uint32_t mode) {
  bool without2 = mode == LUCKY_PLUS_PRIMORIAL || mode == LUCKY_MINUS_PRIMORIAL;
  uint32_t start = without2 ? 1 : 2;
  _SmallPackPrimorial[0] = start, _nSmallPackPrimorial = 1;
  _PackPrimorial[0] = start, _nPackPrimorial = 1;
  double logPrimorial = without2 ? 0.0 : std::log(2.0);

  int last = -1;  // the last table entry not above n (the sentinel stops the search)
  while (last + 1 < PRIMETABLE_SIZE && primetable[last + 1] <= n) ++last;

  FirstFitPacker<uint32_t> small(_SmallPackPrimorial, _nSmallPackPrimorial, SMALL_PACK_PRIMORIAL_WORDS);
  uint64_t group = 1;  // table primes gathered into one multiplier below 2^62 for the limbs
  for (int i = last; i >= 0; --i) {
    uint32_t f = primetable[i];
    if ((f == 5 && (mode & FORM_WITHOUT_5)) || (f == 7 && (mode & FORM_WITHOUT_7))) continue;
    logPrimorial += std::log((double)f);
    small.pack(f, SMALL_WORD_MAX);
    if (group > (uint64_t(1) << 62) / f) {
      multiplyLimbs(group);
      group = 1;
    }
    group *= f;
  }
  multiplyLimbs(group);
  return logPrimorial;
}

double FillMyPackPrimorial(const int64_t* factors, uint32_t count) {
  _PackPrimorial[0] = 1, _nPackPrimorial = 1;
  _nSmallPackPrimorial = 0;
  double logPrimorial = 0.0;
  FirstFitPacker<int64_t> packer(_PackPrimorial, _nPackPrimorial, PACK_PRIMORIAL_WORDS);
  for (uint32_t i = count; i-- > 0;) {
    int64_t f = factors[i];
    assert(f >= 1);
    logPrimorial += std::log((double)f);
    packer.pack((uint64_t)f, FACTOR_WORD_MAX);
  }
  return logPrimorial;
}

// Horner over the limbs from the top, split into CHAINS interleaved chains with multiplier
// B^CHAINS (B = 2^48): chain j sums the limbs j, j + CHAINS, ... With c = B^CHAINS·2^64 mod p,
// one Montgomery reduction of s·c gives the plain s·B^CHAINS mod p, so s stays a plain value
// below p + 2^48 and a limb is simply added. The chains meet at the end: Σ s_j·B^j.
int64_t GetPrimorialModP(int64_t p) {
  uint64_t q = (uint64_t)p;
  assert(q >= 2 && q <= KERNEL_MAX_P);
  if (!(q & 1) || q < 3) return (int64_t)limbsModByDivision(q);
  MontgomeryModulus m(q);
  uint64_t b = (uint64_t(1) << LIMB_BITS) % q, bk = b;
  for (int j = 1; j < CHAINS; ++j) bk = mulModWide(bk, b, q);
  uint64_t c = m.toMont(bk);

  const uint32_t limbs = _nPackPrimorial;
  if (limbs == 0) return 0;  // nothing packed yet
  const uint64_t* L = (const uint64_t*)_PackPrimorial;
  uint32_t groups = (limbs + CHAINS - 1) / CHAINS;
  uint64_t s[CHAINS];
  for (int j = 0; j < CHAINS; ++j) {  // the top group may be partial
    uint32_t idx = (groups - 1) * CHAINS + j;
    s[j] = idx < limbs ? L[idx] : 0;
  }
  for (uint32_t g = groups - 1; g-- > 0;)
    for (int j = 0; j < CHAINS; ++j) s[j] = redc((u128)s[j] * c, q, m.pinv) + L[g * CHAINS + j];
  uint64_t r = 0;
  for (int j = CHAINS - 1; j >= 0; --j) r = (mulModWide(r, b, q) + s[j] % q) % q;
  return (int64_t)r;
}

// Both primes run CHAINS chains over interleaved words (the product does not depend on the
// order), so eight independent multiply chains overlap; the chains are multiplied at the end.
void pair_GetPrimorialModP(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2) {
  assert(p1 >= 2 && p2 >= 2 && _nSmallPackPrimorial > 0);
  const uint64_t limit = uint64_t(1) << 32;
  if ((uint64_t)p1 > limit || (uint64_t)p2 > limit) {
    out1 = (int64_t)smallWordsModByDivision((uint64_t)p1);
    out2 = (int64_t)smallWordsModByDivision((uint64_t)p2);
    return;
  }
  const uint64_t p[2] = {(uint64_t)p1, (uint64_t)p2};
  const uint64_t inv[2] = {UINT64_MAX / p[0], UINT64_MAX / p[1]};
  uint64_t r[2][CHAINS];
  for (auto& chains : r)
    for (uint64_t& v : chains) v = 1;
  const uint32_t words = _nSmallPackPrimorial;
  const uint32_t* S = _SmallPackPrimorial;
  uint32_t i = 0;
  for (; i + CHAINS <= words; i += CHAINS)
    for (int k = 0; k < 2; ++k)
      for (int j = 0; j < CHAINS; ++j) r[k][j] = barrettMul(r[k][j], S[i + j], p[k], inv[k]);
  for (; i < words; ++i)
    for (int k = 0; k < 2; ++k) r[k][0] = barrettMul(r[k][0], S[i], p[k], inv[k]);
  uint64_t result[2];
  for (int k = 0; k < 2; ++k) {
    result[k] = r[k][0] % p[k];
    for (int j = 1; j < CHAINS; ++j) result[k] = result[k] * (r[k][j] % p[k]) % p[k];
  }
  out1 = (int64_t)result[0], out2 = (int64_t)result[1];
}

namespace {

// Whether the IFMA chains take this batch: the CPU has them and every prime is odd in their range.
bool ifmaTakes(const int64_t* p, int count) {
  if (!ifmaInUse()) return false;
  for (int i = 0; i < count; ++i)
    if (!(p[i] & 1) || p[i] < 3 || (uint64_t)p[i] >= IFMA_PRIMORIAL_MAX_P) return false;
  return true;
}

}  // namespace

void GetPrimorialModPBatch(const int64_t* p, int count, int64_t* x) {
  assert(count >= 1 && count <= PRIMORIAL_BATCH);
  if (_nPackPrimorial > 0 && ifmaTakes(p, count)) {
    primorialResiduesIfma((const uint64_t*)_PackPrimorial, _nPackPrimorial, p, x, count);
    return;
  }
  const int64_t pairLimit = int64_t(1) << 32;
  int i = 0;
  for (; i + 1 < count && p[i + 1] <= pairLimit; i += 2) pair_GetPrimorialModP(p[i], p[i + 1], x[i], x[i + 1]);
  for (; i < count; ++i) x[i] = GetPrimorialModP(p[i]);
}

void Get48bitInverseBatch(const int64_t* p, const int64_t* x, int count, int64_t* r) {
  assert(count >= 1 && count <= PRIMORIAL_BATCH);
  if (ifmaTakes(p, count)) {
    fermatInversesIfma(p, x, r, count);
    return;
  }
  for (int i = 0; i < count; ++i) r[i] = x[i] == 0 ? 0 : Get48bitInverse(x[i], p[i]);
}
