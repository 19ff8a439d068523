// Removal reporting and verification: the removal line with its rate history and rate stop
// criterion, and the check that a struck value's number really has the prime as a factor.
#pragma once
#include <cstdint>
#include <string>

constexpr int RATE_SAMPLES = 20;

// Rate history: one (time, values left) sample per report; LastTime 0 marks an empty slot.
extern long LastTime[RATE_SAMPLES];
extern uint32_t savenvalsleft[RATE_SAMPLES];
extern int rateindex;       // newest sample
extern int trailrateindex;  // oldest sample, always (rateindex + 1) mod 20

// Empties the history (start of every loop run).
void ResetRateHistory();
// Time of day of `now` as HH:MM:SS.
std::string TimeOfDay(long now);

// Prints the removal and the count left, and the rate once 20 samples exist; applies the
// rate stop criterion. Callers call it at most once per clock second.
void ClearReport(long now, int64_t p, int64_t value);

// Set when a verification failed (the run then ends as interrupted); stays set for the process.
extern bool VerificationFailed;
// Returns when p divides one of the numbers of the candidate (k, n); otherwise writes
// "morvane.err", stops the run and throws SieveStop.
void Verify(int64_t k, uint32_t n, int64_t p);

// Lends ClearReport, Verify, the file writer and the newest sample to the routines below the
// engine (the `removal` table); the sieve loop calls it before the first prime.
void InstallRemovalServices();
