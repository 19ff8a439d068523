// The sieve job: the one process-wide record of the running sieve and the fields derived
// from its form. The form vocabulary itself (mode bits, type tables) is in sieve_forms.h.
#pragma once
#include <atomic>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/sieve_forms.h"

enum : int { STATE_STOPPED = 0, STATE_PREPARING = 1, STATE_SIEVING = 2, STATE_INTERRUPTED = 4 };
// The run state: written by the interrupt handler and by whichever thread applies removals,
// read by every thread. Lock-free and relaxed: a flag that is looked at again and again.
class StateFlag {
 public:
  StateFlag(int s = STATE_INTERRUPTED) : v_(s) {}
  StateFlag(const StateFlag& o) : v_(o.load()) {}
  StateFlag& operator=(const StateFlag& o) {
    store(o.load());
    return *this;
  }
  StateFlag& operator=(int s) {
    store(s);
    return *this;
  }
  operator int() const { return load(); }

 private:
  int load() const { return v_.load(std::memory_order_relaxed); }
  void store(int s) { v_.store(s, std::memory_order_relaxed); }
  std::atomic<int> v_;
};
static_assert(std::atomic<int>::is_always_lock_free, "the interrupt handler writes the state");

enum : int { STOP_NONE = 0, STOP_AT_P = 1, STOP_AFTER_HOURS = 2, STOP_AT_RATE = 3, STOP_AT_COUNT = 4 };

constexpr int MAX_MY_PRIMORIAL = 1000;
// The longest chain the sieve and the file reader accept (types 10 to 12).
constexpr int MAX_CHAIN_LENGTH = 10000;
// The hours criterion's largest value (over a century), so that hours·3600 never overflows.
constexpr int64_t MAX_STOP_HOURS = 1000000;
// Most sieving threads a run starts (-ot, the settings file, the options menu).
constexpr unsigned MAX_THREADS = 256;
// Text answers keep at most this many characters (a 1024-character field with its terminator).
constexpr size_t TEXT_FIELD_MAX = 1023;
constexpr size_t ORDAX_PARAMETERS_MAX = 127;

struct SieveJob {
  // What is sieved.
  uint32_t _base = 2;
  int32_t _nvalue = 0;
  uint32_t _mode = 0;
  int tcode = 0;
  int len3plus = 1;
  char modechar = 'P';
  char k_n = 'k';
  int64_t MinNum = 0;
  int64_t MaxNum = 0;
  bool PrimorialMode = false;
  bool GeneralizedChains = false;
  bool IncludeEvenKs = false;
  bool fMyPrimorial = false;
  uint32_t nMyPrimorial = 0;
  int64_t MyPrimorial[MAX_MY_PRIMORIAL] = {};
  std::string kExpression;

  // How far it has got.
  int64_t firstp = 1;
  int64_t maxp = 0;
  int64_t sievelimit = 0;
  bool allprimes = false;
  bool tiny = false;
  int maxtiny = 0;
  int64_t base_power_n = 0;
  int64_t k_base_power_n = 0;
  int64_t tinyPrimorial = 0;
  double LogPrimorial = 0.0;
  uint32_t _nvalsleft = 0;
  uint32_t nvals = 0;
  bool AllRemoved = false;
  // Written by the interrupt handler, read by the loop at every check.
  StateFlag State = STATE_INTERRUPTED;
  bool fAppend = false;
  // The last save was given up (interrupted while it could not be written): the file on disk
  // is the previous complete one.
  bool SaveFailed = false;

  // How it ends and how it is stored.
  int StopCriterion = STOP_NONE;
  int64_t StopValue = 0;
  time_t StopTime = 0;
  bool fAutoIncrement = false;
  int AutoIncrementAmount = 1;
  bool fDoingAutoIncrement = false;
  uint32_t MaxN = 0;
  bool fUseBitMap = false;
  bool fUseHash = false;
  int64_t BitMapThreshold = 400000000;
  bool fIncIsTwo = false;
  unsigned WriteIterations = 30;
  bool TwoSaveFiles = false;
  bool fVerify = false;
  bool LogDeleted = false;
  bool fOrdax = false;
  std::string OrdaxParameters;
  std::string outbuff;
  std::string inbuff;
  std::string origfilename;
  bool fCMOV = false;
  bool fSSE2 = false;
  double MArate = 0.0;
  // Sieving threads; 0, the default, = every online processor.
  unsigned Threads = 0;
};

// The one sieve job of the process.
extern SieveJob job;

// Counts every SIGINT and SIGTERM from start-up on, in every state, so that phases the
// handler's `State` rule does not cover (reading a file, waiting on a failed save) see them.
extern volatile std::sig_atomic_t InterruptRequests;

// Menu text of the job's current type (primorial, normal or generalized list).
const char* CurrentTypeText();
// fIncIsTwo, k_n, modechar and len3plus from `_mode` and `_base`.
void SetDerivedFields();
// Largest small-table prime not above n, or 0 when there is none (n < 3 or n past the table).
int LargestTablePrimeNotAbove(int64_t n);
// The primorial index rule: replace n by the largest table prime not above it and say so,
// or refuse it with the program's message. Returns false when refused.
bool ApplyPrimorialIndex(int64_t entered, bool primoProth, int32_t& index);
