// Splitting a sieved file among machines of different speeds for primality testing.
#pragma once
#include <istream>
#include <string>
#include <vector>

// Machines, and the lowest speed in MHz a machine may have.
constexpr int kMaxTestMachines = 100;
constexpr int kMinMachineSpeed = 50;

// The value of the leading decimal digits of an answer (0 when there are none), or -1
// when they do not fit an int.
int leadingNumber(const std::string& answer);

// Refuses an input with no line at all (there is no header to copy), with its message.
bool checkSplitInputHasLine(std::istream& in, const std::string& infile);

// Deals the data lines of `in` (named infile, nothing read from it yet) out to one file per
// machine, "infile_speed_i", each line to a machine drawn with probability proportional to
// its speed by the unseeded rand(); every file gets the header line. True when all written.
bool SplitForTesting(std::istream& in, const std::string& infile, const std::vector<int>& speeds);
