// The held state of the work procedures, its reset at the start of a run, and the flush
// that applies held primes before every save.
#include "fixedn/work_procedures.h"

#include "engine/sieve_job.h"
#include "primes/soe2.h"

int64_t savep = 0;
int pindex = 0;
std::vector<uint32_t> baseinverses;
int64_t MaxpForWorkProcNotBase2 = 0;

void ResetWorkProcedures() {
  savep = 0;
  pindex = 0;
}

void FlushWorkProcedures() {
  if (!IsPrimorialProcedure(workprocedure)) FlushBase2Held();  // the primorial batches hold nothing
}

int DrawBatch(int64_t* cells, int size, int64_t p) {
  cells[0] = p;
  int count = 1;
  while (count < size && soe2_peek() < job.maxp) cells[count++] = soe2_next();
  for (int i = count; i < size; ++i) cells[i] = cells[count - 1];
  return count;
}
