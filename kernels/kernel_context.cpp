// The one kernel context of the process.
#include "kernels/kernel_context.h"

thread_local constinit KernelContext kernel;
