// The run of one sieve file: preparation of the job and its candidate set, then the loop.
#pragma once

// Runs the job: a new file from MinNum..MaxNum (*fGenerateFile true) or the file read by
// readinfile. Returns 0; a run that ends from deep inside leaves by SieveStop.
int SieveFile(bool* fGenerateFile);

// Prints how many decimal digits the numbers sieved have.
void EstimateSize();
