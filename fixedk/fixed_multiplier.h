// Multiplication modulo p by a multiplier fixed for many steps (the table and giant-step
// strides of the fixed-k sieves): a precomputed quotient turns each step into two
// multiplications and one correction, with no division.
#pragma once
#include <cassert>
#include <cstdint>

// x·w mod p for a fixed w < p and any odd modulus p < 2^63 (Shoup's method: the quotient
// estimate floor(x·floor(w·2^64/p)/2^64) is floor(x·w/p) or one less, so one correction
// makes the residue exact).
class FixedMultiplier {
 public:
  FixedMultiplier() = default;
  FixedMultiplier(uint64_t w, uint64_t p)
      : w_(w), wq_(static_cast<uint64_t>((static_cast<unsigned __int128>(w) << 64) / p)), p_(p) {
    assert(p > 1 && p < (uint64_t{1} << 63) && w < p);
  }
  // x may be any 64-bit value; the result is in [0, p).
  uint64_t operator()(uint64_t x) const {
    const uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(x) * wq_) >> 64);
    const uint64_t r = x * w_ - q * p_;
    return r >= p_ ? r - p_ : r;
  }
  uint64_t multiplier() const { return w_; }
  uint64_t modulus() const { return p_; }

 private:
  uint64_t w_ = 0, wq_ = 0, p_ = 1;
};

// 2x mod p for x in [0, p), p < 2^63.
inline uint64_t DoubleMod(uint64_t x, uint64_t p) {
  x += x;
  return x >= p ? x - p : x;
}

// Lanes of the interleaved power runs: four independent chains keep the multiplier busy
// where one chain would wait out each product's latency.
constexpr uint32_t kPowerLanes = 4;

// out[i] = x·w^i mod p for i < count (x < p), where step multiplies by w: four chains, each
// stepping by w^4, give exactly the residues of the one chain x, x·w, x·w^2, ... .
inline void PowerRun(uint64_t* out, uint64_t x, uint32_t count, const FixedMultiplier& step) {
  uint32_t i = 0;
  for (; i < count && i < kPowerLanes; ++i) {
    out[i] = x;
    x = step(x);
  }
  if (i == count) return;
  const FixedMultiplier step4(step(step(step(step.multiplier()))), step.modulus());
  for (; i + kPowerLanes <= count; i += kPowerLanes) {
    out[i] = step4(out[i - 4]);
    out[i + 1] = step4(out[i - 3]);
    out[i + 2] = step4(out[i - 2]);
    out[i + 3] = step4(out[i - 1]);
  }
  for (; i < count; ++i) out[i] = step4(out[i - 4]);
}
