// `ordax -time FILE`: the cost of testing a line, measured on a sample of the file, and the
// rate at which the sieve should stop (`morvane -osr=`): when removing a candidate takes as
// long as testing one.
#pragma once
#include <cstddef>

#include "ordax/options.h"

struct TimingResult {
  size_t sampled = 0;
  double secondsPerLine = 0;     // one thread
  double wallPerLine = 0;        // with the run's thread count
  double advisedRate = 0;        // the -osr= value, in tenths of a second
};

int TimeOrdax(const OrdaxOptions& options, TimingResult* result = nullptr);
// The -osr= value for a wall time per line: one decimal, at least 0.1 (the sieve's finest step).
double AdvisedRate(double wallSecondsPerLine);
