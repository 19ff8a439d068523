// One testing run over a sieve file: read and check it, resume from its progress record,
// test each line's members in order, report and append every all-prime line.
#pragma once
#include <csignal>
#include <cstddef>
#include <string>
#include <vector>

#include "ordax/options.h"

#include "ordax/modulus.h"

// Set by the interrupt handler (the signal number, and the flag the tests poll); the run stops
// within a moment and records how far it got.
extern volatile std::sig_atomic_t ordaxInterrupt;
extern CancelFlag ordaxStop;

// Exit status of a run.
enum : int { ORDAX_OK = 0, ORDAX_FAILED = 1 };  // an interrupted run returns 128 + the signal

// What a run did, for callers that look closer than the exit status.
struct RunSummary {
  std::vector<size_t> found;  // indices (from 0) of the lines reported in this run
  std::vector<std::string> texts;
  std::vector<bool> proven;  // per reported line: every member proven
  size_t tested = 0;  // lines finished in this run
};

int RunOrdax(const OrdaxOptions& options, RunSummary* summary = nullptr);
// Reads, checks and describes the file ("<verb> FILE: N lines of ..."); false after a message
// when it cannot be tested.
struct SieveInput;
struct FormSpec;
bool LoadSieveFile(const std::string& file, SieveInput& input, FormSpec& spec, const char* verb);
// Every online processor: the default number of testing threads.
int OnlineProcessors();
// Called, when set, just before and just after a result is appended ("before append",
// "after append"): the kill tests stop the process at exactly those points.
extern void (*ordaxTestPoint)(const char* where);
