// Fixed-n jobs for the end-to-end tests: the command line that creates one with the real
// binary, and the oracle's view of the same job.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/oracle.h"

struct FixedNJob {
  int type = 0;
  uint32_t base = 2;
  int64_t n = 0;
  int64_t kmin = 1, kmax = 1000;
  bool primorial = false;
  bool generalized = false;
  bool evenK = false;
  int length = 0;  // chain length for types 10-12 (0: not given)
};

// The `_mode` word the file header must carry (written out here, not taken from the sieve).
uint32_t ExpectedMode(const FixedNJob& j);
OracleJob OracleFor(const FixedNJob& j);
// Full command-line mode: a new file `out` sieved up to p = stop, plus extra options.
std::vector<std::string> NewFileArgs(const FixedNJob& j, const std::string& out, int64_t stop,
                                     const std::vector<std::string>& extra = {});
std::vector<std::string> ContinueArgs(const std::string& in, const std::string& out, int64_t stop,
                                      const std::vector<std::string>& extra = {});
std::string Describe(const FixedNJob& j);
