// Set-up and validation of a job before it runs: the fixed value, the primorial index, the
// base, the limits, the bitmap range, the chain length, the series limit, the Fermat-divisor
// question and the output-file checks. Checks that can refuse a job return false when the
// job is abandoned (interactive) or the session must return (full command-line mode); those
// that end the program in full command-line mode throw ProgramExit{1}.
#pragma once
#include <cstdint>

#include "engine/sieve_job.h"

// True for the types whose fixed value is k and whose range is a range of n.
inline bool isFixedKMode(uint32_t mode) { return (mode & MODE_N_VARIES) != 0; }

// Asks for (or echoes) the fixed value and sets `_nvalue`, or the factors of a product k.
void getNorK();
// Refuses a primorial index past the table or below 3, then rounds it down to a table prime;
// says "Prime value for ..." when `announce` is true.
bool checkPrimorialIndex(bool announce);
// The divisibility and size checks of the base, each repeated until the base passes.
bool checkBase();
// Asks for (or echoes) the low and high limits into `MinNum` and `MaxNum`.
void getLimits();
// Warns when the range will not fit the bitmap; false when the user declines.
bool confirmBitmapRange();
// Asks for the chain length of the chain types (kept when preset) and sets `len3plus`.
void askChainLength();
// First file of a series: refuses a starting value already above `MaxN`.
bool checkSeriesLimit();
// The primorial message for an index past the small-prime table.
void printPrimorialLimit();
// A primorial index read from a file: refused (with the primorial message) outside the table,
// rather than rounded into it.
bool fileIndexInTable();
// Refuses (with a message) a job whose values or file the program could not handle: values
// above what the arithmetic holds, more values than one file can count, an n that its own
// file could not hold. Every file a job writes can then be read back and continued.
bool checkJobFits();
// For 3.2^n+1 and 9.2^n+1: asks whether only odd n are wanted (Fermat-number divisors).
void askFermatDivisor();
// An output file that exists already: back it up, keep it, or abandon, as the user chooses.
bool handleExistingOutputFile();
// Checks that the output file can be written, without truncating or deleting it.
bool testOutputFile();
