// The progress line: measured rates, the stop the run aims at, and when to show what.
// Primes are counted by the logarithmic integral between report points, so the line needs
// nothing from the per-prime path except the countdown.
#include "engine/progress_line.h"

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "engine/form_members.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/progress.h"

int64_t progressCountdown = 1;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kEulerGamma = 0.5772156649015329;
// Largest depth the estimates look at: beyond it a stop is out of reach anyway.
constexpr double kDeepest = 4.6e18;
constexpr double kTerminalInterval = 1.0;  // seconds between lines on a terminal
constexpr double kLogInterval = 60.0;      // and in a log
constexpr int64_t kFirstCountdown = 20000;
constexpr size_t kSamples = 4096;          // one a second: over an hour of removals

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Sample {
  double t;
  uint32_t values;
};

struct RunState {
  Clock::time_point start;
  Clock::time_point lastCall;      // the previous report point, for the countdown
  Clock::time_point rateFrom;      // start of the window the rate is measured over
  Clock::time_point lastShown;
  bool shown = false;
  int64_t countdownSet = kFirstCountdown;
  double startP = 0;
  double rateFromP = 0;
  double primesPerSecond = 0;      // smoothed; 0 until measured
  uint32_t startValues = 0;
  int members = 1;
  std::vector<Sample> samples;     // ring of (time, values left), one a second
  size_t nextSample = 0;
  double lastSampleT = -1;
};

RunState run;

bool finalReport(int64_t p) {
  return (job.State != STATE_PREPARING && job.State != STATE_SIEVING) || p >= job.maxp;
}

void addSample(double t) {
  if (run.lastSampleT >= 0 && t - run.lastSampleT < 1.0) return;
  run.lastSampleT = t;
  Sample s{t, job._nvalsleft};
  if (run.samples.size() < kSamples) run.samples.push_back(s);
  else run.samples[run.nextSample] = s;
  run.nextSample = (run.nextSample + 1) % kSamples;
}

// Seconds per removal over the last 20 removals (but at least five seconds), the time of the
// 20th removal back interpolated between samples so that a burst at the start of a run does
// not count as recent; over all the samples while fewer went. 0 until two removals are behind.
double secondsPerRemoval(double now) {
  const uint32_t left = job._nvalsleft;
  std::vector<Sample> history;  // oldest first, ending with now
  const size_t n = run.samples.size();
  for (size_t i = 0; i < n; ++i) history.push_back(run.samples[(run.nextSample + i) % n]);
  history.push_back({now, left});
  if (history.size() < 2 || now - history.front().t < 5) return 0;
  // Values left at time t, interpolated.
  auto valuesAt = [&](double t) {
    for (size_t i = history.size() - 1; i > 0; --i) {
      const Sample &a = history[i - 1], &b = history[i];
      if (a.t <= t) return b.t > a.t ? a.values - (a.values - double(b.values)) * (t - a.t) / (b.t - a.t) : double(b.values);
    }
    return double(history.front().values);
  };
  double from = history.front().t;
  const double twentyBack = left + 20.0;
  for (size_t i = history.size() - 1; i > 0; --i) {
    const Sample &a = history[i - 1], &b = history[i];
    if (a.values >= twentyBack && b.values < twentyBack) {
      from = a.t + (b.t - a.t) * (a.values - twentyBack) / (double(a.values) - b.values);
      break;
    }
  }
  from = std::min(from, now - 5);
  const double removed = valuesAt(from) - left;
  return removed >= 2 ? (now - from) / removed : 0;
}

// Primes from a to b.
double primesBetween(double a, double b) { return b > a ? LogIntegral(b) - LogIntegral(a) : 0; }

std::string depthText(double p) {
  char text[48];
  const double decade = std::round(std::log10(p));
  if (std::fabs(p - std::pow(10.0, decade)) < 0.5 && decade >= 3) std::snprintf(text, sizeof text, "10^%.0f", decade);
  else std::snprintf(text, sizeof text, "%.0f", p);
  return text;
}

std::string rateText(double perSecond) {
  char text[48];
  if (perSecond >= 1e6) std::snprintf(text, sizeof text, "%.2fM primes/s", perSecond / 1e6);
  else if (perSecond >= 1e3) std::snprintf(text, sizeof text, "%.1fk primes/s", perSecond / 1e3);
  else std::snprintf(text, sizeof text, "%.0f primes/s", perSecond);
  return text;
}

