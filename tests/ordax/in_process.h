// Runs the tester in-process on a sieve file written by a test, with its console captured and
// its results and progress files in the test's scratch folder.
#pragma once
#include <string>

#include "common/print.h"
#include "ordax/run.h"
#include "tests/support/run_binary.h"

struct InProcessRun {
  int status = -1;
  std::string output;
  RunSummary summary;
};

inline InProcessRun RunInProcess(const ScratchDir& dir, const std::string& fileText, bool restart = true) {
  writeFile(dir.file("sieve.txt"), fileText);
  OrdaxOptions options;
  options.file = dir.file("sieve.txt");
  options.restart = restart;
  options.resultsPath = dir.file("results.txt");
  options.progressPath = dir.file("sieve.txt.ordax");
  InProcessRun run;
  setPrintCapture(&run.output);
  run.status = RunOrdax(options, &run.summary);
  setPrintCapture(nullptr);
  return run;
}
