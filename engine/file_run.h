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

// The sub-ranges of minNum..maxNum: threshold + 1 values each, the last one cut at maxNum.
std::vector<std::pair<int64_t, int64_t>> SubRanges(int64_t minNum, int64_t maxNum, int64_t threshold);

