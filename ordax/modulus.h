// Arithmetic modulo one number N: products reduced either by GMP's division or, when
// N = k·2^s ± 1 with k in a machine word, by a shift, a division by k and a subtraction.
#pragma once
#include <gmpxx.h>

#include <atomic>

// Polled by the long loops of a test; once set, results are meaningless and the caller stops.
using CancelFlag = std::atomic<bool>;

class Modulus {
 public:
  // special = false forces the general reduction (the benchmark compares both).
  explicit Modulus(const mpz_class& n, bool special = true);

  const mpz_class& n() const { return n_; }
  bool special() const { return sign_ != 0; }
  void SetCancel(const CancelFlag* cancel) { cancel_ = cancel; }
  bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

  // x in [0, N²·k) becomes x mod N.
  void Reduce(mpz_class& x) const;
  // r = a·b mod N, r = a² mod N; operands in [0, N).
  void MulMod(mpz_class& r, const mpz_class& a, const mpz_class& b) const;
  void SqrMod(mpz_class& r) const;
  // r = base^e mod N: mpz_powm for a general N, square-and-multiply on the special reduction
  // otherwise. e ≥ 0.
  void PowMod(mpz_class& r, const mpz_class& base, const mpz_class& e) const;
  // r = V_e(P, 1) mod N, the Lucas sequence V_0 = 2, V_1 = P, V_{m+1} = P·V_m − V_{m−1}.
  void LucasV(mpz_class& r, const mpz_class& p, const mpz_class& e) const;

 private:
  mpz_class n_;
  unsigned long k_ = 0;
  mp_bitcnt_t shift_ = 0;
  const CancelFlag* cancel_ = nullptr;
  int sign_ = 0;  // +1 for k·2^s+1, −1 for k·2^s−1, 0 for a general N
  // Scratch for the reduction; a Modulus belongs to one test on one thread.
  mutable mpz_class high_, low_;
};
