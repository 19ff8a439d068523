// Test helper: runs the tester on FILE with N threads and kills itself with SIGKILL at the
// COUNT-th passage through WHERE ("before append" or "after append"), so the tests can resume
// from exactly the state such a kill leaves. Usage: ordax_kill_point WHERE COUNT N FILE
#include <csignal>
#include <cstdlib>
#include <string>

#include "ordax/run.h"

namespace {
std::string killWhere;
int killCount = 0;

void AtTestPoint(const char* where) {
  if (killWhere == where && --killCount == 0) raise(SIGKILL);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  killWhere = argv[1];
  killCount = std::atoi(argv[2]);
  OrdaxOptions options;
  options.threads = std::atoi(argv[3]);
  options.file = argv[4];
  ordaxTestPoint = AtTestPoint;
  return RunOrdax(options);
}
