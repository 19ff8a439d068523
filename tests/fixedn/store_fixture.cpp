// Store fixture: fills and reads the three stores, a plain-loop reference for a strike.
#include "tests/fixedn/store_fixture.h"

#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/clear.h"
#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"

ServiceLog services;

void ResetForStoreTest(int64_t minNum, int64_t maxNum, uint32_t base, bool incIsTwo) {
  initialise();
  FreeCandidateSet();
  job = SieveJob{};
  job.MinNum = minNum;
  job.MaxNum = maxNum;
  job._base = base;
  job.fIncIsTwo = incIsTwo;
  job.State = STATE_SIEVING;
  services = ServiceLog{};
  removal.Verify = [](int64_t k, uint32_t, int64_t) { services.verified.push_back(k); };
  removal.ClearReport = [](long now, int64_t, int64_t v) {
    services.reported.push_back(v);
    services.sampleTime = now;
    services.sampleCount = job._nvalsleft;
  };
  removal.outputandtidyvals = [](int64_t p, const std::string&, bool) {
    ++services.saves;
    services.savedP = p;
  };
  removal.LatestSampleTime = [] { return services.sampleTime; };
  removal.LatestSampleCount = [] { return services.sampleCount; };
  LastNow = time(nullptr);
  nopsthreshold = 10000000;
  nops = 0;
  ResetMultivals();
}

void FillStore(Store store, const std::vector<int64_t>& values) {
  job.fUseBitMap = store == Store::Bitmap;
  job.fUseHash = store == Store::Hash;
  job.nvals = job._nvalsleft = static_cast<uint32_t>(values.size());
  switch (store) {
    case Store::Bitmap:
      range = static_cast<uint32_t>(job.MaxNum - job.MinNum + 1);
      AllocateBitmap(range);
      for (int64_t v : values) SetBit(static_cast<uint32_t>(v - job.MinNum));
      break;
    case Store::Array:
      AllocateArray(static_cast<uint32_t>(values.size()));
      for (size_t i = 0; i < values.size(); ++i) vals[i] = values[i];
      break;
    case Store::Hash:
      CanCreateHash(static_cast<int>(values.size()), 1000000);
      CreateHash(static_cast<int>(values.size()));
      for (int64_t v : values) AddToHash(v);
      break;
  }
}

std::vector<int64_t> Survivors(Store store) {
  std::vector<int64_t> out;
  switch (store) {
    case Store::Bitmap:
      for (int64_t v = job.MinNum; v <= job.MaxNum; ++v)
        if (GetBit(static_cast<uint32_t>(v - job.MinNum))) out.push_back(v);
      break;
    case Store::Array:
      for (uint32_t i = 0; i < job.nvals; ++i)
        if (!IsMarked(vals[i])) out.push_back(vals[i]);
      break;
    case Store::Hash:
      for (int32_t i = FirstNumericValue; i != -1; i = Hash[i].next)
        if (!Hash[i].deleted()) out.push_back(Hash[i].value());
      break;
  }
  return out;
}

void ReferenceStrike(std::set<int64_t>& set, int64_t k, int64_t p) {
  int64_t step = p;
  if (job.fIncIsTwo) {
    step = 2 * p;
    if ((k & 1) == (job._base & 1)) k += p;
  }
  for (auto it = set.begin(); it != set.end();) {
    int64_t v = *it;
    if (v >= k && (v - k) % step == 0) it = set.erase(it); else ++it;
  }
}
