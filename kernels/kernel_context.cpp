// The one kernel context of the process.
#include "kernels/kernel_context.h"

#include "kernels/montgomery.h"

thread_local constinit KernelContext kernel;

void FillKernelContext(uint32_t base, int32_t nvalue, uint32_t exponentBound) {
  kernel._base = base;
  kernel._nvalue = nvalue;
  kernel._firstbit32 = firstBitBelowLeading(exponentBound);
}
