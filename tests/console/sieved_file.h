// Test helper: whether a file the session produced is a real sieve file of the job, with
// the expected header, checked value by value against the oracle.
#pragma once
#include <string>

#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

// An empty string when the file at path has the header line and the oracle passes it over
// lo..hi; otherwise what is wrong.
inline std::string sievedFileProblem(const std::string& path, const std::string& header, const OracleJob& job,
                                     int64_t lo, int64_t hi) {
  const std::string text = readFile(path);
  const std::string first = text.substr(0, text.find('\n') + 1);
  if (first != header) return path + ": header '" + first + "', expected '" + header + "'";
  const std::string verdict = checkSieveFile(text, job, lo, hi);
  return verdict.empty() ? "" : path + ": " + verdict;
}
