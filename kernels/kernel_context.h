// Kernel context: the implicit inputs of the arithmetic kernels, filled by the sieve
// loop before the first prime and fixed for the run (the base inverse excepted). One per
// thread: threads that compute strikes copy the run's context and keep their own base inverse.
#pragma once
#include <cstdint>

struct KernelContext {
  uint32_t _base = 2;        // base b of the numbers sieved
  int32_t _nvalue = 0;       // exponent n the finders raise to
  uint32_t _firstbit32 = 0;  // the bit just below the leading bit of the exponent bound; 0 for 1
  int64_t _baseinverse = 0;  // last result of GetBaseInverse (0 after a failed check)
};

extern thread_local constinit KernelContext kernel;

// Fills this thread's context for numbers of base `base` raised to `nvalue`, whose finders
// power to exponents up to `exponentBound` (n for fixed-n forms, the largest n for fixed-k).
// The one way the loop and the benchmarks set it up; the base inverse stays per prime.
void FillKernelContext(uint32_t base, int32_t nvalue, uint32_t exponentBound);