// Where the run is heading: share done, time left and the words for the stop.
struct Toward {
  double share = -1;     // 0..1, or -1 when not known
  double timeLeft = -1;  // seconds, or -1 when not known
  std::string stop;
};

// Toward a depth: the share of this run's primes done, and the rest at today's rate.
Toward towardDepth(double p, double target, const std::string& words) {
  Toward t;
  t.stop = words;
  const double all = primesBetween(run.startP, target);
  t.share = all > 0 ? std::min(1.0, primesBetween(run.startP, p) / all) : 1.0;
  t.timeLeft = primesBetween(p, target) / run.primesPerSecond;
  return t;
}

Toward toward(double p, time_t wallNow) {
  const char letter = job.k_n;
  char words[96];
  // The phase that sieves a large range in parts runs each part to its own depth.
  if (job.State == STATE_PREPARING)
    return towardDepth(p, static_cast<double>(job.maxp), "to p=" + depthText(static_cast<double>(job.maxp)));
  switch (job.StopCriterion) {
    case STOP_AT_P:
      return towardDepth(p, static_cast<double>(job.maxp), "to p=" + depthText(static_cast<double>(job.maxp)));
    case STOP_AFTER_HOURS: {
      Toward t;
      const double total = static_cast<double>(job.StopValue) * 3600;
      const double done = static_cast<double>(wallNow - job.StopTime);
      t.share = std::min(1.0, std::max(0.0, done / total));
      t.timeLeft = std::max(0.0, total - done);
      std::snprintf(words, sizeof words, "of %" PRId64 " h", job.StopValue);
      t.stop = words;
      return t;
    }
    case STOP_AT_COUNT: {
      Toward t;
      const double target = static_cast<double>(job.StopValue);
      const double left = job._nvalsleft, first = run.startValues;
      std::snprintf(words, sizeof words, "to %" PRId64 " %c's", job.StopValue, letter);
      t.stop = words;
      t.share = first > target ? std::min(1.0, std::max(0.0, (first - left) / (first - target))) : 1.0;
      const double depth = DepthForCount(p, left, target, run.members);
      if (left <= target) t.timeLeft = 0;
      else if (depth > 0) t.timeLeft = primesBetween(p, depth) / run.primesPerSecond;
      return t;
    }
    case STOP_AT_RATE: {
      // Each prime q strikes about members·values/q lines, so the time per removal grows in
      // proportion to q: the stop lies near q = seconds·members·values·primes-per-second.
      const double wanted = static_cast<double>(job.StopValue) / 10;
      const double depth = std::min(kDeepest, wanted * run.members * job._nvalsleft * run.primesPerSecond);
      std::snprintf(words, sizeof words, "to %.1f s per %c", wanted, letter);
      if (depth <= p) {
        Toward t;
        t.stop = words;
        t.share = 1;
        t.timeLeft = 0;
        return t;
      }
      return towardDepth(p, depth, words);
    }
    default: {
      double decade = std::pow(10.0, std::floor(std::log10(std::max(p, 1.0))) + 1);
      decade = std::min(decade, static_cast<double>(job.maxp));
      return towardDepth(p, decade, "to p=" + depthText(decade));
    }
  }
}

std::string composeLine(int64_t p, double now, bool fit) {
  std::string line = SievedUpTo(p);
  if (run.primesPerSecond <= 0) return line;
  std::vector<std::string> fields;
  char text[96];
  const Toward t = toward(static_cast<double>(p), std::time(nullptr));
  if (t.share >= 0) {
    std::snprintf(text, sizeof text, "%.1f%% %s", 100 * t.share, t.stop.c_str());
    fields.push_back(text);
  }
  if (t.timeLeft >= 0) fields.push_back(TimeLeftText(t.timeLeft) + " left");
  fields.push_back(rateText(run.primesPerSecond));
  std::snprintf(text, sizeof text, "%u %c's left", job._nvalsleft, job.k_n);
  fields.push_back(text);
  if (double s = secondsPerRemoval(now); s > 0) {
    std::snprintf(text, sizeof text, s < 100 ? "%.3g s per %c" : "%.0f s per %c", s, job.k_n);
    fields.push_back(text);
  }
  // On a terminal the line must fit its width: the fields most needed to plan by come first.
  const size_t width = fit ? ConsoleWidth() : 0;
  size_t keep = fields.size();
  auto length = [&](size_t n) {
    size_t len = line.size();
    for (size_t i = 0; i < n; ++i) len += 2 + fields[i].size();
    return len;
  };
  while (width > 1 && keep > 0 && length(keep) >= width) --keep;
  for (size_t i = 0; i < keep; ++i) line += (i == 0 ? ": " : ", ") + fields[i];
  return line;
}

}  // namespace

