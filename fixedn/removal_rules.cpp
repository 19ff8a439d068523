// The removal rules, plain and small-candidate, and the table that picks one for a form.
// Plain rules are hand-written per type (they run for every prime); the small-candidate
// rules share one helper that knows each member's multiplier and constant.
#include "fixedn/removal_rules.h"

#include <cmath>

#include "engine/sieve_job.h"
#include "kernels/kernel_context.h"
#include "kernels/modarith.h"

namespace {

inline void Strike(int64_t r, const int64_t& p) {
  if (r <= job.MaxNum) ClearRoutine(r, p);
}

inline bool LinksHalve() {
  return job._base == 2 || (job._mode & (MODE_NOT_GENERALIZED | MODE_PRIMORIAL));
}

// Multiplier of one link step in the member numbers: k.X -> 2k.X or k.X.b.
inline int64_t LinkFactor() { return LinksHalve() ? 2 : static_cast<int64_t>(job._base); }

// The small-candidate decision for one prime. A member with multiplier A and constant c is
// the number k·A + c; its class r (never 0) holds p itself exactly when r·A + c = p.
// Multipliers of long chains are capped at 2^62, far above any p, where they still never
// give p.
class TinyStrikes {
 public:
  explicit TinyStrikes(const int64_t& p)
      : p_(p), base_((job._mode & MODE_PRIMORIAL) ? job.tinyPrimorial : job.base_power_n) {}

  int64_t Base() const { return base_; }
  static int64_t Scaled(int64_t a, int64_t factor) {
    constexpr int64_t cap = int64_t{1} << 62;
    return a > cap / factor ? cap : a * factor;
  }

  // Strikes class r but keeps the k whose member number is p itself. That k is r when
  // r·A + c = p. With the multiplier 1 (b^0) the −1 member of class r = 1 is 0 and p is
  // reached one period later, at k = p + 1: the class is struck from 2p + 1 on (the file run
  // never stores k = 1 there, its member being 0).
  void Strike(int64_t r, int64_t multiplier, int64_t constant) const {
    const __int128 number = static_cast<__int128>(r) * multiplier + constant;
    if (number == p_) ::Strike(r + p_, p_);
    else if (number == 0 && multiplier == 1) ::Strike(r + 2 * p_, p_);
    else ::Strike(r, p_);
  }

 private:
  const int64_t& p_;
  int64_t base_;
};

// The job.len3plus links of a chain from k0, for the small-candidate rules: at(k, b) gets each
// link's class k and its members' multiplier b.
template <class AtLink>
inline void ForEachTinyLink(const TinyStrikes& t, int64_t k0, const int64_t& p, AtLink at) {
  int64_t k = k0, b = t.Base();
  for (int i = 0; i < job.len3plus; ++i) {
    if (i) k = NextLink(k, p), b = TinyStrikes::Scaled(b, LinkFactor());
    at(k, b);
  }
}

// Class of the +5, +7 members: k ≡ −5·k0 and −7·k0.
inline int64_t PlusConstantClass(int64_t c, int64_t k0, int64_t p) { return p - (c * k0) % p; }

// Class of 2k·X + 3: k ≡ −(3/2)·k0.
inline int64_t SG3Class(int64_t k0, int64_t p) {
  int64_t e = (k0 & 1) ? k0 + p : k0;
  int64_t t = e + e / 2;
  while (t >= p) t -= p;
  return p - t;
}

}  // namespace

int64_t NextLink(int64_t r, int64_t p) {
  if (LinksHalve()) return (r & 1) ? (r + p) >> 1 : r >> 1;
  return mulmodp2(r, kernel._baseinverse, p);
}

double LogTopMemberFactor() {
  int links = 0;
  switch (job._mode & ~(MODE_EVEN_K | MODE_ODD_N | MODE_NOT_GENERALIZED | MODE_PRIMORIAL)) {
    case 0x0005: case 0x0007: case 0x000A: case 0x000B: case 0x000F: links = 1; break;
    case 0x001D: case 0x002E: links = 2; break;
    case 0x0015: case 0x002A: case 0x003F: links = job.len3plus - 1; break;
    case 0x1001: return std::log(2.0);
    default: return 0;
  }
  return links * std::log(static_cast<double>(LinkFactor()));
}

