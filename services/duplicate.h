// Duplicating a sieve file for several machines: each copy sieves its own range of p.
#pragma once
#include <cstdint>
#include <istream>
#include <string>

// The name of one copy: the directory part of name (up to its last '/'), then value in
// decimal, '_', then the rest of the name. Lgetnewfilename(6000000000, "res/Twin.txt") is
// "res/6000000000_Twin.txt".
std::string Lgetnewfilename(int64_t value, const std::string& name);

// Checks the answer for the number of copies (all digits, 2 to 25; empty reads as 0) and
// the answer for the range of p per copy (all digits, at least 2); print the refusal and
// return false when an answer fails.
bool checkCopyCount(const std::string& answer, int& copies);
bool checkRangeOfP(const std::string& answer, int64_t& range);

// Writes the copies of the sieve file `in` (named infile, nothing read from it yet): copy i
// is named for p + (i+1)*range and starts at p + i*range. Prints the names, or the refusal.
// True when every copy was written.
bool DuplicateSieveFile(std::istream& in, const std::string& infile, int copies, int64_t range);
