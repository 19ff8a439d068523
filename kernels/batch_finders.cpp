// The six- and twelve-prime finders: batch cells, and the choice between the AVX-512 IFMA
// chains and the portable interleaved Montgomery chains (identical residues).
#include "kernels/batch_finders.h"

#include <cassert>

#include "kernels/cpu_features.h"
#include "kernels/ifma_chains.h"
#include "kernels/kernel_context.h"
#include "kernels/power_chains.h"

alignas(64) int64_t _p64[6];
alignas(64) int64_t _k64[6];
alignas(64) int64_t p0p11[12];
alignas(64) int64_t k0k11[12];

namespace {

bool ifmaAllowed = true;

// The IFMA chains need n ≥ 32 (six leading bits in the start) and every p in (2^21, 2^52).
template <int N>
bool ifmaFits(const int64_t* p, uint32_t n) {
  if (!ifmaAllowed || n < 32 || !cpuHasIfma()) return false;
  uint64_t lo = UINT64_MAX, hi = 0;
  for (int i = 0; i < N; ++i) {
    lo = lo < (uint64_t)p[i] ? lo : (uint64_t)p[i];
    hi = hi > (uint64_t)p[i] ? hi : (uint64_t)p[i];
  }
  return lo > (uint64_t(1) << 21) && hi < IFMA_MAX_P;
}

template <int N>
void runBatch(const int64_t* p, int64_t* k, bool mayUseIfma) {
  uint32_t n = (uint32_t)kernel._nvalue;
  if (mayUseIfma && ifmaFits<N>(p, n))
    inversePowersOfTwoIfma(p, k, N, n);
  else
    inversePowersOfTwo<N>((const uint64_t*)p, (uint64_t*)k, n);
}

constexpr int PORTABLE_GROUP = 8;  // chains per portable group: enough to hide the multiply latency

}  // namespace

void findpowersBatch(const int64_t* p, const int64_t* x, int64_t* r, int count) {
  assert(count >= 1 && count <= POWER_BATCH);
  const uint32_t n = (uint32_t)kernel._nvalue;
  if (n >= 1 && ifmaAllowed && cpuHasIfma()) {
    uint64_t hi = 0;
    for (int i = 0; i < count; ++i) hi = hi > (uint64_t)p[i] ? hi : (uint64_t)p[i];
    if (hi < IFMA_MAX_P) {
      powersIfma(p, x, r, count, n);
      return;
    }
  }
  for (int i = 0; i < count; i += PORTABLE_GROUP) {
    const int m = count - i < PORTABLE_GROUP ? count - i : PORTABLE_GROUP;
    uint64_t pp[PORTABLE_GROUP], xx[PORTABLE_GROUP], rr[PORTABLE_GROUP];
    for (int j = 0; j < PORTABLE_GROUP; ++j) {  // spare lanes repeat the group's last prime
      pp[j] = (uint64_t)p[i + (j < m ? j : m - 1)];
      xx[j] = (uint64_t)x[i + (j < m ? j : m - 1)];
    }
    powers<PORTABLE_GROUP>(pp, xx, rr, n);
    for (int j = 0; j < m; ++j) r[i + j] = (int64_t)rr[j];
  }
}

bool cpuHasIfma() { return ReadCpuFeatures().ifma; }

void setIfmaAllowed(bool allowed) { ifmaAllowed = allowed; }

bool ifmaInUse() { return ifmaAllowed && cpuHasIfma(); }

void find_k0() { runBatch<6>(_p64, _k64, true); }
void find_k0_bigp() { runBatch<6>(_p64, _k64, true); }
void find_k0_nocmov_bigp() { runBatch<6>(_p64, _k64, false); }
void findk0xM_SSE2() { runBatch<12>(p0p11, k0k11, true); }
void findk0xM(const int64_t* p, int64_t* k) { runBatch<12>(p, k, true); }
