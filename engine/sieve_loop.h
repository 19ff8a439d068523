// The sieve loop: start-up (square-root limit, small candidates, procedure choice, prime
// source) and the walk through the primes with progress, stop checks and saves.
#pragma once
#include <cstdint>

#include "fixedn/sieve_slots.h"  // workprocedure, RemoveRoutine, ClearRoutine, workflush

// Runs the job from `firstp` to `maxp`, a stop request or the last candidate, and writes the
// final file. With fTimedSaves false (sub-ranges of a new file) no timed saves are made.
void dosieve(bool fTimedSaves);

// Fills the function slots at start-up: ChooseSieveProcedures, or a test's own procedures.
extern void (*ChooseProcedures)();

// Timing trace of the report points ("microsecs: ..."), switched on by the settings file.
extern bool fTest;

// The square-root limit and the small-candidate case of the current job (start-up step
// of dosieve; exposed for tests): sets sievelimit, allprimes, tiny, maxtiny, the tiny
// numbers, possibly lowers maxp, and prints the "tiny" line.
void SetSieveLimitAndTiny();
