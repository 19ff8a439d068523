// Shared set-up for the store tests: fill any of the stores with a chosen set, read the
// survivors back, and stand-in engine services that record what the routines asked for.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

enum class Store { Bitmap, Array, Hash };

struct ServiceLog {
  std::vector<int64_t> verified;   // k of every Verify call
  std::vector<int64_t> reported;   // value of every ClearReport call
  int saves = 0;                   // outputandtidyvals calls
  int64_t savedP = 0;              // the p of the latest one (the header claims p - 1)
  long sampleTime = -1;            // what LatestSampleTime answers
  uint32_t sampleCount = 0;        // what LatestSampleCount answers
};
extern ServiceLog services;

// Resets the job and the services; installs the recording services.
void ResetForStoreTest(int64_t minNum, int64_t maxNum, uint32_t base, bool incIsTwo);
// Builds the given store holding exactly `values` (ascending, within MinNum..MaxNum).
void FillStore(Store store, const std::vector<int64_t>& values);
// The values still stored, ascending.
std::vector<int64_t> Survivors(Store store);

// The reference: members v >= k' of the class of k after the entry normalisation.
void ReferenceStrike(std::set<int64_t>& set, int64_t k, int64_t p);
