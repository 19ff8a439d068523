// The testing loop: worker threads take lines in file order, a bounded window ahead of the
// reporting thread, which takes the finished lines back in file order to print and record them. A reported
// line's result is appended between two records: the first names the line and the results
// file's length, so a run cut off anywhere never loses a result and a resumed one never repeats it.
#include "ordax/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "common/print.h"
#include "ordax/describe.h"
#include "ordax/forms.h"
#include "ordax/progress.h"
#include "ordax/sieve_input.h"
#include "ordax/status_line.h"
#include "ordax/tester.h"

volatile std::sig_atomic_t ordaxInterrupt = 0;
CancelFlag ordaxStop{false};

namespace {

constexpr std::chrono::seconds kStatusInterval{1};
constexpr std::chrono::seconds kSaveInterval{10};
// Waits wake at least this often to look at the interrupt flag, which a signal sets silently.
constexpr std::chrono::milliseconds kPoll{100};

bool AppendResult(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return false;
  bool ok = std::fprintf(f, "%s\n", text.c_str()) >= 0;
  return std::fclose(f) == 0 && ok;
}

uint64_t FileLength(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A resumed run whose record names a result that was being appended: true when the line is
// already in the results file at the recorded place; a torn copy at the end is cut off.
bool AlreadyAppended(const std::string& path, uint64_t offset, const std::string& text) {
  const std::string line = text + "\n";
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string found(line.size(), '\0');
  size_t got = 0;
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0) got = std::fread(found.data(), 1, found.size(), f);
  std::fclose(f);
  found.resize(got);
  if (found == line) return true;
  // A shorter tail that begins the same is the torn write itself: nothing else can follow it.
  if (got > 0 && got < line.size() && line.compare(0, got, found) == 0 && FileLength(path) == offset + got)
    if (truncate(path.c_str(), static_cast<off_t>(offset)) != 0) return false;
  return false;
}

// What a worker hands to the output stage.
struct TestedLine {
  size_t index = 0;
  LineResult result;
  std::string text;
};

// Where to start: the saved record when it belongs to this very file, else the first line.
ProgressRecord StartingPoint(const OrdaxOptions& options, const std::string& path, const SieveInput& input) {
  ProgressRecord fresh{input.fingerprint, input.lines.size(), 0, 0};
  ProgressRecord saved;
  if (options.restart || !LoadProgress(path, saved)) return fresh;
  if (saved.fingerprint != fresh.fingerprint || saved.lines != fresh.lines) {
    fprint("The progress record %s is for another version of %s: testing from the first line", path.c_str(),
           options.file.c_str());
    return fresh;
  }
  return saved;
}

}  // namespace

void (*ordaxTestPoint)(const char* where) = nullptr;

bool LoadSieveFile(const std::string& file, SieveInput& input, FormSpec& spec, const char* verb) {
  std::string error;
  if (!ReadSieveInput(file, input, error)) {
    fprint("#m%s", error.c_str());
    return false;
  }
  bool ok = MakeFormSpec(input, spec, error);
  for (size_t i = 0; ok && i < input.lines.size(); ++i) ok = CheckLine(spec, input.lines[i], error);
  if (!ok) {
    fprint("#m%s is not a valid sieve file: %s", file.c_str(), error.c_str());
    return false;
  }
  std::string chain = spec.len3plus > 1 ? ", chain length " + std::to_string(spec.len3plus) : "";
  fprint("%s %s: %zu lines of %s, base %u%s, sieved to %" PRId64, verb, file.c_str(), input.lines.size(),
         TypeText(spec).c_str(), spec.base, chain.c_str(), input.sievedTo);
  if (input.ignoredLines) fprint("Ignored %zu lines that are not \"k n\" value lines", input.ignoredLines);
  return true;
}


