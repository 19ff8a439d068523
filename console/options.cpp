// Command-line options: each sets a preset answer or a job setting; values that fail their
// test are ignored silently and the option keeps its effect without a value.
#include "console/options.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/front_end.h"
#include "console/help_texts.h"
#include "console/prompts.h"
#include "engine/print.h"
#include "engine/sieve_job.h"

namespace {
constexpr int64_t DEFAULT_BITMAP_BITS = 400000000;  // 47.7 Mb
constexpr double MAX_BITMAP_BITS = 4068474880.0;    // 485.0 Mb

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The text after "=" when `rest` starts with '=', else nullptr.
const char* valueAfterEquals(const char* rest) { return rest[0] == '=' ? rest + 1 : nullptr; }

void setField(std::string& field, const char* value, size_t limit = TEXT_FIELD_MAX) {
  field.assign(value, strnlen(value, limit));
}

// "=DIGITS" gives the digits; anything else gives nullptr.
const char* digitsAfterEquals(const char* rest) {
  const char* v = valueAfterEquals(rest);
  return (v && isDigitString(v)) ? v : nullptr;
}

int64_t clampedDecimal(const char* digits, int64_t max) {
  unsigned long long v = std::strtoull(digits, nullptr, 10);
  return v > static_cast<unsigned long long>(max) ? max : static_cast<int64_t>(v);
}

// arg is "-os..." with at least three characters.
void stopOption(const char* arg) {
  const char* rest = arg[3] ? arg + 4 : arg + 3;
  const char* digits = digitsAfterEquals(rest);
  switch (lower(arg[3])) {
    case 'p':
      job.StopCriterion = STOP_AT_P;
      job.StopValue = digits ? _atoi64(digits) : 1000;
      if (job.StopValue < 1000) job.StopValue = 1000;
      break;
    case 'u':
      job.StopCriterion = STOP_AT_COUNT;
      job.StopValue = digits ? _atoi64(digits) : 1000;
      if (job.StopValue <= 0) job.StopValue = 1000;
      break;
    case 'f':
      job.StopCriterion = STOP_AFTER_HOURS;
      job.StopValue = digits ? _atoi64(digits) : 24;
      if (job.StopValue <= 0) job.StopValue = 24;
      break;
    case 'r': {
      job.StopCriterion = STOP_AT_RATE;
      const char* v = valueAfterEquals(rest);
      double rate = v ? std::atof(v) : 0.0;
      job.StopValue = std::isfinite(rate) ? RateStopValue(rate) : 1;
      break;
    }
    case 'w':
      job.fAutoIncrement = true;
      job.AutoIncrementAmount = digits ? static_cast<int>(clampedDecimal(digits, INT_MAX)) : 1;
      if (job.AutoIncrementAmount < 1) job.AutoIncrementAmount = 1;
      break;
    case 'n':
    case 'k':
      job.MaxN = digits ? static_cast<uint32_t>(clampedDecimal(digits, UINT32_MAX)) : 1;
      if (job.MaxN == 0) job.MaxN = 1;
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
    case 'b': {
      const char* v = valueAfterEquals(rest);
      double megabytes = v ? std::atof(v) : 0.0;
      double bits = std::trunc(megabytes * 1024 * 1024 * 8);
      bool valid = megabytes != 0.0 && std::isfinite(bits) && bits >= 0.0 && bits <= MAX_BITMAP_BITS;
      job.BitMapThreshold = valid ? static_cast<int64_t>(bits) : DEFAULT_BITMAP_BITS;
      break;
    }
    case 'm':
      if (const char* digits = digitsAfterEquals(rest))
        job.WriteIterations = static_cast<unsigned>(clampedDecimal(digits, UINT_MAX));
      if (job.WriteIterations == 0) job.WriteIterations = 30;
      break;
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
void limitOption(const char* rest) {
  if (std::strncmp(rest, "min=", 4) == 0) {
    if (isDigitString(rest + 4)) setField(ui.kminbuff, rest + 4);
  } else if (std::strncmp(rest, "max=", 4) == 0) {
    if (isDigitString(rest + 4)) setField(ui.kmaxbuff, rest + 4);
  }
}
}  // namespace

bool ProcessOptions(int argc, char** argv) {
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
        if (const char* digits = digitsAfterEquals(rest)) setField(ui.tbuff, digits);
        break;
      case 'l':
        if (const char* digits = digitsAfterEquals(rest)) setField(ui.lbuff, digits);
        break;
      case 'b':
        ui.bbuff = "2";
        if (std::strncmp(rest, "ase=", 4) == 0 && isDigitString(rest + 4)) setField(ui.bbuff, rest + 4);
        break;
      case 'n':
        if (rest[0] == '=') {
          if (isDigitString(rest + 1)) setField(ui.nbuff, rest + 1);
        } else {
          limitOption(rest);
        }
        break;
      case 'k':
        if (rest[0] == '=') {
          if (isDigitStringorExpression(rest + 1)) setField(ui.nbuff, rest + 1);
        } else {
          limitOption(rest);
        }
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
        fprintRaw("%s : Invalid option\n", rest);
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
  if (ui.fGenerateFile)
    return !job.outbuff.empty() && !ui.tbuff.empty() && !ui.bbuff.empty() && !ui.nbuff.empty() &&
           !ui.kminbuff.empty() && !ui.kmaxbuff.empty();
  return !job.inbuff.empty() && !job.outbuff.empty();
}
