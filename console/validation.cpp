// The checks that refuse, correct or confirm a job before it runs, each with its message
// and its two behaviours (ask again interactively; return or end in full command-line mode).
#include "console/validation.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/front_end.h"
#include "console/prompts.h"
#include "common/number_reader.h"
#include "common/print.h"
#include "engine/file_run.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "primes/primetable.h"

namespace {
const char* const Responses[] = {"Save", "Don't save", "Cancel"};


// Splits a product such as 3*5*11 into its factors; false when a piece is empty or not a
// number, or when there are more factors than the job can hold.
bool readFactors(const std::string& text) {
  uint32_t count = 0;
  size_t start = 0;
  for (;;) {
    size_t star = text.find('*', start);
    std::string piece = text.substr(start, star == std::string::npos ? std::string::npos : star - start);
    int64_t factor;
    // A factor of 0 makes k zero: a file of such a job could never be read back.
    if (ReadNumber(piece, factor) != NumberError::None || factor < 1 || count == MAX_MY_PRIMORIAL) return false;
    job.MyPrimorial[count++] = factor;
    if (star == std::string::npos) break;
    start = star + 1;
  }
  job.nMyPrimorial = count;
  return true;
}

// Reads (or echoes) one limit until it reads as a number; in full command-line mode a
// refused preset ends the program.
int64_t askLimit(const char* prompt, std::string& field) {
  printRaw(prompt);
  if (!field.empty()) fprintRaw("%s\n", field.c_str());
  else get_required_line(field);
  for (;;) {
    int64_t value;
    NumberError e = ReadNumber(field, value);
    if (e == NumberError::None) return value;
    if (ui.Ready) {
      print(NumberRefusal(std::string(prompt, std::strlen(prompt) - 3), field, e).c_str());
      throw ProgramExit{1};
    }
    fprintRaw("%s%s", e == NumberError::TooLarge ? "Number too large ; " : "Invalid number ; ", prompt);
    get_required_line(field);
  }
}

// A refused base: say why, then ask again (or give up in full command-line mode).
bool refuseBase(const char* message) {
  fprintRaw(message, job._base);
  if (ui.Ready) return false;
  ui.bbuff.clear();
  job._base = static_cast<uint32_t>(getBase());
  return true;
}

bool fileExists(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0;
}

// The backup is a second link to the file, which stays in place: a file continued in place
// is never missing, even if the program stops before its first save.
void backUpOutputFile() { KeepBackup(job.outbuff); }
}  // namespace

void getNorK() {
  const bool fixedK = isFixedKMode(job._mode);
  const char* prompt = fixedK ? "k = " : "n = ";
  for (;;) {
    printRaw(prompt);
    if (!ui.nbuff.empty()) fprintRaw("%s\n", ui.nbuff.c_str());
    else get_required_line(ui.nbuff);
    while (ui.nbuff.empty()) {
      fprintRaw("Invalid number ; %s", prompt);
      get_required_line(ui.nbuff);
    }
    job.fMyPrimorial = false;
    const char* refusal;
    if (ui.nbuff.find('*') != std::string::npos) {
      bool productAllowed = job._base == 2 && (job._mode & MODE_FIXED_K) && !(job._mode & MODE_PRIMORIAL);
      if (productAllowed && readFactors(ui.nbuff)) {
        job.fMyPrimorial = true;
        job._nvalue = 1;
        job._mode |= MODE_PRIMORIAL;
        return;
      }
      refusal = productAllowed ? "Each factor of k must be a number of at least 1, for example 3*5*11.\n"
                               : "This ought to be a k.2^n fixed k sieve...\n";
    } else {
      int64_t value = 0;
      NumberError e = ReadNumber(ui.nbuff, value);
      if (e == NumberError::None && value <= INT32_MAX) {
        job._nvalue = static_cast<int32_t>(value);
        // The Lucky forms also sieve k.b^(n-1): n = 0 would sieve with exponent -1.
        if (value == 0 && !fixedK && !(job._mode & MODE_PRIMORIAL) && IsLuckyMode(job._mode)) {
          printRaw("n must be at least 1 for this type, which also sieves k.b^(n-1).\n");
          if (ui.Ready) throw ProgramExit{1};
          ui.nbuff.clear();
          continue;
        }
        bool oddWithOddBase = (value & 1) && (job._base & 1);
        if (fixedK && value == 0) refusal = "k must be at least 1.\n";  // 0·b^n±1 is no form to sieve
        else if (fixedK && !(job._mode & MODE_PRIMORIAL) && oddWithOddBase) refusal = "k ought to be even for that fixed k sieve.\n";
        else return;
      } else if (e == NumberError::None || e == NumberError::TooLarge) {
        refusal = fixedK ? "k must be at most 2147483647.\n" : "n must be at most 2147483647.\n";
      } else {
        if (ui.Ready) {
          printRaw("Invalid number.\n");
          print(NumberRefusal(fixedK ? "k" : "n", ui.nbuff, e).c_str());
          throw ProgramExit{1};
        }
        printRaw("Invalid number ; ");
        ui.nbuff.clear();
        continue;
      }
    }
    printRaw(refusal);
    if (ui.Ready) throw ProgramExit{1};
    ui.nbuff.clear();
  }
}

