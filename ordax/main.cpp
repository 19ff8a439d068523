// Entry of the companion tester: options, priority, interrupt handling, then one run.
#include <sys/resource.h>

#include <csignal>

#include "common/print.h"
#include "ordax/options.h"
#include "ordax/run.h"
#include "ordax/timing.h"

namespace {

void OnInterrupt(int signal) {
  ordaxInterrupt = signal;
  ordaxStop.store(true);
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second interrupt ends the process at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  OrdaxOptions options = ParseOrdaxOptions(argc, argv);
  for (const std::string& word : options.unknown) fprint("Ignoring the unknown word '%s'", word.c_str());
  if (!options.error.empty()) {
    fprint("#m%s", options.error.c_str());
    return ORDAX_FAILED;
  }
  if (options.help || options.file.empty()) {
    print(OrdaxUsage());
    return options.help ? ORDAX_OK : ORDAX_FAILED;
  }
  if (options.lowPriority) {
    if (setpriority(PRIO_PROCESS, 0, 19) == 0)
      print("Running at the lowest priority");
    else
      print("Could not lower the priority; running at the normal one");
  }
  InstallInterruptHandler();
  return options.time ? TimeOrdax(options) : RunOrdax(options);
}
