// The tester's command line: the sieve file and a few options; unknown words are kept so the
// caller can report them, since the sieve's hand-off passes the user's free-form words along.
#pragma once
#include <string>
#include <vector>

struct OrdaxOptions {
  std::string file;
  bool lowPriority = false;  // -n
  bool restart = false;      // -restart: ignore the progress record and test from the first line
  bool help = false;         // -h, -help, --help
  int threads = 0;           // -t=N; 0: every online processor
  bool time = false;         // -time: time a sample of lines and advise the sieve's -osr=
  std::string resultsPath = "ordax_results.txt";
  std::string progressPath;  // empty: derived from the file name in the working directory
  std::vector<std::string> unknown;
  std::string error;  // a known option with a value it cannot take
};

// Reads argv[1..]. The first word that is not an option is the file; later ones are unknown.
OrdaxOptions ParseOrdaxOptions(int argc, const char* const* argv);
// The usage text.
const char* OrdaxUsage();
