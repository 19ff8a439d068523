// What a run leaves that must not depend on the number of sieving threads: its status, the sieve
// file, the removed values' log and the console with the clock taken out.
#pragma once
#include <string>

#include "tests/support/run_binary.h"

struct ThreadOutcome {
  int status = -1;
  std::string file, removedLog, console;
};

// The console without what depends on the clock: time stamps, the progress fields after
// "Sieved up to N", and the counts of values left, which come at report points a second apart,
// with the rates that follow them; and the progress lines shown now and then (the one before
// the final save stays).
std::string WithoutTimings(const std::string& output);

// The outcome of run r in dir, whose sieve file is out.txt.
ThreadOutcome OutcomeOf(const RunResult& r, const ScratchDir& dir);

// Every part of many equals one; threads names the count in the failure messages.
void ExpectSameOutcome(const ThreadOutcome& one, const ThreadOutcome& many, unsigned threads);
