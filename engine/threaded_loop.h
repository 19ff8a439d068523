// The sieve loop's walk on several threads: worker threads compute what each prime strikes
// (the pure per-prime work of fixedn/strikes.h and fixedk/ksearch.h) chunk by chunk, while the thread that
// runs the loop draws the primes and applies the classes in prime order, grouped exactly as
// the single-threaded work procedures group them. Files, logs, reports and stop points are
// therefore those of one thread.
#pragma once

#include "engine/loop_points.h"

// Sieving threads of the next run: the job's setting, or every online processor when 0.
unsigned ThreadsForRun();

// The prime above which the workers take the walk over (RunThreadedLoop after the loop's own
// thread has walked to it): below it primes strike so densely that the loop's thread would
// spend as long walking what the workers computed as computing it. job.firstp when the run
// is sparse from its start; job.maxp when it never gets sparse.
int64_t ThreadedFrom();

// Walks the run from the prime source's next prime to its end with `threads` computing
// threads. Returns false, having drawn no prime, when the run's work is not a per-prime
// function of the kinds it mirrors (procedures installed by tests) or no thread could be
// started; the caller then walks on its own thread.
bool RunThreadedLoop(LoopPoints& points, unsigned threads);

// Lets the base-2 fixed-k sieve walk on the run's sieving threads (when there is more than
// one): the baby-step giant-step searches run on the workers, the strikes are applied on the
// calling thread in prime order.
void InstallThreadedKWalk();
