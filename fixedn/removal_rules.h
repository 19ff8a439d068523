// The removal rules of the fixed-n sieve types: from one prime's residue k0 (p divides
// k0·X − 1, X = b^n or the primorial multiplier) they derive the residue class of k for each
// member number of the type and hand the classes, in the type's order, to ClearRoutine.
#pragma once
#include <cstdint>

#include "fixedn/sieve_slots.h"

// Plain rules: every class r <= MaxNum is struck from r on.
void Remove_Plus(const int64_t& p, int64_t k0);
void Remove_Minus(const int64_t& p, int64_t k0);
void Remove_Twin(const int64_t& p, int64_t k0);
void Remove_SG(const int64_t& p, int64_t k0);
void Remove_CC(const int64_t& p, int64_t k0);
void Remove_Bi(const int64_t& p, int64_t k0);
void Remove_IJ(const int64_t& p, int64_t k0);
void Remove_IJ2(const int64_t& p, int64_t k0);
void Remove_LP(const int64_t& p, int64_t k0);
void Remove_LM(const int64_t& p, int64_t k0);
void Remove_CC13(const int64_t& p, int64_t k0);
void Remove_CC23(const int64_t& p, int64_t k0);
void Remove_BI3(const int64_t& p, int64_t k0);
void Remove_AP(const int64_t& p, int64_t k0);
void Remove_3tuple(const int64_t& p, int64_t k0);
void Remove_4tuple(const int64_t& p, int64_t k0);
void Remove_SG3(const int64_t& p, int64_t k0);

// The +1, −1 and twin rules strike k0 or p − k0 only. At large p both mostly lie beyond
// MaxNum; such a prime strikes nothing and is passed over without calling the rule.
bool StrikesEndsOnly(RemoveProcedure rule);
inline bool EndsBeyond(int64_t p, int64_t k0, int64_t maxNum) { return k0 > maxNum && p - k0 > maxNum; }

// Small-candidate rules, for runs whose member numbers can be as small as p: the same classes
// in the same order, except that a class whose own member number at the class's smallest k
// is p itself is struck from r + p, so that no candidate is removed for being p.
void Remove_Plus_tiny(const int64_t& p, int64_t k0);
void Remove_Minus_tiny(const int64_t& p, int64_t k0);
void Remove_Twin_tiny(const int64_t& p, int64_t k0);
void Remove_SG_tiny(const int64_t& p, int64_t k0);
void Remove_CC_tiny(const int64_t& p, int64_t k0);
void Remove_Bi_tiny(const int64_t& p, int64_t k0);
void Remove_IJ_tiny(const int64_t& p, int64_t k0);
void Remove_IJ2_tiny(const int64_t& p, int64_t k0);
void Remove_LP_tiny(const int64_t& p, int64_t k0);
void Remove_LM_tiny(const int64_t& p, int64_t k0);
void Remove_CC13_tiny(const int64_t& p, int64_t k0);
void Remove_CC23_tiny(const int64_t& p, int64_t k0);
void Remove_BI3_tiny(const int64_t& p, int64_t k0);
void Remove_AP_tiny(const int64_t& p, int64_t k0);
void Remove_3tuple_tiny(const int64_t& p, int64_t k0);
void Remove_4tuple_tiny(const int64_t& p, int64_t k0);
void Remove_SG3_tiny(const int64_t& p, int64_t k0);

// The classes of a prime that divides the base while the multiplier is b^0 = 1 (k0 = 1):
// the type's whole rule where links double k, else only the members of the first link, as
// k·b^i ± 1 for i >= 1 is never divisible by p.
void RemoveWithBaseDivisor(const int64_t& p);

// The rule for a form, that is `_mode` with MODE_PRIMORIAL, MODE_NOT_GENERALIZED,
// MODE_ODD_N and MODE_EVEN_K cleared; nullptr for the forms without one (b^n±k).
// The fixed-k forms 0x0101/0x0102 take the plain rule even when tiny.
RemoveProcedure RemoveRuleFor(uint32_t form, bool tiny);

// ln of the factor by which the largest member number of the job exceeds k·X (X = b^n or
// the primorial multiplier): the top link of a chain, the second link of a pair, 2k·X + 3.
// The square-root limit of a run must come from the largest number, not from k·X.
double LogTopMemberFactor();

// The next-link map: the class of the −1 member one link up from class r (r/2 mod p for
// base 2, primorial mode and chains not generalized; r·b^−1 mod p otherwise).
int64_t NextLink(int64_t r, int64_t p);
