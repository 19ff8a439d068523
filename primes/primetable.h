// The table of the first 24000 odd primes (3 .. 274579), built once at start-up.
#pragma once
#include <cstdint>

constexpr int PRIMETABLE_SIZE = 24000;
constexpr uint32_t PRIMETABLE_SENTINEL = 0x7fffffff;

// Entries 0..23999 are the odd primes from 3 on; entry 24000 is the sentinel.
extern uint32_t primetable[PRIMETABLE_SIZE + 1];

void FillPrimetable();
