// The one home of the per-run function slots and of the services table.
#include "fixedn/sieve_slots.h"

WorkProcedure workprocedure = nullptr;
RemoveProcedure RemoveRoutine = nullptr;
thread_local constinit ClearProcedure ClearRoutine = nullptr;
void (*workflush)() = nullptr;
RemovalServices removal;