void printPrimorialLimit() {
  const int64_t last = primetable[PRIMETABLE_SIZE - 1];
  fprintRaw("The maximum value for a primorial is %d#.\nWhat are you thinking of? That has got about %d "
            "decimal digits!\n",
            static_cast<int>(last), static_cast<int>(last / 2.302585));
  if (std::rand() % 5 == 2) {
    printRaw("Don't curse *me*, blame the idiot who wrote me!\n");
    printRaw("Actually, now you have got me into this particular bit of code, it all comes flooding back.\n"
             "Aah, those sweet memories of long debugging sessions into the night...\n");
  }
}

bool fileIndexInTable() {
  if (job._nvalue > static_cast<int64_t>(primetable[PRIMETABLE_SIZE - 1])) {
    printPrimorialLimit();
    return false;
  }
  if (job._nvalue < 3) {
    printRaw("The primorial index must be at least 3.\n");
    return false;
  }
  return true;
}

bool checkPrimorialIndex(bool announce) {
  const int64_t last = primetable[PRIMETABLE_SIZE - 1];
  for (;;) {
    if (job._nvalue > last) {
      printPrimorialLimit();
      if (ui.Ready) return false;
    } else if (job._nvalue < 3) {
      // No primorial index below the smallest table prime exists.
      printRaw("The primorial index must be at least 3.\n");
      if (ui.Ready) throw ProgramExit{1};
    } else {
      break;
    }
    ui.nbuff.clear();
    getNorK();
  }
  job._nvalue = LargestTablePrimeNotAbove(job._nvalue);
  if (announce)
    fprintRaw((job._mode & MODE_FIXED_K) ? "Prime value for k = %d\n" : "Prime value for n = %d\n", job._nvalue);
  return true;
}

bool checkBase() {
  const uint32_t mode = job._mode;
  if (mode == 0x83 || mode == 0x883)
    while (job._base % 5 == 0)
      if (!refuseBase("5 will always divide k.%d^n+5 - choose a different base.\n")) return false;
  if (mode == 0x883)
    while (job._base % 7 == 0)
      if (!refuseBase("7 will always divide k.%d^n+7 - choose a different base.\n")) return false;
  if (mode == 0x1001)
    while (job._base % 3 == 0)
      if (!refuseBase("3 will always divide 2k.%d^n+3 - choose a different base.\n")) return false;
  if ((mode & MODE_FIXED_K) && !(mode & MODE_PRIMORIAL))
    while (job._base > 255255)
      if (!refuseBase("The fixed k sieves requires the base to be <= 255255 at the moment.\n")) return false;
  return true;
}

void getLimits() {
  const bool fixedK = isFixedKMode(job._mode);
  const char* low = fixedK ? "nmin = " : "kmin = ";
  const char* high = fixedK ? "nmax = " : "kmax = ";
  for (;;) {
    job.MinNum = askLimit(low, ui.kminbuff);
    if (job.MinNum < 1) {
      // A range starting at 0 holds no candidate worth sieving.
      printRaw("The low limit must be at least 1.\n");
      if (ui.Ready) throw ProgramExit{1};
      ui.kminbuff.clear();
      continue;
    }
    job.MaxNum = askLimit(high, ui.kmaxbuff);
    if (job.MinNum <= job.MaxNum) return;
    printRaw("High limit must be >= Low limit !\n");
    ui.kminbuff.clear();
    ui.kmaxbuff.clear();
    if (ui.Ready) throw ProgramExit{1};
  }
}

bool confirmBitmapRange() {
  if (job.MaxNum - job.MinNum <= job.BitMapThreshold) return true;
  int64_t values = job.MaxNum - job.MinNum + 1;
  // A zero capacity still gets a range count: one value per range.
  int64_t ranges = values / (job.BitMapThreshold > 0 ? job.BitMapThreshold : 1) + 1;
  fprintRaw("The range of k that you have specified (%" PRId64 ") is too large to fit into the bitmap, which can "
            "hold %" PRId64 " k's.\nThis is not too much of a problem, as Morvane will break this up into %" PRId64
            " smaller ranges and sieve each in turn up to 1 billion before combining them and sieving together.\n"
            "However, you might like to consider increasing the bitmap size. Do you wish to continue?",
            values, job.BitMapThreshold, ranges);
  return askYesNo('y');
}

