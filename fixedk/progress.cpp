// The progress line of the fixed-k sieves, in the sieve loop's wording.
#include "fixedk/progress.h"

#include <cinttypes>

#include "engine/print.h"

void ProgressLine(int64_t p) {
  if (p <= 999999) {
    fprint("#sSieved up to %" PRId64, p);
    return;
  }
  double value = p / 1e6;
  const char* unit = "million";
  if (p > 1000000000) value = p / 1e9, unit = "billion";
  if (p > 1000000000000) value = p / 1e12, unit = "trillion";
  fprint("#sSieved up to %" PRId64 " (%.1f %s)", p, value - 0.05, unit);
}
