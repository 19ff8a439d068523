// The progress line the fixed-k sieves print at their report points.
#pragma once
#include <cstdint>
#include <string>

// "Sieved up to %qi", with the value in millions, billions or trillions (one decimal cut
// off, not rounded) once p passes 999999.
std::string SievedUpTo(int64_t p);
// Those words alone, as a status line.
void ProgressLine(int64_t p);
// The report of a run in progress: the engine points it at its progress line with estimates
// for each run (fixed-k sieves sit below the engine); ProgressLine until then.
extern void (*RunProgress)(int64_t p);
