// The per-prime work of the fixed-n sieves as a pure function: from a batch of primes and the
// run's kernel context to the residue classes each prime strikes, in the order the work
// procedures hand them to ClearRoutine. Nothing of the candidate store is read or written and
// every scratch value lives on the calling thread, so several threads may compute batches at
// once while one thread applies the classes in prime order.
#pragma once
#include <cstdint>
#include <vector>

#include "fixedn/sieve_slots.h"
#include "kernels/kernel_context.h"

// One class to strike: a value k of the class (exactly what ClearRoutine would get) for the
// prime primes[index] of the batch. slot is the class's place among the prime's classes; for
// the plain base-2 twin rule it names the member whatever was left out above MaxNum (0: k0, the −1
// member; 1: p − k0, the +1 member), so a caller can order several primes' classes member by
// member as the six-prime twin procedure does.
struct Strike {
  int64_t k;
  uint32_t index;
  uint32_t slot;
};

// How the residue k0 of a prime is found; one per family of work procedures.
enum class StrikeFinder : uint8_t {
  Base2,        // 2^(−n) mod p
  Base2AP,      // (1 − 2^n)/2 mod p
  OtherBase,    // b^(−n) mod p, b^(−1) from the inverse table up to MaxpForWorkProcNotBase2
  OtherBaseAP,  // (1 − b^n)/2 or (2 − b^n)/2 mod p
  Primorial,    // P^(−1) mod p
  PrimorialAP,  // (1 − P)/2 mod p
};

// Everything a batch depends on besides its primes; fixed for the run.
struct StrikeContext {
  KernelContext kernel;
  StrikeFinder finder = StrikeFinder::Base2;
  RemoveProcedure rule = nullptr;
  bool useInverseTable = false;     // OtherBase: the table serves p up to maxTableP
  int64_t maxTableP = 0;
  bool twin = false;                // base 2, the plain twin rule: classes recorded with explicit slots
};

// The context of the current run, from the job, the kernel context and the removal rule the
// sieve loop has chosen. False for runs whose work is not a per-prime function of this kind
// (fixed-k and b^n±k sieves).
bool PrepareStrikes(StrikeContext& ctx);

// Appends to out the classes that primes[0..count) strike, prime by prime in batch order.
// The primes must ascend, as the prime source delivers them.
void FindStrikes(const StrikeContext& ctx, const int64_t* primes, uint32_t count, std::vector<Strike>& out);
