// The progress line the fixed-k sieves print at their report points.
#pragma once
#include <cstdint>

// "#sSieved up to %qi", with the value in millions, billions or trillions (one decimal cut
// off, not rounded) once p passes 999999.
void ProgressLine(int64_t p);
