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

 private:
  uint64_t w_ = 0, wq_ = 0, p_ = 1;
};

// 2x mod p for x in [0, p), p < 2^63.
inline uint64_t DoubleMod(uint64_t x, uint64_t p) {
  x += x;
  return x >= p ? x - p : x;
}
