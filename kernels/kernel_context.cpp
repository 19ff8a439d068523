// The one kernel context of the process.
#include "kernels/kernel_context.h"

KernelContext kernel;
