// The per-prime work of the fixed-k sieves as a pure function: from a prime and a read-only
// context fixed for the run to the candidate offsets the prime strikes, in the order the
// sieves remove them. Nothing of the candidate store is read or written and every scratch
// value lives in the caller's KScratch, so several threads may search primes at once while
// one thread applies the strikes (ApplyKStrikes) in prime order.
#pragma once
#include <cstdint>
#include <vector>

#include "fixedk/bsgs_table.h"
#include "fixedk/kform.h"
#include "fixedk/kstrike.h"
#include "fixedk/power_residue.h"

// Which of the fixed-k searches a run uses.
enum class KSearchKind : uint8_t {
  Base2,       // DoKSieve and DoKSieve_tiny: table ∓k·2^(MinNum+j) by doublings
  OtherBase,   // DoKSieveOtherBases: table steps by b, giant steps by b^(−arange)
  ShortRange,  // DoKSieveShortRange: a walk over one period of 2 mod p
  Spaced,      // Base2KSieve: steps of the survivors' common spacing, screened by residues
};

// The quadratic-residue test value R of the spaced search and whether 2R is tested too
// (0: no test).
struct ResidueTest {
  int32_t R = 0;
  bool withDouble = false;
};
// The test for k·2^n ± 1 (sign by plus): once 3 has struck one parity of n, only ∓k or ∓2k
// can be a square mod p.
ResidueTest ChooseResidueTest(int64_t k, bool plus);

// The moduli Q of the class search, in steps of the spacing d. A prime whose screening
// leaves a ≡ a0 (mod t) uses one of those that t divides.
constexpr uint32_t kClassModuli[] = {24, 60, 120, 168, 280, 420, 840, 1680, 2520};

// The classes r of a modulo one Q that still hold a candidate: for each divisor t of Q and
// each a0 < t, those ≡ a0 (mod t), ascending, in r[begin[slot[t] + a0] .. begin[slot[t] + a0 + 1]).
struct KClassTable {
  uint32_t modulus = 0;
  std::vector<uint16_t> r;
  std::vector<uint16_t> step;   // (r[c] − r[c − 4])/t, and (r[c] − r[first])/t for the first four
  std::vector<uint32_t> begin;
  std::vector<uint32_t> slot;   // t → its first entry of begin (t dividing the modulus)
  std::vector<uint16_t> reach;  // per list: the largest (r[c] − r[c − 4])/t, and (r[3] − r[0])/t
};

// The shape of the spaced search for one class a0 mod t of the screening.
struct KSearchChoice {
  static constexpr int32_t kPlain = -1, kNothing = -2;
  int32_t table = kPlain;  // the class table searched, or kPlain, or kNothing (no candidate left)
  uint32_t len = 0;        // table length of the class search
  uint32_t walkLen = 0, tableLen = 0;  // of the plain search
};

// Everything a search depends on besides its prime; fixed for the run.
struct KSearchContext {
  KSearchKind kind = KSearchKind::Base2;
  KForm form;
  int64_t minNum = 0;
  uint32_t maxval = 0;          // width of the range: offsets 0 .. maxval-1
  // Base2 and OtherBase.
  uint32_t arange = 0;          // table length
  uint32_t brange = 0;          // number of giant steps
  uint32_t arangefirstbit = 0;  // the bit below the leading bit of arange
  int fKroneker = 0;            // multiplier of the quadratic-residue test; 0: two tests
  // Spaced.
  uint32_t adiff = 1;           // common spacing d of the candidates
  uint32_t orderSpan = 1;       // strikes are ordered as a doubling walk of orderSpan/d steps would make them
  int64_t startk = 0;           // k
  ResidueTest residueTest;
  bool residueSkip = true;      // the quadratic-residue skip is on
  bool powerResidue = true;     // the power-residue screening is on
  bool vectorClasses = true;    // the class search walks its classes in vector lanes where it can
  // The classes of a = offset/d that still hold a candidate, modulo each of kClassModuli.
  std::vector<KClassTable> classTables;
  // The search chosen for a ≡ a0 (mod t) is choices[choiceSlot[t] + a0], for each t dividing
  // the screening's modulus (when empty, each search chooses for itself).
  std::vector<uint32_t> choiceSlot;
  std::vector<KSearchChoice> choices;
};


// The context of the current run for a search of the given kind, from the job and this
// thread's kernel context. For Spaced, the spacing d (at most 48) comes from the caller.
KSearchContext PrepareKSearch(KSearchKind kind, uint32_t spacing = 1);

// Per-thread working memory of the searches; grows to the largest table a search needs.
struct KScratch {
  BsgsTable table;
  std::vector<uint32_t> matches;
  std::vector<uint64_t> values;  // the table's residues, when computed in vector lanes
  // A batch's power-residue screening (spaced search).
  std::vector<uint32_t> lanePrimes;
  std::vector<uint8_t> screenState;
  std::vector<PowerResidueClass> screened;
  // A batch's powers of 2 for the class searches, four per prime.
  std::vector<uint64_t> classPowers;
  std::vector<uint32_t> powerJobs;
  std::vector<int64_t> powerExponents;
};

// One strike: the candidate offset n − MinNum alone (step 0), or the whole class of offset
// modulo step over the range (step > 0: the short-range walk's period from its hit, or every
// offset for a prime dividing both b and k of b^n ± k). index: the prime's place in a batch.
struct KStrike {
  uint32_t offset;
  uint32_t step;
  uint32_t index;
};

// Appends to out the strikes of primes[0..count), prime by prime in batch order, each prime's
// in the order they are to be applied. Uses only ctx, scratch and this thread's kernel
// context (OtherBase leaves its last base inverse there).
void FindKStrikes(const KSearchContext& ctx, const int64_t* primes, uint32_t count, KScratch& scratch,
                  std::vector<KStrike>& out);

// The loop's side: applies one prime's strikes [begin, end) to the candidate store (the
// candidate-equal-to-p exception, counts, the removed-values log) and records them in s.
void ApplyKStrikes(const KSearchContext& ctx, int64_t p, const KStrike* begin, const KStrike* end,
                   PrimeStrikes& s);
