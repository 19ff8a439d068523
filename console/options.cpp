// Command-line options: each sets a preset answer or a job setting; values that fail their
// test are ignored silently and the option keeps its effect without a value.
#include "console/options.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/front_end.h"
#include "console/help_texts.h"
#include "console/prompts.h"
#include "common/number_reader.h"
#include "common/print.h"
#include "engine/sieve_job.h"

namespace {
constexpr int64_t DEFAULT_BITMAP_BITS = 400000000;  // 47.7 Mb
constexpr double MAX_BITMAP_BITS = 4068474880.0;    // 485.0 Mb

// Values refused while the options were read. A refused answer field stays empty (the
// dialogue asks for it) but still counts as given when deciding full command-line mode,
// which then ends with status 1 instead of running a job the user did not ask for.
struct Refusals {
  bool any = false;
  bool tbuff = false, lbuff = false, bbuff = false, nbuff = false, kminbuff = false, kmaxbuff = false;
} refused;

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The text after "=" when `rest` starts with '=', else nullptr.
const char* valueAfterEquals(const char* rest) { return rest[0] == '=' ? rest + 1 : nullptr; }

void setField(std::string& field, const char* value, size_t limit = TEXT_FIELD_MAX) {
  field.assign(value, strnlen(value, limit));
}

// The option as typed, up to its '=' (to name it in messages).
std::string optionName(const char* arg) {
  const char* eq = std::strchr(arg, '=');
  return eq ? std::string(arg, static_cast<size_t>(eq - arg)) : std::string(arg);
}

void refuse(const char* arg, std::string_view text, NumberError error) {
  print(NumberRefusal(optionName(arg), text, error).c_str());
  refused.any = true;
}

// One line saying that a value was replaced, beside the value given.
void replaced(const char* arg, const char* why, int64_t used) {
  fprint("%s : %s; %" PRId64 " is used.", arg, why, used);
}

// A whole number after '='; false (after the message) when there is none or it is refused.
bool numberValue(const char* arg, const char* rest, int64_t& value) {
  const char* v = valueAfterEquals(rest);
  if (!v) return false;
  NumberError e = ReadNumber(v, value);
  if (e == NumberError::None) return true;
  refuse(arg, v, e);
  return false;
}

// An answer field from "=VALUE" read as a number and kept in plain decimal; a refused value
// leaves the field empty so that the dialogue asks for it.
void numberField(const char* arg, const char* value, std::string& field, bool& refusedFlag) {
  int64_t v;
  NumberError e = ReadNumber(value, v);
  if (e == NumberError::None) {
    field = std::to_string(v);
    refusedFlag = false;
    return;
  }
  refuse(arg, value, e);
  field.clear();
  refusedFlag = true;
}

// The fixed value of -k=: a number, or a product of numbers joined by '*'.
void fixedValueField(const char* arg, const char* value) {
  std::string text = value;
  std::string normal;
  size_t start = 0;
  for (;;) {
    size_t star = text.find('*', start);
    std::string piece = text.substr(start, star == std::string::npos ? std::string::npos : star - start);
    int64_t v;
    NumberError e = ReadNumber(piece, v);
    if (e != NumberError::None) {
      refuse(arg, star == std::string::npos && start == 0 ? text : piece, e);
      ui.nbuff.clear();
      refused.nbuff = true;
      return;
    }
    normal += std::to_string(v);
    if (star == std::string::npos) break;
    normal += '*';
    start = star + 1;
  }
  setField(ui.nbuff, normal.c_str());
  refused.nbuff = false;
}

// arg is "-os..." with at least three characters.
void stopOption(const char* arg) {
  const char* rest = arg[3] ? arg + 4 : arg + 3;
  int64_t value = 0;
  const char which = lower(arg[3]);
  // Only the numeric stop settings read their value as a number.
  const bool numeric = which == 'p' || which == 'u' || which == 'f' || which == 'w' || which == 'n' || which == 'k';
  const bool given = numeric && numberValue(arg, rest, value);
  switch (which) {
    case 'p':
      job.StopCriterion = STOP_AT_P;
      job.StopValue = given ? value : 1000;
      if (job.StopValue < 1000) {
        job.StopValue = 1000;
        replaced(arg, "p must be at least 1000", 1000);
      }
      break;
    case 'u':
      job.StopCriterion = STOP_AT_COUNT;
      job.StopValue = given ? value : 1000;
      if (job.StopValue <= 0) {
        job.StopValue = 1000;
        replaced(arg, "the count must be at least 1", 1000);
      }
      break;
    case 'f':
      job.StopCriterion = STOP_AFTER_HOURS;
      job.StopValue = given ? value : 24;
      if (job.StopValue <= 0) {
        job.StopValue = 24;
        replaced(arg, "the hours must be at least 1", 24);
      } else if (job.StopValue > MAX_STOP_HOURS) {
        job.StopValue = MAX_STOP_HOURS;
        replaced(arg, "the hours are at most 1000000", MAX_STOP_HOURS);
      }
      break;
    case 'r': {
      job.StopCriterion = STOP_AT_RATE;
      job.StopValue = 1;
      const char* v = valueAfterEquals(rest);
      if (!v) break;
      double rate = 0;
      NumberError e = ReadReal(v, rate);
      if (e != NumberError::None) {
        refuse(arg, v, e);
        break;
      }
      job.StopValue = RateStopValue(rate);
      if (!(rate * 10 >= 1)) replaced(arg, "the rate must be at least 0.1 seconds (1 tenth)", job.StopValue);
      else if (job.StopValue < std::trunc(rate * 10)) replaced(arg, "the rate is too large", job.StopValue);
      break;
    }
    case 'w':
      job.fAutoIncrement = true;
      job.AutoIncrementAmount = 1;
      if (given) {
        if (value < 1) replaced(arg, "the step must be at least 1", 1);
        else if (value > INT_MAX) replaced(arg, "the step is at most 2147483647", INT_MAX);
        job.AutoIncrementAmount = value < 1 ? 1 : static_cast<int>(std::min<int64_t>(value, INT_MAX));
      }
      break;
    case 'n':
    case 'k':
      job.MaxN = 1;
      if (given) {
        if (value < 1) replaced(arg, "the limit must be at least 1", 1);
        else if (value > UINT32_MAX) replaced(arg, "the limit is at most 4294967295", UINT32_MAX);
        job.MaxN = value < 1 ? 1 : static_cast<uint32_t>(std::min<int64_t>(value, UINT32_MAX));
      }
      break;
    case 'g':
      if (job.fAutoIncrement) {
        job.fOrdax = false;
      } else {
        job.fOrdax = true;
        const char* v = valueAfterEquals(rest);
        setField(job.OrdaxParameters, v ? v : "", ORDAX_PARAMETERS_MAX);
      }
      break;
    default:
      job.StopCriterion = STOP_NONE;
      job.fAutoIncrement = false;
      job.fOrdax = false;
      job.MaxN = 0;
  }
}

// -ob=REAL in Mb: the bitmap capacity in bits, within the allowed range or the default.
void bitmapOption(const char* arg, const char* rest) {
  job.BitMapThreshold = DEFAULT_BITMAP_BITS;
  const char* v = valueAfterEquals(rest);
  if (!v) return;
  double megabytes = 0;
  NumberError e = ReadReal(v, megabytes);
  if (e != NumberError::None) {
    refuse(arg, v, e);
    return;
  }
  double bits = std::trunc(megabytes * 1024 * 1024 * 8);
  if (megabytes == 0.0) {
    replaced(arg, "a size of 0 asks for the default", DEFAULT_BITMAP_BITS);
  } else if (!(bits >= 0.0 && bits <= MAX_BITMAP_BITS)) {
    replaced(arg, "the size must be from 0 to 485.0 Mb; the default bitmap size (in bits)", DEFAULT_BITMAP_BITS);
  } else if (bits < MIN_BITMAP_BITS) {
    job.BitMapThreshold = MIN_BITMAP_BITS;
    replaced(arg, "the bitmap must hold at least 512 values; its size (in bits)", MIN_BITMAP_BITS);
  } else {
    job.BitMapThreshold = static_cast<int64_t>(bits);
  }
}

// -ot[=n]: sieving threads; 0 or no value means every online processor.
void threadsOption(const char* arg, const char* rest) {
  job.Threads = 0;
  int64_t n;
  if (!numberValue(arg, rest, n)) return;
  if (n < 0) {
    replaced(arg, "0 asks for every processor", 0);
  } else if (n > MAX_THREADS) {
    replaced(arg, "at most 256 sieving threads", MAX_THREADS);
    job.Threads = MAX_THREADS;
  } else {
    job.Threads = static_cast<unsigned>(n);
  }
}

// One -o setting; returns true for -ou.
bool settingOption(const char* arg) {
  const char* rest = arg[2] ? arg + 3 : arg + 2;
  switch (lower(arg[2])) {
    case 'w':
      ui.WorkerThreadPriority = lower(arg[3]) == 'n' ? 0 : 20;
      break;
    case 'a':
      ui.fAutoStartRequired = true;
      break;
    case 'b':
      bitmapOption(arg, rest);
      break;
    case 'm': {
      int64_t minutes;
      if (numberValue(arg, rest, minutes)) {
        if (minutes > MAX_SAVE_MINUTES) replaced(arg, "the minutes are at most 1000000", MAX_SAVE_MINUTES);
        job.WriteIterations = static_cast<unsigned>(std::min<int64_t>(minutes, MAX_SAVE_MINUTES));
        if (minutes == 0) replaced(arg, "the minutes must be at least 1", 30);
      }
      if (job.WriteIterations == 0) job.WriteIterations = 30;
      break;
    }
    case 'l':
      job.LogDeleted = true;
      ui.LogDefault = 'y';
      break;
    case 'u':
      job.TwoSaveFiles = true;
      return true;
    case 's':
      stopOption(arg);
      break;
    case 't':
      threadsOption(arg, rest);
      break;
    default:
      break;
  }
  return false;
}

void helpOption(char which) {
  printRaw("\n");
  switch (lower(which)) {
    case 'a': printAbout(); break;
    case 'c': printContents(); break;
    case 'w': printWhatsNew(); break;
    case 't': printTypes(); break;
    case 'o': printOptions(); break;
    default: printUsage();
  }
}

// -kmin=/-kmax= (and -nmin=/-nmax=): a -k or -n not followed by '='.
void limitOption(const char* arg, const char* rest) {
  if (std::strncmp(rest, "min=", 4) == 0) numberField(arg, rest + 4, ui.kminbuff, refused.kminbuff);
  else if (std::strncmp(rest, "max=", 4) == 0) numberField(arg, rest + 4, ui.kmaxbuff, refused.kmaxbuff);
}

bool givenOrRefused(const std::string& field, bool refusedFlag) { return !field.empty() || refusedFlag; }
}  // namespace

