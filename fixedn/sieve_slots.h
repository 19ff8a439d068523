// The per-run function slots shared by the sieve loop and the per-prime routines below it,
// the services the loop lends them, and the exception that ends a run from deep inside.
#pragma once
#include <cstdint>
#include <string>

// Chosen once per run by the sieve loop; a routine may put a sibling in its own slot.
using WorkProcedure = void (*)(const int64_t& p);
using RemoveProcedure = void (*)(const int64_t& p, int64_t k0);
using ClearProcedure = void (*)(int64_t k, int64_t p);

extern WorkProcedure workprocedure;
extern RemoveProcedure RemoveRoutine;
// One per thread: a thread that computes strikes points its own at a recorder.
extern thread_local constinit ClearProcedure ClearRoutine;
// Applies the primes a work procedure still holds back (none: nullptr). The loop calls it
// before every save so that a file never claims a depth it has not reached.
extern void (*workflush)();

// Engine services the clearing routines and the fixed-k sieves call for struck values.
// They live above this folder, so the sieve loop fills this table before the first prime.
struct RemovalServices {
  void (*Verify)(int64_t k, uint32_t n, int64_t p) = nullptr;
  void (*ClearReport)(long now, int64_t p, int64_t value) = nullptr;
  void (*outputandtidyvals)(int64_t p, const std::string& name, bool append) = nullptr;
  // Time and count of the newest sample of the rate history.
  long (*LatestSampleTime)() = nullptr;
  uint32_t (*LatestSampleCount)() = nullptr;
};
extern RemovalServices removal;

// Thrown when every value is removed while sieving or a verification fails; it leaves the
// loop and the file run at once and is caught around the file run.
struct SieveStop {};
