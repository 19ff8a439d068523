// The fixed-k form of the running job as the fixed-k sieves see it: k mod p for plain,
// primorial and product-form k, the target residue each giant walk looks for, and the
// exact small-candidate test that keeps a candidate equal to p from being struck by p.
#pragma once
#include <cstdint>

// Largest n whose candidate can still equal a sieving prime (below 2^63) for any base of 2
// or more: k·b^n ± 1 and |b^n ± k| with k < 2^31 pass 2^63 once n exceeds 64.
constexpr int64_t kMaxTinyExponent = 64;

struct KForm {
  bool bnk = false;          // b^n ± k (MODE_BN_K) rather than k·b^n ± 1
  bool plus = false;         // the + form (MODE_PLUS)
  uint32_t base = 2;
  int64_t k = 0;             // _nvalue: k, or the primorial index of k#; 1 for a product form
  bool primorial = false;    // k# (MODE_PRIMORIAL without a product form)
  bool product = false;      // k given as a product of factors (fMyPrimorial)
  unsigned __int128 kExact = 0;  // the multiplier of b^n exactly, saturated at kSaturated
};

constexpr unsigned __int128 kSaturated = static_cast<unsigned __int128>(1) << 100;

// The form of the current job (SieveJob and kernel context).
KForm CurrentKForm();

// The multiplier of b^n modulo p for the k·b^n ± 1 forms: k mod p, k# mod p, or the
// product of the factors mod p; 0 when p divides it. 1 for the b^n ± k forms.
int64_t KModP(const KForm& form, int64_t p);

// The residue r such that p divides the candidate for n exactly when T(n) ≡ r, where
// T(n) = ∓k·b^n (k·b^n ± 1, table side negated for the + form) or b^n (b^n ± k):
// 1 for k·b^n ± 1, −k mod p for b^n + k, k mod p for b^n − k.
int64_t TargetResidue(const KForm& form, int64_t p);

// |candidate number for n|, exactly, saturated at kSaturated.
unsigned __int128 CandidateMagnitude(const KForm& form, int64_t n);

// True when the candidate number for n is p itself (so p must not strike it).
inline bool CandidateIsP(const KForm& form, int64_t n, int64_t p) {
  return n <= kMaxTinyExponent && CandidateMagnitude(form, n) == static_cast<unsigned __int128>(p);
}
