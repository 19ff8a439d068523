// Merging the copies of a sieve file that several machines sieved over different ranges of p.
#pragma once
#include <string>

// The directory answer of the merge service. It survives the reset after each service, so
// a later merge in the same session uses it again without asking.
extern std::string Directory;

// Merges every regular file of directory into "Merged.mrv" in the same directory: the
// values present in all of them, under the largest header p. Prints the result or the
// refusal; true when the merged file was written. A failure never leaves a "Merged.mrv"
// behind that this call created.
bool MergeDirectory(const std::string& directory);