// ---- Plain rules --------------------------------------------------------------------

void Remove_Plus(const int64_t& p, int64_t k0) { Strike(p - k0, p); }

void Remove_Minus(const int64_t& p, int64_t k0) { Strike(k0, p); }

void Remove_Twin(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
}

bool StrikesEndsOnly(RemoveProcedure rule) { return rule == Remove_Plus || rule == Remove_Minus || rule == Remove_Twin; }

void Remove_SG(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(NextLink(k0, p), p);
}

void Remove_CC(const int64_t& p, int64_t k0) {
  Strike(p - k0, p);
  Strike(p - NextLink(k0, p), p);
}

void Remove_Bi(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
  int64_t k1 = NextLink(k0, p);
  Strike(k1, p);
  Strike(p - k1, p);
}

void Remove_IJ(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
  Strike(NextLink(k0, p), p);
}

void Remove_IJ2(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
  Strike(p - NextLink(k0, p), p);
}

void Remove_LP(const int64_t& p, int64_t k0) {
  Strike(p - k0, p);
  int64_t k1 = NextLink(k0, p);
  Strike(p - k1, p);
  Strike(k1, p);
  Strike(p - NextLink(k1, p), p);
}

void Remove_LM(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  int64_t k1 = NextLink(k0, p);
  Strike(p - k1, p);
  Strike(k1, p);
  Strike(NextLink(k1, p), p);
}

void Remove_CC13(const int64_t& p, int64_t k0) {
  int64_t k = k0;
  for (int i = 0; i < job.len3plus; ++i) {
    if (i) k = NextLink(k, p);
    Strike(k, p);
  }
}

void Remove_CC23(const int64_t& p, int64_t k0) {
  int64_t k = k0;
  for (int i = 0; i < job.len3plus; ++i) {
    if (i) k = NextLink(k, p);
    Strike(p - k, p);
  }
}

void Remove_BI3(const int64_t& p, int64_t k0) {
  int64_t k = k0;
  for (int i = 0; i < job.len3plus; ++i) {
    if (i) k = NextLink(k, p);
    Strike(p - k, p);
    Strike(k, p);
  }
}

void Remove_AP(const int64_t& p, int64_t k0) { Strike(k0, p); }

void Remove_3tuple(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
  Strike(PlusConstantClass(5, k0, p), p);
}

void Remove_4tuple(const int64_t& p, int64_t k0) {
  Strike(k0, p);
  Strike(p - k0, p);
  Strike(PlusConstantClass(5, k0, p), p);
  Strike(PlusConstantClass(7, k0, p), p);
}

void Remove_SG3(const int64_t& p, int64_t k0) {
  Strike(p - k0, p);
  Strike(SG3Class(k0, p), p);
}

// ---- Small-candidate rules -----------------------------------------------------------

void Remove_Plus_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(p - k0, t.Base(), 1);
}

void Remove_Minus_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(k0, t.Base(), -1);
}

void Remove_Twin_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
}

void Remove_SG_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor());
  t.Strike(k0, t.Base(), -1);
  t.Strike(NextLink(k0, p), b1, -1);
}

void Remove_CC_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor());
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(p - NextLink(k0, p), b1, 1);
}

void Remove_Bi_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor());
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
  int64_t k1 = NextLink(k0, p);
  t.Strike(k1, b1, -1);
  t.Strike(p - k1, b1, 1);
}

void Remove_IJ_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor());
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(NextLink(k0, p), b1, -1);
}

void Remove_IJ2_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor());
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(p - NextLink(k0, p), b1, 1);
}

void Remove_LP_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor()), b2 = t.Scaled(b1, LinkFactor());
  t.Strike(p - k0, t.Base(), 1);
  int64_t k1 = NextLink(k0, p);
  t.Strike(p - k1, b1, 1);
  t.Strike(k1, b1, -1);
  t.Strike(p - NextLink(k1, p), b2, 1);
}

void Remove_LM_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  int64_t b1 = t.Scaled(t.Base(), LinkFactor()), b2 = t.Scaled(b1, LinkFactor());
  t.Strike(k0, t.Base(), -1);
  int64_t k1 = NextLink(k0, p);
  t.Strike(p - k1, b1, 1);
  t.Strike(k1, b1, -1);
  t.Strike(NextLink(k1, p), b2, -1);
}

