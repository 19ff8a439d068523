// The session loop: gathers the answers of each job (or takes them from the command line),
// applies the validation rules in their order, runs the file, and decides what follows.
#include "console/session.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <vector>

#include "console/front_end.h"
#include "console/menus.h"
#include "console/options.h"
#include "console/prompts.h"
#include "console/validation.h"
#include "engine/file_run.h"
#include "common/print.h"
#include "engine/report.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "fixedn/sieve_slots.h"
#include "primes/primetable.h"

namespace {
const char* const MainMenu[] = {"To create a new file.",          "To continue sieving an old file.",
                                "To change one or several option(s).", "To get a service.",
                                "To get some help.",              "To exit from this program."};

int clampedDecimal(const std::string& digits) {
  long long v = std::strtoll(digits.c_str(), nullptr, 10);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// A job refused in full command-line mode ends the program with this status.
bool refusedWith(int status) {
  if (ui.Ready) ui.ExitStatus = status;
  return false;
}

// The exit status that the file run just ended with.
int RunStatus() {
  if (job.SaveFailed) return EXIT_OUTPUT_FAILED;
  if (LastRunRefused) return EXIT_INVALID_JOB;
  if (VerificationFailed) return EXIT_VERIFY_FAILED;
  if (job.State == STATE_INTERRUPTED) return EXIT_INTERRUPTED;
  return EXIT_FINISHED;
}

bool isChainType(int type) { return type >= 10 && type <= 12; }

// The job's k is a primorial (not a product of factors typed by the user).
bool isPrimorialJob() { return (job._mode & MODE_PRIMORIAL) && !job.fMyPrimorial; }

// Echoes a preset file name or reads one; no name at all is the way back to the main menu.
void askFileName(const char* prompt, std::string& field) {
  printRaw(prompt);
  if (!field.empty()) {
    fprintRaw("%s\n", field.c_str());
    return;
  }
  get_required_line(field);
  if (field.empty()) throw DialogueCancelled{};
}

bool HandleGeneralized() {
  if (job.PrimorialMode || job._base == 2 || job.tcode < 3 || job.tcode > 7) return false;
  if (!ui.Ready) {
    printRaw("Generalized chains ?");
    job.GeneralizedChains = askYesNo(job.GeneralizedChains ? 'y' : 'n');
  }
  return !job.GeneralizedChains;
}

bool HandleEven() {
  int t = job.tcode;
  if (job.PrimorialMode || job._base != 2 || t == 13 || t == 16 || t == 17 || t == 19 || t == 20) return false;
  if (!ui.Ready) {
    printRaw("Include even k's ?");
    job.IncludeEvenKs = askYesNo(job.IncludeEvenKs ? 'y' : 'n');
  }
  return job.IncludeEvenKs;
}

// Type number from the preset answer or the menu; false when full command-line mode refuses it.
bool chooseType() {
  const int limit = job.PrimorialMode ? NUM_PRIMORIAL_TYPES - 1 : NUM_TYPES - 1;
  if (!ui.tbuff.empty()) {
    int type = clampedDecimal(ui.tbuff);
    if (type <= limit) {
      job.tcode = type;
      return true;
    }
    if (ui.Ready) {
      fprintRaw("%d : Invalid type of sieve.\n", type);
      return false;
    }
  }
  printRaw("What type of sieve do you want to do ?\n");
  printRaw("The available types of sieve are :\n");
  if (job.PrimorialMode) job.tcode = ChooseString(Ptypes, NUM_PRIMORIAL_TYPES, 0);
  else job.tcode = ChooseString(job.GeneralizedChains ? Gtypes : NGtypes, NUM_TYPES, 0);
  return true;
}

// The first file's questions, up to the fixed value.
bool newFileDialogue() {
  askFileName("Creating a new file ; Output file name = ", job.outbuff);
  if (!ui.Ready) {
    printRaw("Using primorial mode ?");
    job.PrimorialMode = askYesNo(ui.primorialdefault);
  }
  if (!chooseType()) return refusedWith(EXIT_INVALID_JOB);
  job._base = job.PrimorialMode ? 2u : static_cast<uint32_t>(getBase());
  job._mode = job.PrimorialMode ? uint32_t{MODE_PRIMORIAL} : 0u;
  if (HandleGeneralized()) job._mode |= MODE_NOT_GENERALIZED;
  if (HandleEven()) job._mode |= MODE_EVEN_K;
  job._mode |= TypeModes[job.tcode];
  getNorK();
  return true;
}

// The value after `value` in a series: the next table prime(s) for primorials, else a step,
// kept odd for base-2 fixed-k and even for other odd bases. Returns -1 past the table.
int64_t nextSeriesValue(int64_t value) {
  if (job._mode & MODE_PRIMORIAL) {
    int i = 0;
    while (i < PRIMETABLE_SIZE && primetable[i] < value) ++i;
    if (i + static_cast<int64_t>(job.AutoIncrementAmount) > PRIMETABLE_SIZE - 1) return -1;
    return primetable[i + job.AutoIncrementAmount];
  }
  int64_t next = value + job.AutoIncrementAmount;
  if (isFixedKMode(job._mode)) {
    // Odd bases need even k (an odd k makes every number even), so they step to even k.
    bool wantOdd = !(job._base & 1);
    if (((next & 1) != 0) != wantOdd) ++next;
  }
  return next;
}

// A later file of a series: the next value, or the end of the series.
bool nextValueStep() {
  int64_t next = nextSeriesValue(job._nvalue);
  if (next < 0 || next > INT32_MAX || (job.MaxN != 0 && next > static_cast<int64_t>(job.MaxN))) {
    printRaw("The sieve limit has been reached\n");
    return false;
  }
  job._nvalue = static_cast<int32_t>(next);
  fprintRaw(isFixedKMode(job._mode) ? "Next value for k = %d\n" : "Next value for n = %d\n", job._nvalue);
  return true;
}

// Steps 10 to 13 of every new file: index, base, range, type line and chain length.
bool completeNewFile() {
  if (isPrimorialJob() && !checkPrimorialIndex(!job.fDoingAutoIncrement)) return refusedWith(EXIT_INVALID_JOB);
  if (!checkBase()) return refusedWith(EXIT_INVALID_JOB);
  const bool fixedK = isFixedKMode(job._mode);
  if (job.fDoingAutoIncrement) {
    job.MinNum = ui.SaveMinNum;
    job.MaxNum = ui.SaveMaxNum;
    fprintRaw(fixedK ? "nmin = %" PRId64 "\n" : "kmin = %" PRId64 "\n", job.MinNum);
    fprintRaw(fixedK ? "nmax = %" PRId64 "\n" : "kmax = %" PRId64 "\n", job.MaxNum);
  } else {
    getLimits();
    if (!checkJobFits()) return refusedWith(EXIT_INVALID_JOB);
    if (!ui.Ready && !confirmBitmapRange()) return false;
    ui.SaveMinNum = job.MinNum;
    ui.SaveMaxNum = job.MaxNum;
  }
  fprintRaw("Type : %s", CurrentTypeText());
  if (isChainType(job.tcode)) {
    if (!ui.Ready) askChainLength();
    else printRaw("\n");
    int length = clampedDecimal(ui.lbuff);
    if (length > MAX_CHAIN_LENGTH) {
      // Checked here, where every job is built, with the same bound as the file reader's.
      fprintRaw("The chain length %s is too large: at most %d is supported.\n", ui.lbuff.c_str(), MAX_CHAIN_LENGTH);
      throw ProgramExit{EXIT_INVALID_JOB};
    }
    job.len3plus = length <= 2 ? 3 : length;
  } else {
    printRaw("\n");
  }
  return true;
}

bool oldFileDialogue() {
  askFileName("Sieving an old file ; Input file name = ", job.inbuff);
  askFileName("Output file name = ", job.outbuff);
  const std::sig_atomic_t interrupts = InterruptRequests;
  if (!readinfile(job.inbuff))
    return refusedWith(InterruptRequests != interrupts ? EXIT_INTERRUPTED : EXIT_INPUT_REFUSED);
  const bool primorial = isPrimorialJob();
  if (primorial && !fileIndexInTable()) return refusedWith(EXIT_INPUT_REFUSED);
  if (!primorial) fprintRaw("base = %u, ", job._base);
  if (IsLuckyMode(job._mode)) ++job._nvalue;  // the file run sieves these one exponent lower
  if (isFixedKMode(job._mode)) {
    if (job.fMyPrimorial) {
      std::string k;
      for (uint32_t i = 0; i < job.nMyPrimorial; ++i) k += std::to_string(job.MyPrimorial[i]) + "*";
      if (!k.empty()) k.pop_back();
      ui.nbuff = k.substr(0, TEXT_FIELD_MAX);
      fprintRaw("k = %s, ", ui.nbuff.c_str());
    } else {
      fprintRaw("k = %d, ", job._nvalue);
    }
    fprintRaw("nmin = %" PRId64 ", nmax = %" PRId64 "\n", job.MinNum, job.MaxNum);
  } else {
    fprintRaw("n = %d, kmin =%" PRId64 ", kmax = %" PRId64 "\n", job._nvalue, job.MinNum, job.MaxNum);
  }
  int type = TypeFromMode(job._mode);
  if (type >= 0) job.tcode = type;
  fprintRaw("Type : %s", CurrentTypeText());
  if (isChainType(job.tcode)) fprintRaw("\tchain length = %d\n", job.len3plus);
  else printRaw("\n");
  printRaw(primorial ? "Use primorial mode" : "Use normal mode");
  if (job._mode & MODE_EVEN_K) printRaw(", Include even k's");
  if (!primorial && job._base != 2 && job.tcode >= 3 && job.tcode <= 7)
    printRaw((job._mode & MODE_NOT_GENERALIZED) ? ", No Generalized chains\n" : ", Generalized chains\n");
  else printRaw("\n");
  return true;
}

std::string describeStopCriterion() {
  char text[128];
  switch (job.StopCriterion) {
    case STOP_AT_P: std::snprintf(text, sizeof text, "Sieve up to p = %" PRId64, job.StopValue); break;
    case STOP_AFTER_HOURS: std::snprintf(text, sizeof text, "Sieve for %" PRId64 " hours", job.StopValue); break;
    case STOP_AT_RATE:
      std::snprintf(text, sizeof text, "Sieve until k's or n's are being removed every %.1f seconds",
                    job.StopValue / 10.0);
      break;
    default:
      std::snprintf(text, sizeof text, "Sieve until fewer than %" PRId64 " k's or n's remain", job.StopValue);
  }
  return text;
}

// The questions and checks every job passes just before it runs.
bool commonTail() {
  const bool firstOfSeries = job.fAutoIncrement && !job.fDoingAutoIncrement;
  if (firstOfSeries) {
    if (!checkSeriesLimit()) return refusedWith(EXIT_INVALID_JOB);
    job.origfilename = job.outbuff;
    const bool fixedK = isFixedKMode(job._mode);
    int64_t second;
    if (fixedK) {
      second = job._nvalue + 2;
    } else {
      second = nextSeriesValue(job._nvalue);
      if (second < 0) second = static_cast<int64_t>(primetable[PRIMETABLE_SIZE - 1]) + 4;
    }
    std::string first = getnewfilename(job._nvalue, job.origfilename);
    std::string next = getnewfilename(second, job.origfilename);
    const char letter = fixedK ? 'k' : 'n';
    fprintRaw("The autoincrement '%c' flag is set.\r\nThis means that once this range has been sieved, '%c' will be "
              "incremented and the sieving will start again.\r\nThe output files will be called %s, %s, etc",
              letter, letter, first.c_str(), next.c_str());
    if (ui.Ready) {
      printRaw("...\n");
    } else {
      printRaw(" - is this okay?");
      if (!askYesNo('y')) return false;
    }
  }
  if (job.fAutoIncrement) job.outbuff = getnewfilename(job._nvalue, job.origfilename);
  if (!job.fDoingAutoIncrement && job.StopCriterion != STOP_NONE) {
    std::string criterion = describeStopCriterion();
    fprintRaw("There is a stop criterion for this sieve:\n\n%s.\n\n", criterion.c_str());
    if (!ui.Ready) {
      printRaw("Do you want to continue?");
      if (!askYesNo('y')) return false;
    }
  }
  askFermatDivisor();
  if (!handleExistingOutputFile()) return false;
  if (!testOutputFile()) return refusedWith(EXIT_OUTPUT_FAILED);
  if (!job.fDoingAutoIncrement && !ui.Ready) {
    printRaw("Are you ready to start sieving ?");
    if (!askYesNo('y')) return false;
  }
  return true;
}

// Runs the file at the configured nice value. The sieve's own stop (all values removed, a
// failed verification) ends the run, and the session goes on as after a return; any other
// fault goes up to the one handler in main.
void runFile() {
  promptInterrupted = 0;  // a Control-C before the run belongs to no question
  setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), ui.WorkerThreadPriority);
  try {
    SieveFile(&ui.fGenerateFile);
  } catch (const SieveStop&) {
    // All values removed or a failed verification: the file is already saved.
  }
  setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), 0);  // refused without privileges: ignored
}

