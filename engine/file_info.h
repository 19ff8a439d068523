// A look inside a sieve file: its form in words, depth, values, the size of its numbers, the
// primes to expect among the survivors and the removal rate to expect deeper.
#pragma once
#include <string>

// What DescribeSieveFile prints, for the tests.
struct SieveFileSummary {
  double depth = 0;
  unsigned values = 0;
  int members = 1;
  double minDigits = 0, maxDigits = 0;  // decimal digits of the smallest and largest member
  double expectedFinds = 0;             // lines expected to be wholly prime
  double primesPerRemovalAtTwice = 0;   // primes per removal at twice the depth (0: none left)
};

// Prints the summary of the sieve file `name`; false after the reader's own message when
// the file cannot be read. The summary is also returned when `summary` is given.
bool DescribeSieveFile(const std::string& name, SieveFileSummary* summary = nullptr);

// The probability that a member number of natural logarithm lnN, with no prime factor up to
// depth, is prime (Mertens' theorem: about e^γ·ln(depth)/ln N), at most 1.
double SurvivorPrimeChance(double lnN, double depth);
