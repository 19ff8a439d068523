// Reading a sieve file for testing: the header in either form (plain or the "ABC ...//Morvane:"
// factor form), the "k n" value lines, and a fingerprint of the whole file for resuming.
#pragma once
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// One value line, both numbers as written in the file.
struct SieveLine {
  int64_t first = 0;   // k (fixed-n files) or the fixed k (fixed-k files)
  int64_t second = 0;  // n as written (fixed-n) or the candidate n (fixed-k)
};

struct SieveInput {
  int64_t sievedTo = 0;  // first header field: the sieve got this far
  char letter = 0;       // mode letter as written (informative only)
  int64_t len3plus = 1;
  int64_t base = 0;
  int64_t mode = 0;
  bool factorForm = false;
  std::vector<uint64_t> factors;  // factor form: the factors of k, in the order written
  std::vector<SieveLine> lines;
  size_t ignoredLines = 0;  // non-blank lines after the header that are not value lines
  uint64_t fingerprint = 0;  // hash of the file's lines: tells a resumed file from a new one
};

// Reads path into out. On failure returns false with a one-line reason in error.
bool ReadSieveInput(const std::string& path, SieveInput& out, std::string& error);
// The reader proper, line by line from a stream, so a large file is never held whole.
bool ParseSieveInput(std::istream& text, SieveInput& out, std::string& error);
