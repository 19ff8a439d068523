// The short-range fixed-k walk: for a range of at most 2999 values it is cheaper to walk
// k·2^n mod p one n at a time over one period of 2 mod p than to build a table. Below 2^32
// it walks down from MaxNum by halvings, above it up from MinNum by doublings.
#include <cstdint>

#include "engine/sieve_job.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/ksieve.h"
#include "kernels/finders.h"
#include "kernels/modarith.h"

PeriodWalk WalkForward(int64_t kvalue, int64_t p, bool plus, int64_t minNum, int64_t maxNum) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t target = plus ? up - 1 : 1;
  const int64_t width = maxNum - minNum + 1;
  const uint64_t start = static_cast<uint64_t>(fastkbasepownmodp(kvalue, static_cast<uint32_t>(minNum), p));
  PeriodWalk w;
  uint64_t b = start;
  for (int64_t offset = 0; offset < width; ++offset) {
    if (b == target) w.hit = offset;
    b = DoubleMod(b, up);
    if (b == start) {
      w.period = offset + 1;
      return w;
    }
  }
  w.period = width;
  return w;
}

PeriodWalk WalkBackward(int64_t kvalue, int64_t p, bool plus, int64_t minNum, int64_t maxNum) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t target = plus ? up - 1 : 1;
  const uint64_t half = (up + 1) / 2;
  const int64_t width = maxNum - minNum + 1;
  const uint64_t start = findk2pownmodp(static_cast<uint32_t>(kvalue), static_cast<uint32_t>(maxNum), p);
  PeriodWalk w;
  uint64_t b = start;
  for (int64_t j = 0; j < width; ++j) {
    if (b == target) w.hit = width - 1 - j;
    b = (b >> 1) + ((b & 1) ? half : 0);
    if (b == start) {
      w.period = j + 1;
      return w;
    }
  }
  w.period = width;
  return w;
}

PeriodWalk WalkForward(int64_t kvalue, int64_t p, bool plus) {
  return WalkForward(kvalue, p, plus, job.MinNum, job.MaxNum);
}

PeriodWalk WalkBackward(int64_t kvalue, int64_t p, bool plus) {
  return WalkBackward(kvalue, p, plus, job.MinNum, job.MaxNum);
}
