// Command-line words of the tester.
#include "ordax/options.h"

#include <string_view>

namespace {

constexpr int kMaxThreads = 1024;

}  // namespace

OrdaxOptions ParseOrdaxOptions(int argc, const char* const* argv) {
  OrdaxOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string_view w = argv[i];
    if (w == "-n") {
      o.lowPriority = true;
    } else if (w == "-time") {
      o.time = true;
    } else if (w == "-restart") {
      o.restart = true;
    } else if (w == "-h" || w == "-help" || w == "--help") {
      o.help = true;
    } else if (w.substr(0, 3) == "-t=") {
      std::string_view v = w.substr(3);
      long n = 0;
      bool ok = !v.empty() && v.size() <= 4;
      for (char c : v) ok = ok && c >= '0' && c <= '9';
      if (ok) n = std::stol(std::string(v));
      if (ok && n >= 1 && n <= kMaxThreads)
        o.threads = static_cast<int>(n);
      else
        o.error = "-t= needs a number of threads from 1 to " + std::to_string(kMaxThreads) + ", not '" +
                  std::string(v) + "'";
    } else if (w.substr(0, 9) == "-results=" && w.size() > 9) {
      o.resultsPath = w.substr(9);
    } else if (o.file.empty() && !w.empty() && w.front() != '-') {
      o.file = w;
    } else {
      o.unknown.emplace_back(w);
    }
  }
  return o;
}

const char* OrdaxUsage() {
  return "Usage: ordax FILE [-n] [-restart] [-t=N] [-results=NAME]\n"
         "       ordax -time FILE [-t=N]\n"
         "Tests the lines of the sieve file FILE, proving primes where a theorem covers their shape,\n"
         "and reports them in file order.\n"
         "  -n              run at the lowest priority\n"
         "  -t=N            test N lines at a time (default: every online processor)\n"
         "  -time           time a sample of the file's lines and print the -osr= value at which\n"
         "                  the sieve should stop (removing a candidate costs what testing one does)\n"
         "  -restart        test from the first line again (otherwise an interrupted run continues)\n"
         "  -results=NAME   append the results to NAME (default ordax_results.txt)\n"
         "Progress is kept in FILE.ordax in the working directory.";
}
