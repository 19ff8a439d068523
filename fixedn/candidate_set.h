// The candidate set as a whole: whichever of the three stores is in use.
#pragma once

// Frees the bitmap, the array and the hash store; every rebuild of the set starts here.
void FreeCandidateSet();
