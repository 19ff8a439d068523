// The held state of the work procedures, its reset at the start of a run, and the flush
// that applies held primes before every save.
#include "fixedn/work_procedures.h"

int64_t savep = 0;
int pindex = 0;
std::vector<uint32_t> baseinverses;
int64_t MaxpForWorkProcNotBase2 = 0;

void ResetWorkProcedures() {
  savep = 0;
  pindex = 0;
}

void FlushWorkProcedures() {
  if (IsPrimorialProcedure(workprocedure)) FlushPrimorialHeld();
  else FlushBase2Held();
}
