// Start-up of the process: the interrupt handler, unbuffered output, the tables, the reset,
// the settings file and the options, then the session and the settings write-back.
#include "console/startup.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "console/front_end.h"
#include "console/help_texts.h"
#include "console/options.h"
#include "console/prompts.h"
#include "console/session.h"
#include "console/settings.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/bitmap.h"
#include "primes/primetable.h"

extern "C" void sigterm_handler(int) {
  // Only async-signal-safe work here: writes of `State` and the counter, and write(2).
  InterruptRequests = InterruptRequests + 1;
  if (job.State == STATE_PREPARING) {
    job.State = STATE_INTERRUPTED;
  } else if (job.State == STATE_SIEVING) {
    job.State = STATE_INTERRUPTED;
    static const char message[] = "Stopping...\n";
    PrintFromSignal(message, sizeof message - 1);
  } else {
    promptInterrupted = 1;  // at a question: back to the main menu
  }
}

namespace {
void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = sigterm_handler;
  sigemptyset(&action.sa_mask);
  // Stays installed after each signal; a read at a prompt resumes rather than failing.
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}
}  // namespace

namespace {
// --help and --version answer a script and end, before the settings file is read or written
// (-h and its siblings print and then open the menu).
bool answeredForAScript(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      printRaw("morvane " MORVANE_VERSION "\n");
      return true;
    }
    if (arg == "--help") {
      printUsage();
      printRaw("\n");
      printOptions();
      return true;
    }
  }
  return false;
}
}  // namespace

int MorvaneMain(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (answeredForAScript(argc, argv)) return 0;
  installInterruptHandler();
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  FillPrimetable();
  initialise();
  ResetToDefaults();
  ReadSettings();
  bool twoSaveFilesOption = ProcessOptions(argc, argv);
  if (!ui.fTwoSaveFilesInIniFile && !twoSaveFilesOption)
    printRaw("\nThere is a new Option to use two save files.\nIt is highly recommended that you use this option right "
             "now.\n");
  try {
    DoSieving();
  } catch (const ProgramExit& exit) {
    return exit.status;  // a refused full command-line job: the settings are not written
  }
  WriteSettings();
  return ui.Ready ? ui.ExitStatus : EXIT_FINISHED;  // an interactive session always ends with 0
}

int RunReportingFaults(int (*body)(int, char**), int argc, char** argv) {
  const char* what = "an unknown fault";
  std::string text;
  try {
    return body(argc, argv);
  } catch (const std::bad_alloc&) {
    what = "out of memory";
  } catch (const std::exception& e) {
    text = e.what();
    what = text.c_str();
  } catch (...) {
  }
  std::fflush(stdout);
  std::fprintf(stderr,
               "\nMorvane stopped on an internal fault: %s.\nThe last saved sieve file is intact; "
               "continue it with -c once the cause is mended.\n",
               what);
  return EXIT_INTERNAL_ERROR;
}
