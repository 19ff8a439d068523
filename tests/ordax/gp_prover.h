// The independent prover for the tests: pari-gp's isprime (a proving test), run as a separate
// program on a batch of numbers.
#pragma once
#include <gmpxx.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_binary.h"

// The gp program on PATH, or empty when it is not installed.
inline std::string GpPath() {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = dir + "/gp";
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// isprime(n) for each number, or an empty vector when gp did not answer for all of them.
inline std::vector<bool> GpIsPrime(const std::vector<mpz_class>& numbers) {
  std::vector<bool> out;
  const std::string gp = GpPath();
  if (gp.empty() || numbers.empty()) return out;
  ScratchDir dir;
  std::string script = "default(parisizemax, 256000000);\n";
  for (const mpz_class& n : numbers) script += "print(isprime(" + n.get_str() + "));\n";
  RunResult r = runProgram(gp, {"-q", "-f", "-D", "colors=no"}, dir.path(), script);
  std::stringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (line == "0" || line == "1") out.push_back(line == "1");
  if (out.size() != numbers.size()) out.clear();
  return out;
}