// Replaces the process by "./ordax" with the file name and the user's extra words; returns
// only when that fails.
void handOffToOrdax() {
  printRaw("\n*** SIEVING COMPLETE - CALLING ORDAX...\n");
  std::vector<std::string> words = OrdaxArguments(job.outbuff, job.OrdaxParameters);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execv("./ordax", argv.data());
  printRaw("...failed!\n");
}

enum class AfterRun { NextOfSeries, Return, Menu };

AfterRun afterRun() {
  if (job.State != STATE_INTERRUPTED && job.fAutoIncrement) {
    job.fDoingAutoIncrement = true;
    ui.fGenerateFile = true;
    return AfterRun::NextOfSeries;
  }
  if (job.fOrdax) {
    bool handOff = true;
    if (job.State == STATE_INTERRUPTED) {
      if (ui.Ready) {
        printRaw("The sieving was stopped before the Stop Criterion was reached, Program terminated.\n");
        ui.ExitStatus = RunStatus();
        return AfterRun::Return;
      }
      printRaw("The sieving was stopped before the Stop Criterion was reached.\nDo you want to send the data to "
               "ORDAX anyway ? ");
      handOff = askYesNo('y');
    }
    if (handOff) handOffToOrdax();
  }
  return ui.Ready ? AfterRun::Return : AfterRun::Menu;
}

