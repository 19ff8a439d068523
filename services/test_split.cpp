// Splitting a sieved file among machines of different speeds for primality testing.
#include "services/test_split.h"

#include <cassert>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "common/print.h"
#include "services/output_files.h"
#include "services/sieve_lines.h"

int leadingNumber(const std::string& answer) {
  int64_t value = 0;
  for (unsigned char c : answer) {
    if (!std::isdigit(c)) break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return -1;
  }
  return static_cast<int>(value);
}

bool checkSplitInputHasLine(std::istream& in, const std::string& infile) {
  if (in.peek() != std::char_traits<char>::eof()) return true;
  fprintRaw("The file %s has no line at all - there is nothing to split!\n", infile.c_str());
  return false;
}

namespace {
// One draw in [0, total). The speeds are summed in 64 bits; a total past what one rand()
// covers takes a second draw, so that every machine can still be chosen.
int64_t drawBelow(int64_t total) {
  if (total - 1 <= RAND_MAX) return std::rand() % total;
  uint64_t wide = (static_cast<uint64_t>(std::rand()) << 31) ^ static_cast<uint64_t>(std::rand());
  return static_cast<int64_t>(wide % static_cast<uint64_t>(total));
}
}  // namespace

bool SplitForTesting(std::istream& in, const std::string& infile, const std::vector<int>& speeds) {
  assert(!speeds.empty() && speeds.size() <= kMaxTestMachines);
  if (!checkSplitInputHasLine(in, infile)) return false;
  std::vector<std::string> names;
  std::vector<std::unique_ptr<std::ofstream>> outs;
  int64_t total = 0;
  for (size_t i = 0; i < speeds.size(); ++i) {
    names.push_back(infile + "_" + std::to_string(speeds[i]) + "_" + std::to_string(i + 1));
    auto out = std::make_unique<std::ofstream>(names.back(), std::ios::binary | std::ios::trunc);
    if (!*out) {
      printRaw("One of the output files could not be opened !\n");
      return false;
    }
    outs.push_back(std::move(out));
    total += speeds[i];
  }

  std::string line;
  bool hadNewline = false;
  readWholeLine(in, line, &hadNewline);
  for (auto& out : outs) {
    *out << line;
    if (hadNewline) *out << '\n';
  }
  while (readWholeLine(in, line, &hadNewline)) {
    int64_t r = drawBelow(total);
    size_t machine = 0;
    for (int64_t sum = speeds[0]; sum <= r; sum += speeds[++machine]) {
    }
    *outs[machine] << line;
    if (hadNewline) *outs[machine] << '\n';
  }

  if (!closeAllOrRemove(outs, names)) return false;
  fprintRaw(
      "All done. The output files have the speed appended to them, then a number - for "
      "example a %d MHz machine's file could be called '%s_%d_1'\n",
      speeds[0], infile.c_str(), speeds[0]);
  return true;
}