void Remove_CC13_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  ForEachTinyLink(t, k0, p, [&](int64_t k, int64_t b) { t.Strike(k, b, -1); });
}

void Remove_CC23_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  ForEachTinyLink(t, k0, p, [&](int64_t k, int64_t b) { t.Strike(p - k, b, 1); });
}

void Remove_BI3_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  ForEachTinyLink(t, k0, p, [&](int64_t k, int64_t b) {
    t.Strike(p - k, b, 1);
    t.Strike(k, b, -1);
  });
}

void Remove_AP_tiny(const int64_t& p, int64_t k0) {
  // The number is 2k + X − 1 (X − 2 for an odd base outside primorial mode).
  TinyStrikes t(p);
  bool oddBase = (job._base & 1) && !(job._mode & MODE_PRIMORIAL);
  t.Strike(k0, 2, t.Base() - (oddBase ? 2 : 1));
}

void Remove_3tuple_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(PlusConstantClass(5, k0, p), t.Base(), 5);
}

void Remove_4tuple_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(k0, t.Base(), -1);
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(PlusConstantClass(5, k0, p), t.Base(), 5);
  t.Strike(PlusConstantClass(7, k0, p), t.Base(), 7);
}

void Remove_SG3_tiny(const int64_t& p, int64_t k0) {
  TinyStrikes t(p);
  t.Strike(p - k0, t.Base(), 1);
  t.Strike(SG3Class(k0, p), t.Scaled(t.Base(), 2), 3);
}

void RemoveWithBaseDivisor(const int64_t& p) {
  // Forms whose links double k (or have no links) are divisible by p at every link.
  if (LinksHalve() || !(job._mode & (MODE_PLUS2 | MODE_MINUS2 | MODE_CHAIN_PLUS | MODE_CHAIN_MINUS))) {
    RemoveRoutine(p, 1);
    return;
  }
  // Links k·b^i ± 1 (i >= 1) leave 1 or −1 modulo p: only the members of link 0 can be struck.
  auto strike = [&p](int64_t r, int64_t constant) {
    if (job.tiny) TinyStrikes(p).Strike(r, 1, constant);
    else Strike(r, p);
  };
  const bool plusFirst = (job._mode & (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS)) == (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS);
  if (plusFirst && (job._mode & MODE_PLUS)) strike(p - 1, 1);
  if (job._mode & MODE_MINUS) strike(1, -1);
  if (!plusFirst && (job._mode & MODE_PLUS)) strike(p - 1, 1);
}

RemoveProcedure RemoveRuleFor(uint32_t form, bool tiny) {
  struct Row {
    uint32_t form;
    RemoveProcedure plain, small;
  };
  static const Row rows[] = {
      {0x0001, Remove_Plus, Remove_Plus_tiny},     {0x0002, Remove_Minus, Remove_Minus_tiny},
      {0x0003, Remove_Twin, Remove_Twin_tiny},     {0x0005, Remove_CC, Remove_CC_tiny},
      {0x0007, Remove_IJ2, Remove_IJ2_tiny},       {0x000A, Remove_SG, Remove_SG_tiny},
      {0x000B, Remove_IJ, Remove_IJ_tiny},         {0x000F, Remove_Bi, Remove_Bi_tiny},
      {0x0015, Remove_CC23, Remove_CC23_tiny},     {0x001D, Remove_LP, Remove_LP_tiny},
      {0x002A, Remove_CC13, Remove_CC13_tiny},     {0x002E, Remove_LM, Remove_LM_tiny},
      {0x003F, Remove_BI3, Remove_BI3_tiny},       {0x0083, Remove_3tuple, Remove_3tuple_tiny},
      {0x0101, Remove_Plus, Remove_Plus},          {0x0102, Remove_Minus, Remove_Minus},
      {0x0200, Remove_AP, Remove_AP_tiny},         {0x0883, Remove_4tuple, Remove_4tuple_tiny},
      {0x1001, Remove_SG3, Remove_SG3_tiny},
  };
  for (const Row& row : rows)
    if (row.form == form) return tiny ? row.small : row.plain;
  return nullptr;
}