void askChainLength() {
  fprintRaw("\tchain length = (%s) ", ui.lbuff.c_str());
  if (ui.lbuff == "3") get_line(ui.lbuff);
  int64_t length = 3;
  for (;;) {
    NumberError e = ui.lbuff.empty() ? NumberError::None : ReadNumber(ui.lbuff, length);
    if (ui.lbuff.empty()) length = 3;
    if (e == NumberError::NotANumber || e == NumberError::NotWhole) {
      printRaw("Invalid number ; chain length = (3) ");
    } else if (e == NumberError::None && length < 3) {
      printRaw("Too small value ; chain length = (3) ");
    } else if (e == NumberError::TooLarge || length > MAX_CHAIN_LENGTH) {
      fprintRaw("Too large value (at most %d) ; chain length = (3) ", MAX_CHAIN_LENGTH);
    } else {
      break;
    }
    get_line(ui.lbuff);
  }
  ui.lbuff = std::to_string(length);
  job.len3plus = static_cast<int>(length);
}

bool checkJobFits() {
  const bool fixedK = isFixedKMode(job._mode);
  if (fixedK && job.MaxNum > INT32_MAX) {
    fprintRaw("The high limit of n must be at most 2147483647: a sieve file holds n as a 32-bit number.\n");
    return false;
  }
  if (!fixedK && job.MaxNum > MAX_CANDIDATE_K) {
    fprintRaw("The high limit %" PRId64 " is above the largest k this sieve handles (%" PRId64 " = 2^62).\n",
              job.MaxNum, MAX_CANDIDATE_K);
    return false;
  }
  if (job.MaxNum - job.MinNum >= MAX_RANGE_VALUES) {
    fprintRaw("The range holds %" PRId64 " values; one file holds at most %" PRId64
              ": split the range into several files.\n",
              job.MaxNum - job.MinNum + 1, MAX_RANGE_VALUES);
    return false;
  }
  if (WritesNPlusOne(job._mode, job._base) && job._nvalue == INT32_MAX) {
    printRaw("n must be at most 2147483646 for this type: its files hold n + 1.\n");
    return false;
  }
  return true;
}

bool checkSeriesLimit() {
  if (job.MaxN == 0 || job._nvalue <= static_cast<int64_t>(job.MaxN)) return true;
  char letter = isFixedKMode(job._mode) ? 'k' : 'n';
  fprintRaw("The series cannot start: %c = %d is already above the limit %c = %u.\n", letter, job._nvalue, letter,
            job.MaxN);
  return false;
}

void askFermatDivisor() {
  if (ui.Ready || job.fAutoIncrement || job._base != 2 || job._mode != 0x101) return;
  if (job._nvalue != 3 && job._nvalue != 9) return;
  fprintRaw("You are sieving %d.2^n+1. Are you looking for a divisor of a Fermat number? \r\n(If you are then I will "
            "ignore even values of n, as these can never divide a Fermat number by Morehead's Theorem)",
            job._nvalue);
  if (askYesNo('n')) job._mode |= MODE_ODD_N;
}

bool handleExistingOutputFile() {
  FILE* f = std::fopen(job.outbuff.c_str(), "r");
  if (!f) return true;
  std::fclose(f);
  if (job.fDoingAutoIncrement) return true;
  if (ui.Ready || (job.TwoSaveFiles && ui.DSM_DSMYNC)) {
    if (job.TwoSaveFiles) backUpOutputFile();
    return true;
  }
  if (!job.TwoSaveFiles) {
    fprintRaw("The output file %s already exists - continue?", job.outbuff.c_str());
    return askYesNo('y');
  }
  fprintRaw("The output file %s already exists.\nShall I save its contents to %s~ ?\n", job.outbuff.c_str(),
            job.outbuff.c_str());
  int response = ChooseString(Responses, 3, 0);
  printRaw("Don't show me this again, aways save it ? ");
  ui.DSM_DSMYNC = askYesNo('y');
  if (response == 2) return false;
  if (response == 0) backUpOutputFile();
  return true;
}

bool testOutputFile() {
  // An existing file is opened for appending, which neither truncates nor deletes it, so a
  // file continued in place survives until the file run saves it. A new name is created
  // and removed again.
  bool existed = fileExists(job.outbuff);
  FILE* f = std::fopen(job.outbuff.c_str(), existed ? "a" : "w");
  if (f) {
    std::fclose(f);
    if (!existed) std::remove(job.outbuff.c_str());
    return true;
  }
  printRaw("The output file could not be opened.\n");
  return false;
}
