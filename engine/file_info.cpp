// A look inside a sieve file. The file is read by the sieve's own reader (so a file it refuses
// gets its message), then its lines are walked once: the size of every member number comes
// from logarithms, and the expectations from Mertens' theorem, a survivor of the sieve to P
// being prime with probability about e^γ·ln P / ln N.
#include "engine/file_info.h"

#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "engine/form_members.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "common/print.h"
#include "primes/primetable.h"

namespace {

constexpr double kEulerGamma = 0.5772156649015329;

// ln of the product of the small-table primes up to n, leaving out 5 and 7 where the form's
// +5 and +7 members would make them divide every line.
double logTablePrimorial(int64_t n, bool skip5, bool skip7) {
  double sum = 0;
  for (int i = 0; i < PRIMETABLE_SIZE && primetable[i] <= n; ++i) {
    const uint32_t q = primetable[i];
    if ((q == 5 && skip5) || (q == 7 && skip7)) continue;
    sum += std::log(static_cast<double>(q));
  }
  return sum;
}

// How the numbers of a line are built from its value v (k, or n for fixed-k files).
struct LineShape {
  bool exponentVaries = false;  // fixed k: the base number is K·b^v
  bool progression = false;     // b^n + 2v − 1 (− 1 more for odd bases)
  double logFixed = 0;          // ln K (fixed k), ln b^n or ln n# (fixed n)
  double logBase = 0;
  int64_t fixedAddend = 0;      // b^n ± k: the ±k
  std::vector<MemberShape> members;
};

LineShape shapeOfJob() {
  LineShape s;
  const uint32_t mode = job._mode;
  const bool primorial = (mode & MODE_PRIMORIAL) && !job.fMyPrimorial;
  s.logBase = std::log(static_cast<double>(job._base));
  s.members = MemberShapes(mode, job._base, job.len3plus);
  if (job.fMyPrimorial) {
    for (uint32_t i = 0; i < job.nMyPrimorial; ++i) s.logFixed += std::log(static_cast<double>(job.MyPrimorial[i]));
  } else if (primorial) {
    // The primorial's factor 2 is kept apart by the sieve, except for the Lucky types.
    const bool lucky = IsLuckyMode(mode);
    s.logFixed = logTablePrimorial(job._nvalue, mode & MODE_PLUS5, mode & MODE_PLUS7) + (lucky ? 0 : std::log(2.0));
  }
  if (mode & MODE_BN_K) {
    s.exponentVaries = true;
    s.fixedAddend = (mode & MODE_PLUS) ? job._nvalue : -int64_t{job._nvalue};
    s.members = {{0.0, 0}};
  } else if (mode & MODE_FIXED_K) {
    s.exponentVaries = true;
    if (!job.fMyPrimorial && !primorial) s.logFixed = std::log(static_cast<double>(job._nvalue));
  } else {
    if (!job.fMyPrimorial && !primorial) s.logFixed = job._nvalue * s.logBase;
    s.progression = mode & MODE_AP;
  }
  return s;
}

// ln of c·e^x + a, exact enough whether the number is small or has thousands of digits.
double logNumber(double x, int64_t a) {
  if (x > 60) return x;  // a is far below the last significant digit
  const double value = std::exp(x) + static_cast<double>(a);
  return value > 1 ? std::log(value) : 0;
}

// ln of every member number of the line with value v.
void memberLogs(const LineShape& s, int64_t v, std::vector<double>& out) {
  out.clear();
  if (s.progression) {
    // b^n + 2v − 1 − (b mod 2): one number.
    const double extra = 2.0 * static_cast<double>(v) - 1 - static_cast<double>(job._base % 2);
    const double x = s.logFixed;
    out.push_back(x > 60 ? x : std::log(std::exp(x) + extra));
    return;
  }
  const double base = s.exponentVaries ? s.logFixed + static_cast<double>(v) * s.logBase
                                       : s.logFixed + std::log(static_cast<double>(v));
  if (s.fixedAddend != 0 || s.members.front().addend == 0) {
    out.push_back(logNumber(base, s.fixedAddend));
    return;
  }
  for (const MemberShape& m : s.members) out.push_back(logNumber(base + m.logMultiplier, m.addend));
}

// A value line "a b" (the reader has checked every line already); false for the header.
bool valueLine(const std::string& line, int64_t& a, int64_t& b) {
  const char* s = line.c_str();
  char* end;
  if (line.find(':') != std::string::npos) return false;
  a = std::strtoll(s, &end, 10);
  if (end == s) return false;
  const char* t = end;
  b = std::strtoll(t, &end, 10);
  return end != t;
}

// The same file the reader took: the name, or its "~" backup.
bool openLikeTheReader(const std::string& name, std::ifstream& in) {
  in.open(name, std::ios::binary);
  if (!in) in.open(name + "~", std::ios::binary);
  return static_cast<bool>(in);
}

std::string formWords() {
  const uint32_t mode = job._mode;
  const bool primorial = (mode & MODE_PRIMORIAL) && !job.fMyPrimorial;
  const bool fixedK = mode & MODE_N_VARIES;
  std::string words = CurrentTypeText();
  char text[160];
  if (!primorial) {
    std::snprintf(text, sizeof text, ", base %u", job._base);
    words += text;
  }
  if (fixedK) {
    if (job.fMyPrimorial) words += ", k = " + job.kExpression;
    else if (mode & MODE_PRIMORIAL) words += ", k = " + std::to_string(job._nvalue) + "#";
    else words += ", k = " + std::to_string(job._nvalue);
  } else {
    // As the continue dialogue shows it: the Lucky types are sieved one exponent lower.
    const int n = job._nvalue + (IsLuckyMode(mode) ? 1 : 0);
    words += primorial ? ", n# with n = " + std::to_string(job._nvalue) : ", n = " + std::to_string(n);
  }
  if (job.tcode >= 10 && job.tcode <= 12) words += ", chain length " + std::to_string(job.len3plus);
  if (primorial) words += ", primorial mode";
  if (mode & MODE_EVEN_K) words += ", even k's included";
  if (!primorial && job._base != 2 && job.tcode >= 3 && job.tcode <= 7)
    words += (mode & MODE_NOT_GENERALIZED) ? ", chains not generalized" : ", generalized chains";
  return words;
}

std::string depthWords(double p) {
  char text[96];
  if (p >= 1e12) std::snprintf(text, sizeof text, "%.0f (%.1f trillion)", p, p / 1e12);
  else if (p >= 1e9) std::snprintf(text, sizeof text, "%.0f (%.1f billion)", p, p / 1e9);
  else if (p >= 1e6) std::snprintf(text, sizeof text, "%.0f (%.1f million)", p, p / 1e6);
  else std::snprintf(text, sizeof text, "%.0f", p);
  return text;
}

}  // namespace

