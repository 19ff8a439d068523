// The options menu (settings of the next job and lasting settings), the help menu and the
// services menu.
#include "console/menus.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "console/front_end.h"
#include "console/help_texts.h"
#include "console/prompts.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "console/service_dialogues.h"

namespace {
const char* const Services[] = {"Sieve across multiple machines - Duplicate.",
                                "Sieve across multiple machines - Merge.",
                                "Primality test on several machines - Split.",
                                "Look inside a sieve file."};
const char* const Options[] = {"Worker thread priority",
                               "Automatically continue sieving the last file on startup",
                               "Sieve until...",
                               "Set max Mb RAM to store values...",
                               "Minutes between automatic saves...",
                               "Log the numbers removed",
                               "Use two save files",
                               "Number of sieving threads"};
const char* const Prios[] = {"Normal", "Lowest"};
const char* const Suntil[] = {"Sieve until manually stopped", "Sieve up to p = (1000)",
                              "Sieve until there are (1000) k's or n's remaining", "Sieve for (24) hours",
                              "Sieve until the rate is (0.1) seconds per k or n"};
const char* const Helps[] = {"Usage", "About", "Contents", "What's new in this release", "Types of sieve", "Options"};

// The services, in menu order.
using ServiceRoutine = void (*)();
const ServiceRoutine ServiceRoutines[] = {FrmSplit, frmMerge, frmTestSplit, frmInfo};

constexpr double MAX_BITMAP_BITS = 4068474880.0;

void trimBlanks(std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void askOrdax() {
  printRaw("\nPass the file to ORDAX for PRP testing when complete ?");
  job.fOrdax = askYesNo('n');
  if (!job.fOrdax) return;
  struct stat st;
  if (stat("./ordax", &st) != 0) {
    printRaw("I cannot find \"ordax\" in the current directory.\nTo automatically call ORDAX, it must be in the "
             "current directory.");
  } else if (!(st.st_mode & S_IXUSR)) {
    printRaw("\"ordax\" is not an executable file.\n");
  } else {
    printRaw("Enter additionnal ORDAX parameters, e.g. -n for low priority : ");
    get_line(job.OrdaxParameters, ORDAX_PARAMETERS_MAX);
    trimBlanks(job.OrdaxParameters);
    return;
  }
  job.fOrdax = false;
  job.OrdaxParameters.clear();
}

// What follows a stop criterion: a series, or the hand-off to Ordax.
void askAfterStop() {
  printRaw("\nAutomatically increment n or k when complete ?");
  job.fAutoIncrement = askYesNo('n');
  if (!job.fAutoIncrement) {
    askOrdax();
    return;
  }
  job.AutoIncrementAmount = getNb("\nWhen complete, increment n or k by (1) : ", 1);
  if (job.AutoIncrementAmount < 1) job.AutoIncrementAmount = 1;
  printRaw("\nDo you want to stop when n or k gets a limit ?");
  if (askYesNo('n')) {
    job.MaxN = static_cast<uint32_t>(getNb("\nStop when n or k gets to (1) : ", 1));
    if (job.MaxN == 0) job.MaxN = 1;
  } else {
    job.MaxN = 0;
  }
}

void askStopCriterion() {
  printRaw("\nSieve until :\n");
  switch (ChooseString(Suntil, 5, 0)) {
    case 0:
      job.StopCriterion = STOP_NONE;
      job.fAutoIncrement = false;
      return;
    case 1:
      job.StopCriterion = STOP_AT_P;
      job.StopValue = getNb64("\nSieve up to p = (1000) ", 1000);
      if (job.StopValue < 1000) job.StopValue = 1000;
      break;
    case 2:
      job.StopCriterion = STOP_AT_COUNT;
      job.StopValue = getNb64("\nSieve until there are nnnn k's or n's remaining (1000) : ", 1000);
      if (job.StopValue == 0) job.StopValue = 1000;
      break;
    case 3:
      job.StopCriterion = STOP_AFTER_HOURS;
      job.StopValue = getNb64("\nSieve for nn hours (24) : ", 24);
      if (job.StopValue == 0) job.StopValue = 24;
      if (job.StopValue > MAX_STOP_HOURS) {
        fprintRaw("At most %" PRId64 " hours; %" PRId64 " is used.\n", MAX_STOP_HOURS, MAX_STOP_HOURS);
        job.StopValue = MAX_STOP_HOURS;
      }
      break;
    default: {
      job.StopCriterion = STOP_AT_RATE;
      job.StopValue = RateStopValue(getDNb("\nSieve until the rate is nn.n seconds per k or n (0.1) : ", 0.1));
      break;
    }
  }
  askAfterStop();
}

void askBitmapSize() {
  for (;;) {
    double bits = std::trunc(getDNb("\nMax RAM to use for the bitmap, Mb (47.7) : ", 47.6837159) * 1024 * 1024 * 8);
    if (bits >= 0 && bits <= MAX_BITMAP_BITS) {
      if (bits < MIN_BITMAP_BITS) {
        // A capacity of (almost) nothing would split every range into countless sub-ranges.
        fprintRaw("The bitmap must hold at least %" PRId64 " values; %" PRId64 " bits are used.\n", MIN_BITMAP_BITS,
                  MIN_BITMAP_BITS);
        bits = MIN_BITMAP_BITS;
      }
      job.BitMapThreshold = static_cast<int64_t>(bits);
      return;
    }
    printRaw("That is not a valid size!\nThe allowable range is 0 to 485.0 Mb\n");
  }
}

void askMinutes() {
  for (;;) {
    int minutes = getNb("\nMinutes between saves (30) : ", 30);
    if (minutes != 0) {
      job.WriteIterations = static_cast<unsigned>(minutes);
      return;
    }
    printRaw("That is not a valid number of minutes!\n");
  }
}

void askLog() {
  printRaw("Log the numbers deleted ?");
  job.LogDeleted = askYesNo(ui.LogDefault);
  ui.LogDefault = job.LogDeleted ? 'y' : 'n';
  if (!job.LogDeleted || ui.DSM_LogDeleted) return;
  printRaw("The removed k's or n's will be appended to the file MORVANE.DEL, one per line.\nNote that this will only "
           "be done once p exceeds 2^32 (~4.3 billion), for the sake of performance.\nShow me this again ? ");
  ui.DSM_LogDeleted = !askYesNo('n');
}

void askThreads() {
  for (;;) {
    char prompt[128];
    std::snprintf(prompt, sizeof prompt, "\nNumber of sieving threads, 0 for every processor (%u) : ", job.Threads);
    int n = getNb(prompt, static_cast<int>(job.Threads));
    if (n >= 0 && static_cast<unsigned>(n) <= MAX_THREADS) {
      job.Threads = static_cast<unsigned>(n);
      return;
    }
    fprintRaw("That is not a valid number of threads!\nThe allowable range is 0 to %u\n", MAX_THREADS);
  }
}

void askTwoSaveFiles() {
  printRaw("Use two save files ?");
  job.TwoSaveFiles = askYesNo(ui.SaveDefault);
  ui.SaveDefault = job.TwoSaveFiles ? 'y' : 'n';
  if (!job.TwoSaveFiles || ui.DSM_TwoSaveFiles) return;
  printRaw("Before the output file is written, the previous contents will be saved to a file with the same name "
           "followed by a tilde\r\n(For example, work.dat would be saved to work.dat~).\nShow me this again ? ");
  ui.DSM_TwoSaveFiles = !askYesNo('n');
}
}  // namespace

void getOptions() {
  do {
    printRaw("\nWhat option do you want to change ?\n");
    switch (ChooseString(Options, 8, 0)) {
      case 0:
        printRaw("\nChanging the Worker thread priority :\n");
        ui.WorkerThreadPriority = 20 * ChooseString(Prios, 2, 1);
        break;
      case 1:
        printRaw("Automatically continue sieving the last file on startup ?");
        ui.fAutoStartRequired = askYesNo('n');
        break;
      case 2: askStopCriterion(); break;
      case 3: askBitmapSize(); break;
      case 4: askMinutes(); break;
      case 5: askLog(); break;
      case 6: askTwoSaveFiles(); break;
      default: askThreads(); break;
    }
    printRaw("\nWould you change any more option ?");
  } while (askYesNo('n'));
}

void getHelp() {
  do {
    printRaw("\nWhat kind of help do you want to get ?\n");
    int choice = ChooseString(Helps, 6, 0);
    printRaw("\n");
    switch (choice) {
      case 0: printUsage(); break;
      case 1: printAbout(); break;
      case 2: printContents(); break;
      case 3: printWhatsNew(); break;
      case 4: printTypes(); break;
      default: printOptions(); break;
    }
    printRaw("Would you get any more help ?");
  } while (askYesNo('n'));
}

void getService() {
  do {
    printRaw("\nAvailable Services are :\n");
    int choice = ChooseString(Services, 4, 0);
    printRaw("\n");
    ServiceRoutines[choice]();
    ResetToDefaults();
    printRaw("Any more Service ?");
  } while (askYesNo('n'));
}