enum class MenuChoice { Job, Exit };

// The main menu; the options, help and services menus return to it.
MenuChoice mainMenu() {
  for (;;) {
    printRaw("\nWhat do you want to do now ?\n");
    int choice = ChooseString(MainMenu, 6, 0);
    if (consoleInputEnded()) throw ConsoleInputEnded{};
    switch (choice) {
      case 0: ui.fGenerateFile = true; break;
      case 1: ui.fGenerateFile = false; break;
      case 2: getOptions(); continue;
      case 3: getService(); continue;
      case 4: getHelp(); continue;
      default: printRaw("\n"); return MenuChoice::Exit;
    }
    job.State = STATE_STOPPED;
    return MenuChoice::Job;
  }
}

// One pass of the session loop: false when the session must return.
bool sessionStep() {
  if (ui.fAutoStartRequired && !job.TwoSaveFiles)
    printRaw("You have not checked the 'Use Two Save Files' option.\r\nIt is *highly recommended* that you check "
             "this option as well, otherwise you may lose your work.\n");
  if (job.State == STATE_INTERRUPTED && mainMenu() == MenuChoice::Exit) return false;
  if (!job.fDoingAutoIncrement && !ui.Ready) {
    printRaw("Verify results ?");
    job.fVerify = askYesNo(ui.verifydefault);
  }
  bool ready;
  if (!ui.fGenerateFile) ready = oldFileDialogue();
  else if (job.fDoingAutoIncrement) ready = nextValueStep() && completeNewFile();
  else ready = newFileDialogue() && completeNewFile();
  ready = ready && commonTail();
  if (!ready) {
    if (ui.Ready) return false;
    ResetToDefaults();
    return true;
  }
  if (ui.Ready && InterruptRequests != 0) {
    // Full command-line mode honours a signal from start-up on: no run is started.
    printRaw("Interrupted before the sieving started: nothing was written.\n");
    ui.ExitStatus = EXIT_INTERRUPTED;
    return false;
  }
  runFile();
  if (ui.Ready) ui.ExitStatus = RunStatus();
  switch (afterRun()) {
    case AfterRun::NextOfSeries: return true;
    case AfterRun::Return: return false;
    case AfterRun::Menu: break;
  }
  ResetToDefaults();
  return true;
}
}  // namespace