double SurvivorPrimeChance(double lnN, double depth) {
  if (depth < 2) return lnN > 0 ? std::min(1.0, 1 / lnN) : 0;  // nothing sieved: the prime density
  const double lnP = std::log(depth);
  // No factor up to P and below P²: prime for certain.
  if (lnN <= 2 * lnP) return 1;
  return std::min(1.0, std::exp(kEulerGamma) * lnP / lnN);
}

bool DescribeSieveFile(const std::string& name, SieveFileSummary* summary) {
  if (primetable[0] != 3) FillPrimetable();
  // The reader's progress messages are not wanted here; its refusals are.
  std::string readerSays;
  std::string* outer = setPrintCapture(&readerSays);
  const bool ok = readinfile(name);
  setPrintCapture(outer);
  if (!ok) {
    fprintRaw("%s: ", name.c_str());
    printRaw(readerSays);
    return false;
  }
  job.tcode = std::max(0, TypeFromMode(job._mode));
  if (job.fMyPrimorial) {
    job.kExpression.clear();
    for (uint32_t i = 0; i < job.nMyPrimorial; ++i) job.kExpression += std::to_string(job.MyPrimorial[i]) + "*";
    if (!job.kExpression.empty()) job.kExpression.pop_back();
  }
  const LineShape shape = shapeOfJob();
  const bool fixedK = job._mode & MODE_N_VARIES;
  const double depth = static_cast<double>(job.firstp);

  SieveFileSummary s;
  s.depth = depth;
  s.members = static_cast<int>(shape.members.size());
  std::ifstream in;
  openLikeTheReader(name, in);
  std::string line;
  std::vector<double> logs;
  double minLog = 0, maxLog = 0;
  int64_t first = 0, last = 0;
  unsigned lines = 0;
  while (std::getline(in, line)) {
    int64_t a, b;
    if (!valueLine(line, a, b)) continue;  // the header
    const int64_t v = fixedK ? b : a;
    memberLogs(shape, v, logs);
    double chance = 1;
    for (double lnN : logs) {
      chance *= SurvivorPrimeChance(lnN, depth);
      if (lines == 0 || lnN < minLog) minLog = lnN;
      if (lines == 0 || lnN > maxLog) maxLog = lnN;
    }
    s.expectedFinds += chance;
    if (lines == 0) first = v;
    last = v;
    ++lines;
  }
  s.values = lines;
  s.minDigits = std::floor(minLog / std::log(10.0)) + 1;
  s.maxDigits = std::floor(maxLog / std::log(10.0)) + 1;
  // Sieving on to 2P, each member survives with probability ln P / ln 2P, and each prime q
  // near 2P strikes about m·V/q of the V lines left.
  const double twice = 2 * std::max(depth, 2.0);
  const double left = lines * std::pow(std::log(twice / 2) / std::log(twice), s.members);
  s.primesPerRemovalAtTwice = left > 0 ? twice / (s.members * left) : 0;

  const char letter = job.k_n;
  fprintRaw("%s\n", name.c_str());
  fprintRaw("  Form         : %s\n", formWords().c_str());
  fprintRaw("  Sieved to    : p = %s\n", depthWords(depth).c_str());
  fprintRaw("  Values       : %u %c's, from %c = %" PRId64 " to %" PRId64 "\n", lines, letter, letter, first, last);
  if (s.minDigits == s.maxDigits) fprintRaw("  Size         : %.0f decimal digits", s.minDigits);
  else fprintRaw("  Size         : %.0f to %.0f decimal digits", s.minDigits, s.maxDigits);
  fprintRaw(s.members > 1 ? " (%d numbers per line)\n" : "\n", s.members);
  fprintRaw("  Expected     : about %.3g %s (a survivor N is prime with probability about e^γ·ln p / ln N)\n",
            s.expectedFinds, s.members > 1 ? "lines with every number prime" : "primes");
  if (s.primesPerRemovalAtTwice > 0)
    fprintRaw("  Sieving on   : at p = %s, about one removal every %.3g primes (%.3g per 10^9 of p); with the "
              "primes per second of the progress line this gives the seconds per removal\n",
              depthWords(twice).c_str(), s.primesPerRemovalAtTwice,
              1e9 / std::log(twice) / s.primesPerRemovalAtTwice);
  if (summary) *summary = s;
  return true;
}
