// Releasing the candidate set before it is rebuilt.
#include "fixedn/candidate_set.h"

#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/hash_store.h"

void FreeCandidateSet() {
  FreeBitmap();
  FreeArray();
  DeleteHash();
}