bool ProcessOptions(int argc, char** argv) {
  refused = Refusals{};
  bool twoSaveFilesGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') break;
    char letter = lower(arg[1]);
    const char* rest = letter ? arg + 2 : arg + 1;
    switch (letter) {
      case 'c':
        ui.fGenerateFile = false;
        job.State = STATE_STOPPED;
        if (const char* v = valueAfterEquals(arg[2] ? arg + 3 : arg + 2)) {
          char which = lower(arg[2]);
          if (which == 'i') setField(job.inbuff, v);
          else if (which == 'p' || which == 'o') setField(job.outbuff, v);
        }
        break;
      case 'w':
        ui.fGenerateFile = true;
        job.State = STATE_STOPPED;
        if (const char* v = valueAfterEquals(arg[2] ? arg + 3 : arg + 2)) {
          char which = lower(arg[2]);
          if (which == 'p' || which == 'o') setField(job.outbuff, v);
        }
        break;
      case 't':
        ui.tbuff = "0";
        refused.tbuff = false;
        if (const char* v = valueAfterEquals(rest)) numberField(arg, v, ui.tbuff, refused.tbuff);
        break;
      case 'l':
        if (const char* v = valueAfterEquals(rest)) {
          numberField(arg, v, ui.lbuff, refused.lbuff);
          if (refused.lbuff) ui.lbuff = "3";  // the dialogue asks again from the reset value
        }
        break;
      case 'b':
        ui.bbuff = "2";
        refused.bbuff = false;
        if (std::strncmp(rest, "ase=", 4) == 0) numberField(arg, rest + 4, ui.bbuff, refused.bbuff);
        break;
      case 'n':
        if (rest[0] == '=') numberField(arg, rest + 1, ui.nbuff, refused.nbuff);
        else limitOption(arg, rest);
        break;
      case 'k':
        if (rest[0] == '=') fixedValueField(arg, rest + 1);
        else limitOption(arg, rest);
        break;
      case 'e':
        job.IncludeEvenKs = true;
        break;
      case 'z':
        job.GeneralizedChains = true;
        break;
      case 'u':
        job.PrimorialMode = true;
        ui.primorialdefault = 'y';
        break;
      case 'v':
        job.fVerify = true;
        ui.verifydefault = 'y';
        break;
      case 'o':
        if (settingOption(arg)) twoSaveFilesGiven = true;
        break;
      case 'h':
      case '?':
        helpOption(arg[2]);
        break;
      default:
        // The whole argument beside the rest, so that "-x", "-" and "--" are named too.
        fprintRaw("%s : Invalid option (%s)\n", rest, arg);
        refused.any = true;
        printUsage();
    }
  }
  return twoSaveFilesGiven;
}

bool isReadyToStart() {
  if (ui.fAutoStart) {
    if (FILE* f = std::fopen(ui.AutoRunFile.c_str(), "r")) {
      std::fclose(f);
      job.inbuff = ui.AutoRunFile;
      job.outbuff = ui.AutoRunFile;
      ui.fGenerateFile = false;
      job.State = STATE_STOPPED;
    } else {
      printRaw("The sieve could not continue sieving the previous file!\n");
    }
  }
  bool ready;
  if (ui.fGenerateFile)
    ready = !job.outbuff.empty() && givenOrRefused(ui.tbuff, refused.tbuff) &&
            givenOrRefused(ui.bbuff, refused.bbuff) && givenOrRefused(ui.nbuff, refused.nbuff) &&
            givenOrRefused(ui.kminbuff, refused.kminbuff) && givenOrRefused(ui.kmaxbuff, refused.kmaxbuff);
  else
    ready = !job.inbuff.empty() && !job.outbuff.empty();
  if (ready && refused.any) {
    // No question can be asked: end before anything is written.
    printRaw("The command line holds values that cannot be used (see above): nothing was done.\n");
    throw ProgramExit{EXIT_INVALID_JOB};
  }
  return ready;
}
