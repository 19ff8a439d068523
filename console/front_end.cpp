// The one instance of the console front end's state, and its reset between jobs.
#include "console/front_end.h"

#include <cmath>

#include "engine/sieve_job.h"

FrontEnd ui;

int64_t RateStopValue(double seconds) {
  const double tenths = std::trunc(seconds * 10);
  if (!(tenths >= 1)) return 1;  // converting a value out of range would be undefined
  return tenths > 1e18 ? INT64_C(1000000000000000000) : static_cast<int64_t>(tenths);
}

void ResetToDefaults() {
  job.State = STATE_INTERRUPTED;
  ui.fGenerateFile = true;
  job.fVerify = false;
  job.fAutoIncrement = false;
  job.fDoingAutoIncrement = false;
  job.fMyPrimorial = false;
  job.fOrdax = false;
  job.LogDeleted = false;
  ui.Ready = false;
  job.StopCriterion = STOP_NONE;
  job.AutoIncrementAmount = 1;
  job.MaxN = 0;
  job.WriteIterations = 30;
  job.len3plus = 1;
  ui.lbuff = "3";
  ui.tbuff.clear();
  ui.bbuff.clear();
  ui.nbuff.clear();
  ui.kminbuff.clear();
  ui.kmaxbuff.clear();
  if (!ui.fAutoStartRequired) {
    job.outbuff.clear();
    job.inbuff.clear();
  }
}
