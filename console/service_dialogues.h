// The three services as the services menu runs them: the questions, then the file work.
#pragma once

// Duplicate a sieve file so that several machines can sieve different ranges of p.
void FrmSplit();
// Merge the copies sieved on several machines (the directory answer is kept for the session).
void frmMerge();
// Split a sieved file among machines of different speeds for primality testing.
void frmTestSplit();
// What a sieve file holds: its form, depth, values, size and the primes to expect.
void frmInfo();
