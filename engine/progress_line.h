// The progress line of a sieve run: "Sieved up to ..." followed by what a person needs to plan
// by (share done and time left toward the stop, primes per second, values left, seconds per
// removal), about once a second on a terminal and as a plain line now and then in a log.
#pragma once
#include <cstdint>
#include <string>

// Primes left before the next report; the loop counts it down, so no clock is read per prime.
extern int64_t progressCountdown;

// Start of a run (each call of the loop): the stop the estimates aim at is taken from the job.
void ProgressStart(int64_t firstp);
// Per prime: true when a report is due.
inline bool ProgressDue() { return --progressCountdown <= 0; }
// At every report point: measures, shows the line when it is time, and sets the countdown to
// about a second of primes.
void ProgressReport(int64_t p);

// The parts below are exposed for the tests.

// The logarithmic integral li(x), the count of primes below x to a fraction of a percent.
double LogIntegral(double x);
// h:mm:ss, or "Nd hh:mm" from a day on.
std::string TimeLeftText(double seconds);
// The depth p at which a form of `members` numbers per line, with `values` lines left at
// depth p, is expected to be down to `target` lines (each member survives a further sieve
// to q with probability ln p / ln q). 0 when it lies beyond 2^62.
double DepthForCount(double p, double values, double target, int members);
