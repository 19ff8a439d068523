// Non-interactive entry to the file services, for scripts that share a sieve across machines:
// the same file work and messages as the services menu, with the answers given as arguments.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/print.h"
#include "services/duplicate.h"
#include "engine/file_info.h"
#include "services/merge.h"
#include "services/test_split.h"

namespace {

constexpr const char* kUsage =
    "Usage :\n"
    "  morvane-services duplicate FILE COPIES RANGE   copies of FILE for COPIES machines,\n"
    "                                                 each sieving RANGE more p's\n"
    "  morvane-services merge DIRECTORY               merge every file of DIRECTORY into\n"
    "                                                 DIRECTORY/Merged.mrv\n"
    "  morvane-services split FILE SPEED...           deal FILE out to one machine per\n"
    "                                                 SPEED (MHz, at least 50)\n"
    "  morvane-services info FILE...                  what each FILE holds: form, depth,\n"
    "                                                 values, size, expected primes\n";

int duplicate(const std::string& file, const std::string& copiesText, const std::string& rangeText) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    fprintRaw("Cannot open file %s\n", file.c_str());
    return 1;
  }
  int copies = 0;
  int64_t range = 0;
  if (!checkCopyCount(copiesText, copies) || !checkRangeOfP(rangeText, range)) return 1;
  return DuplicateSieveFile(in, file, copies, range) ? 0 : 1;
}

int split(const std::string& file, const std::vector<std::string>& speedTexts) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    fprintRaw("Cannot open file %s\n", file.c_str());
    return 1;
  }
  if (speedTexts.size() > kMaxTestMachines) {
    fprintRaw("Illegal number : %zu\n", speedTexts.size());
    return 1;
  }
  std::vector<int> speeds;
  for (const auto& text : speedTexts) {
    int speed = leadingNumber(text);
    if (speed < kMinMachineSpeed) {
      fprintRaw("Illegal speed : %s (Min. = %d)\n", text.c_str(), kMinMachineSpeed);
      return 1;
    }
    speeds.push_back(speed);
  }
  return SplitForTesting(in, file, speeds) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "duplicate") return duplicate(args[1], args[2], args[3]);
  if (args.size() == 2 && args[0] == "merge") return MergeDirectory(args[1]) ? 0 : 1;
  if (args.size() >= 2 && args[0] == "info") {
    int status = 0;
    for (size_t i = 1; i < args.size(); ++i) {
      if (i > 1) printRaw("\n");
      if (!DescribeSieveFile(args[i])) status = 1;
    }
    return status;
  }
  if (args.size() >= 3 && args[0] == "split") {
    return split(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  std::fputs(kUsage, stderr);
  return 2;
}