std::string getnewfilename(int64_t number, const std::string& name) {
  size_t slash = name.rfind('/');
  size_t split = slash == std::string::npos ? 0 : slash + 1;
  std::string result = name.substr(0, split) + std::to_string(number) + "_" + name.substr(split);
  if (result.size() > TEXT_FIELD_MAX) result.resize(TEXT_FIELD_MAX);
  return result;
}

std::vector<std::string> OrdaxArguments(const std::string& file, const std::string& parameters) {
  std::vector<std::string> words{"ordax", file};
  const char* blanks = " \t\n";
  size_t pos = parameters.find_first_not_of(blanks);
  while (pos != std::string::npos) {
    size_t end = parameters.find_first_of(blanks, pos);
    words.push_back(parameters.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = end == std::string::npos ? end : parameters.find_first_not_of(blanks, end);
  }
  return words;
}

void DoSieving() {
  printRaw("\nMorvane 2.82 - Use Control-C to manually stop the current sieving.\n");
  ui.Ready = isReadyToStart();
  if (job.StopCriterion == STOP_NONE) job.fAutoIncrement = false;
  try {
    for (;;) {
      try {
        if (!sessionStep()) break;
      } catch (const DialogueCancelled&) {
        // Control-C at a question, or no file name: the job is dropped, nothing was written.
        printRaw("\nBack to the main menu.\n");
        ResetToDefaults();
      }
    }
  } catch (const ConsoleInputEnded&) {
    printRaw("\nThe console input has ended, so Morvane stops here.\n");
  }
}
