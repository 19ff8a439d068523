// The progress line of the fixed-k sieves, in the sieve loop's wording.
#include "fixedk/progress.h"

#include <cinttypes>
#include <cstdio>

#include "common/print.h"

void (*RunProgress)(int64_t p) = ProgressLine;

std::string SievedUpTo(int64_t p) {
  char text[96];
  if (p <= 999999) {
    std::snprintf(text, sizeof text, "Sieved up to %" PRId64, p);
    return text;
  }
  double value = p / 1e6;
  const char* unit = "million";
  if (p > 1000000000) value = p / 1e9, unit = "billion";
  if (p > 1000000000000) value = p / 1e12, unit = "trillion";
  std::snprintf(text, sizeof text, "Sieved up to %" PRId64 " (%.1f %s)", p, value - 0.05, unit);
  return text;
}

void ProgressLine(int64_t p) { print(("#s" + SievedUpTo(p)).c_str()); }
