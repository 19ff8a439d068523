// The sieve job record and the rules that derive its fields from `_mode`.
#include "engine/sieve_job.h"

#include "common/print.h"
#include "primes/primetable.h"

SieveJob job;
volatile std::sig_atomic_t InterruptRequests = 0;

const char* CurrentTypeText() {
  int t = TypeFromMode(job._mode);
  if (t < 0) return "";
  if ((job._mode & MODE_PRIMORIAL) && !job.fMyPrimorial) return t < NUM_PRIMORIAL_TYPES ? Ptypes[t] : "";
  if (job._mode & MODE_NOT_GENERALIZED) return NGtypes[t];
  return Gtypes[t];
}

void SetDerivedFields() {
  const uint32_t noIncTwo = MODE_BN_K | MODE_EVEN_K | MODE_FIXED_K | MODE_AP | MODE_PRIMORIAL;
  job.fIncIsTwo = ((job._mode & noIncTwo) == 0 && (job._base == 2 || (job._base & 1))) ||
                  (job._mode & MODE_ODD_N);
  job.k_n = (job._mode & MODE_N_VARIES) ? 'n' : 'k';
  char letter = ModeLetter(job._mode);
  if (letter) job.modechar = letter;
  if (letter == 'Y' || letter == 'Z') job.len3plus = 3;
}

int LargestTablePrimeNotAbove(int64_t n) {
  if (n < 3 || n > primetable[PRIMETABLE_SIZE - 1]) return 0;
  int lo = 0, hi = PRIMETABLE_SIZE - 1;  // largest index with primetable[i] <= n
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (primetable[mid] <= n) lo = mid; else hi = mid - 1;
  }
  return static_cast<int>(primetable[lo]);
}

bool ApplyPrimorialIndex(int64_t entered, bool primoProth, int32_t& index) {
  uint32_t last = primetable[PRIMETABLE_SIZE - 1];
  if (entered > last) {
    fprint("The maximum value for a primorial is %d#.\nWhat are you thinking of? That has got about %d "
           "decimal digits!\n",
           static_cast<int>(last), static_cast<int>(last / 2.302585));
    return false;
  }
  int prime = LargestTablePrimeNotAbove(entered);
  if (prime == 0) return false;  // below 3: no primorial index exists
  index = prime;
  fprint(primoProth ? "Prime value for k = %d\n" : "Prime value for n = %d\n", prime);
  return true;
}