double LogIntegral(double x) {
  if (x < 2) return 0;
  // Ramanujan's series: li(x) = γ + ln ln x + √x Σ (−1)^(n−1) (ln x)^n / (n! 2^(n−1)) Σ_{k≤(n−1)/2} 1/(2k+1).
  const double L = std::log(x);
  double sum = 0, power = 1, inner = 0;
  for (int n = 1; n < 400; ++n) {
    power *= L / n / (n > 1 ? 2 : 1);  // (ln x)^n / (n! 2^(n−1))
    if ((n - 1) % 2 == 0) inner += 1.0 / n;  // adds 1/(2k+1) for k = (n−1)/2
    const double term = ((n % 2) ? power : -power) * inner;
    sum += term;
    if (n > 2 * L && std::fabs(term) < 1e-17 * std::fabs(sum)) break;
  }
  return kEulerGamma + std::log(L) + std::sqrt(x) * sum;
}

std::string TimeLeftText(double s) {
  char text[48];
  if (!(s < 1000.0 * 86400)) return "over 1000 days";
  const long total = std::lround(std::max(0.0, s));
  if (total < 86400) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else std::snprintf(text, sizeof text, "%ldd %02ld:%02ld", total / 86400, total / 3600 % 24, total / 60 % 60);
  return text;
}

double DepthForCount(double p, double values, double target, int members) {
  if (values <= target) return p;
  if (target <= 0 || p < 2) return 0;
  const double logDepth = std::log(p) * std::pow(values / target, 1.0 / std::max(1, members));
  return logDepth < std::log(kDeepest) ? std::exp(logDepth) : 0;
}

void ProgressStart(int64_t firstp) {
  run = RunState{};
  run.start = run.lastCall = run.rateFrom = Clock::now();
  run.startP = run.rateFromP = static_cast<double>(firstp);
  run.startValues = job._nvalsleft;
  run.members = MemberCount(job._mode, job.len3plus);
  progressCountdown = run.countdownSet = kFirstCountdown;
  RunProgress = ProgressReport;
}

void ProgressReport(int64_t p) {
  const Clock::time_point now = Clock::now();
  const double t = seconds(now - run.start);

  // About a second of primes until the next report, from the primes the last one took.
  const double sinceCall = seconds(now - run.lastCall);
  const int64_t used = run.countdownSet - progressCountdown;
  if (used > 0) {
    double next = sinceCall > 0.001 ? used / sinceCall : 2.0 * used;
    next = std::min(std::max(next, 1000.0), 1e12);
    progressCountdown = run.countdownSet = static_cast<int64_t>(next);
  }
  run.lastCall = now;

  // The rate, over windows of at least half a second, smoothed over about ten seconds.
  const double window = seconds(now - run.rateFrom);
  if (window >= 0.5) {
    const double measured = primesBetween(run.rateFromP, static_cast<double>(p)) / window;
    const double weight = run.primesPerSecond > 0 ? 1 - std::exp(-window / 10) : 1;
    run.primesPerSecond += weight * (measured - run.primesPerSecond);
    run.rateFrom = now;
    run.rateFromP = static_cast<double>(p);
  }
  addSample(t);

  const bool terminal = ConsoleIsTerminal();
  const bool last = finalReport(p);
  // A terminal shows the first line at once; a log waits for its first interval.
  const double since = run.shown ? seconds(now - run.lastShown) : terminal ? 1e9 : t;
  if (!last && since < (terminal ? kTerminalInterval : kLogInterval)) return;
  run.shown = true;
  run.lastShown = now;
  print(("#s" + composeLine(p, t, terminal)).c_str());
}
