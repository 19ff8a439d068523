// How far testing of a sieve file got: a small record in the working directory, rewritten
// atomically, so an interrupted run continues where it stopped and reports each result once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct ProgressRecord {
  uint64_t fingerprint = 0;  // of the sieve file's bytes: another file (or a re-sieved one) starts over
  size_t lines = 0;          // value lines in the file
  size_t done = 0;           // lines tested, from the first
  size_t found = 0;          // of those, lines whose members were all primes
  // A result about to be appended: the record is written first, naming the line (= done) and
  // the results file's length before the append, so that a run killed between the append and
  // the next record can tell on resume whether the result is already there.
  bool pending = false;
  uint64_t resultsOffset = 0;
};

// The record's name for a sieve file: its base name followed by ".ordax".
std::string ProgressPathFor(const std::string& sieveFile);
// False when there is no record or it cannot be read.
bool LoadProgress(const std::string& path, ProgressRecord& record);
// Writes a temporary file and renames it over the record. False when that fails.
bool SaveProgress(const std::string& path, const ProgressRecord& record);
