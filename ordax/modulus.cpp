// Reduction modulo N. For N = k·2^s + c (c = ±1) write x = h·2^s + l and h = q·k + r; then
// x = q·(k·2^s) + r·2^s + l ≡ r·2^s + l − c·q (mod N), which needs only linear-time steps.
#include "ordax/modulus.h"

Modulus::Modulus(const mpz_class& n, bool special) : n_(n) {
  if (!special || n_ < 7 || mpz_even_p(n_.get_mpz_t())) return;
  for (int c : {1, -1}) {
    mpz_class m = n_ - c;
    mp_bitcnt_t s = mpz_scan1(m.get_mpz_t(), 0);
    mpz_class k = m >> s;
    // Worth it only when the shift carries most of N.
    if (s >= 64 && mpz_fits_ulong_p(k.get_mpz_t())) {
      k_ = mpz_get_ui(k.get_mpz_t());
      shift_ = s;
      sign_ = c;
      return;
    }
  }
}

void Modulus::Reduce(mpz_class& x) const {
  if (sign_ == 0 || x < 0) {
    mpz_mod(x.get_mpz_t(), x.get_mpz_t(), n_.get_mpz_t());
    return;
  }
  mpz_tdiv_r_2exp(low_.get_mpz_t(), x.get_mpz_t(), shift_);
  mpz_tdiv_q_2exp(high_.get_mpz_t(), x.get_mpz_t(), shift_);
  // high_ becomes q, x becomes r·2^s + l.
  unsigned long r = k_ == 1 ? 0 : mpz_tdiv_q_ui(high_.get_mpz_t(), high_.get_mpz_t(), k_);
  mpz_set_ui(x.get_mpz_t(), r);
  mpz_mul_2exp(x.get_mpz_t(), x.get_mpz_t(), shift_);
  mpz_add(x.get_mpz_t(), x.get_mpz_t(), low_.get_mpz_t());
  if (sign_ > 0)
    mpz_sub(x.get_mpz_t(), x.get_mpz_t(), high_.get_mpz_t());
  else
    mpz_add(x.get_mpz_t(), x.get_mpz_t(), high_.get_mpz_t());
  // q < N·(1 + 1/k) so the result lies within two N of the range.
  while (mpz_sgn(x.get_mpz_t()) < 0) mpz_add(x.get_mpz_t(), x.get_mpz_t(), n_.get_mpz_t());
  while (mpz_cmp(x.get_mpz_t(), n_.get_mpz_t()) >= 0) mpz_sub(x.get_mpz_t(), x.get_mpz_t(), n_.get_mpz_t());
}

void Modulus::MulMod(mpz_class& r, const mpz_class& a, const mpz_class& b) const {
  mpz_mul(r.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  if (sign_ == 0)
    mpz_tdiv_r(r.get_mpz_t(), r.get_mpz_t(), n_.get_mpz_t());
  else
    Reduce(r);
}

void Modulus::SqrMod(mpz_class& r) const { MulMod(r, r, r); }

void Modulus::PowMod(mpz_class& r, const mpz_class& base, const mpz_class& e) const {
  if (sign_ == 0) {
    mpz_powm(r.get_mpz_t(), base.get_mpz_t(), e.get_mpz_t(), n_.get_mpz_t());
    return;
  }
  mpz_class b = base;
  Reduce(b);
  const bool small = mpz_fits_ulong_p(b.get_mpz_t());
  const unsigned long bs = small ? mpz_get_ui(b.get_mpz_t()) : 0;
  r = 1;
  for (long i = static_cast<long>(mpz_sizeinbase(e.get_mpz_t(), 2)) - 1; i >= 0 && e != 0; --i) {
    if ((i & 255) == 0 && Cancelled()) return;
    SqrMod(r);
    if (mpz_tstbit(e.get_mpz_t(), static_cast<mp_bitcnt_t>(i))) {
      if (small) {
        mpz_mul_ui(r.get_mpz_t(), r.get_mpz_t(), bs);
        Reduce(r);
      } else {
        MulMod(r, r, b);
      }
    }
  }
  if (e == 0) r = n_ == 1 ? 0 : 1;
}

void Modulus::LucasV(mpz_class& r, const mpz_class& p, const mpz_class& e) const {
  // Ladder on (V_m, V_m+1): V_2m = V_m² − 2, V_2m+1 = V_m·V_m+1 − P.
  mpz_class pr = p;
  mpz_mod(pr.get_mpz_t(), pr.get_mpz_t(), n_.get_mpz_t());
  mpz_class a = 2, b = pr, t;
  for (long i = static_cast<long>(mpz_sizeinbase(e.get_mpz_t(), 2)) - 1; i >= 0 && e != 0; --i) {
    if ((i & 255) == 0 && Cancelled()) return;
    MulMod(t, a, b);
    t -= pr;
    if (t < 0) t += n_;
    mpz_class& sq = mpz_tstbit(e.get_mpz_t(), static_cast<mp_bitcnt_t>(i)) ? b : a;
    SqrMod(sq);
    sq -= 2;
    if (sq < 0) sq += n_;
    (&sq == &b ? a : b) = t;
  }
  r = a;
  if (r >= n_) r -= n_;  // N = 1 or 2 only
}
