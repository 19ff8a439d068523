// Command-line words of the tester.
#include "ordax/options.h"

#include <string_view>

OrdaxOptions ParseOrdaxOptions(int argc, const char* const* argv) {
  OrdaxOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string_view w = argv[i];
    if (w == "-n") {
      o.lowPriority = true;
    } else if (w == "-restart") {
      o.restart = true;
    } else if (w == "-h" || w == "-help" || w == "--help") {
      o.help = true;
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
  return "Usage: ordax FILE [-n] [-restart] [-results=NAME]\n"
         "Tests the lines of the sieve file FILE for probable primes, in file order.\n"
         "  -n              run at the lowest priority\n"
         "  -restart        test from the first line again (otherwise an interrupted run continues)\n"
         "  -results=NAME   append the results to NAME (default ordax_results.txt)\n"
         "Progress is kept in FILE.ordax in the working directory.";
}
