// The run of one sieve file: processor features, derived fields, the store for a new file (a
// bitmap, or for a range too large for it a sub-range phase into "QUILLSOR.TMP"), the stop
// limit, then the sieve loop.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

// The largest p this sieve handles exactly (the removal rules form 7·p, the stores step by
// 2p beyond k): a stop value above it is lowered to it, with a message.
constexpr int64_t MAX_SIEVE_P = int64_t{1} << 60;

// Set by SieveFile when the run could not start (no memory for the store, a failed
// sub-range phase); cleared at its start.
extern bool LastRunRefused;

// Runs the job: a new file from MinNum..MaxNum (*fGenerateFile true) or the file read by
// readinfile. Returns 0; a run that ends from deep inside leaves by SieveStop.
int SieveFile(bool* fGenerateFile);

// The sub-range phase of a new file whose range exceeds the bitmap: every sub-range sieved
// to at most 10^9 (less when the stop value is lower) into "QUILLSOR.TMP". False when the
// bitmap cannot be had. An interrupt ends the phase after the current sub-range.
bool CreateInitialFileBySplittingUpIntoRanges();
// When every sub-range ran empty: the largest prime that emptied one; else 0.
extern int64_t subRangesEmptiedBy;

// The end of the sub-range that starts at lo: threshold + 1 values, cut at maxNum. The
// sub-range phase walks with it one sub-range at a time.
int64_t SubRangeEnd(int64_t lo, int64_t maxNum, int64_t threshold);

// The largest candidate value a fixed-n job may hold (2^62): the stores step by 2p beyond a
// value and the removal rules form small multiples of it. And the most values one file may
// span (10^11): its survivors after the sub-range phase must still be countable in 32 bits.
constexpr int64_t MAX_CANDIDATE_K = int64_t{1} << 62;
constexpr int64_t MAX_RANGE_VALUES = 100000000000;