int RunOrdax(const OrdaxOptions& options, RunSummary* summary) {
  if (ordaxInterrupt == 0) ordaxStop.store(false);
  SieveInput input;
  FormSpec spec;
  if (!LoadSieveFile(options.file, input, spec, "Testing")) return ORDAX_FAILED;
  const size_t total = input.lines.size();
  if (total == 0) {
    print("The file holds no values to test.");
    return ORDAX_OK;
  }
  const std::string path = options.progressPath.empty() ? ProgressPathFor(options.file) : options.progressPath;
  ProgressRecord record = StartingPoint(options, path, input);
  if (record.done == total) {
    fprint("All %zu lines of %s were tested already (%zu found); give -restart to test them again.", total,
           options.file.c_str(), record.found);
    return ORDAX_OK;
  }
  if (record.done > 0)
    fprint("Continuing at line %zu of %zu (%zu found so far)", record.done + 1, total, record.found);
  // A result that may or may not have reached the results file before the last run ended.
  const bool resumePending = record.pending;
  const size_t pendingLine = record.done;
  const uint64_t pendingOffset = record.resultsOffset;

  bool saveWarned = false;
  auto save = [&] {
    if (!SaveProgress(path, record) && !saveWarned) {
      fprint("#mCannot write the progress record %s: an interrupted run will start again from the first line",
             path.c_str());
      saveWarned = true;
    }
  };

  const int threads = options.threads > 0 ? options.threads : OnlineProcessors();
  StatusLine status;
  const size_t firstLine = record.done;
  const auto start = std::chrono::steady_clock::now();
  auto lastStatus = start;
  auto lastSave = start;
  size_t next = firstLine;
  std::atomic<bool> halted{false};  // set by the reporting thread or a failing worker
  bool interrupted = false, failed = false;

  // Runs on one thread at a time, in file order.
  auto finish = [&](const TestedLine& t) {
    if (halted) return;
    const size_t i = t.index;
    if (t.result.cancelled) {
      halted = true;
      interrupted = true;
      return;
    }
    if (t.result.allPrime) {
      status.Clear();
      print(t.text.c_str());
      const bool known = resumePending && i == pendingLine && AlreadyAppended(options.resultsPath, pendingOffset, t.text);
      if (!known) {
        record.done = i;
        record.pending = true;
        record.resultsOffset = FileLength(options.resultsPath);
        save();
        if (ordaxTestPoint) ordaxTestPoint("before append");
        if (!AppendResult(options.resultsPath, t.text)) {
          record.pending = false;
          save();
          fprint("#mCannot write to the results file %s; stopped before line %zu so that the result is not lost.",
                 options.resultsPath.c_str(), i + 1);
          halted = true;
          failed = true;
          ordaxStop.store(true);
          return;
        }
        if (ordaxTestPoint) ordaxTestPoint("after append");
      }
      record.pending = false;
      ++record.found;
      record.done = i + 1;
      save();
      if (summary) {
        summary->found.push_back(i);
        summary->texts.push_back(t.text);
        summary->proven.push_back(t.result.proven);
      }
    }
    record.done = i + 1;
    record.pending = false;
    if (summary) summary->tested = record.done - firstLine;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastStatus >= kStatusInterval) {
      status.Show(ProgressText(record.done, total, record.done - firstLine,
                               std::chrono::duration<double>(now - start).count()));
      lastStatus = now;
    }
    if (now - lastSave >= kSaveInterval) {
      save();
      lastSave = now;
    }
  };

  // Workers take line numbers in file order, at most `window` beyond the next line to report;
  // this thread reports the finished lines in file order.
  const size_t window = 2 * static_cast<size_t>(threads);
  std::mutex lock;
  std::condition_variable workWanted, lineDone;
  std::map<size_t, TestedLine> finished;
  std::string workerError;
  size_t reportNext = firstLine;
  int running = threads;
  auto worker = [&] {
    LineTester tester(spec);
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> hold(lock);
        while (!(next >= total || halted || ordaxStop.load()) && next >= reportNext + window)
          workWanted.wait_for(hold, kPoll);
        if (next >= total || halted || ordaxStop.load()) break;
        i = next++;
      }
      TestedLine t;
      t.index = i;
      try {
        t.result = tester.Test(input.lines[i], &ordaxStop);
        if (t.result.allPrime)
          t.text = DescribeLine(spec, input.lines[i], tester.members(), t.result.proven);
      } catch (const std::exception& e) {  // out of memory: stop the run, never skip the line
        std::lock_guard<std::mutex> hold(lock);
        if (workerError.empty()) workerError = e.what();
        halted = true;
        break;
      }
      std::lock_guard<std::mutex> hold(lock);
      finished.emplace(i, std::move(t));
      lineDone.notify_all();
    }
    std::lock_guard<std::mutex> hold(lock);
    --running;
    lineDone.notify_all();
  };
  std::vector<std::thread> pool;
  for (int w = 0; w < threads; ++w) pool.emplace_back(worker);
  for (;;) {
    TestedLine t;
    {
      std::unique_lock<std::mutex> hold(lock);
      while (!finished.count(reportNext) && running > 0) lineDone.wait_for(hold, kPoll);
      auto it = finished.find(reportNext);
      if (it == finished.end()) break;  // every worker has stopped
      t = std::move(it->second);
      finished.erase(it);
      ++reportNext;
      workWanted.notify_all();
    }
    finish(t);
    if (halted || reportNext >= total) break;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    halted = true;
    workWanted.notify_all();
  }
  for (std::thread& th : pool) th.join();
  if (!workerError.empty()) {
    status.Clear();
    save();
    fprint("#mA testing thread failed (%s); stopped after %zu of %zu lines.", workerError.c_str(), record.done, total);
    return ORDAX_FAILED;
  }
  status.Clear();
  if (failed) {
    if (ordaxInterrupt == 0) ordaxStop.store(false);
    return ORDAX_FAILED;
  }
  if (interrupted || record.done < total) {
    save();
    fprint("Interrupted after %zu of %zu lines (%zu found); run ordax %s again to continue.", record.done, total,
           record.found, options.file.c_str());
    return 128 + ordaxInterrupt;
  }
  save();
  fprint("Tested all %zu lines of %s: %zu found%s%s", total, options.file.c_str(), record.found,
         record.found ? ", appended to " : "", record.found ? options.resultsPath.c_str() : "");
  return ORDAX_OK;
}

int OnlineProcessors() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
