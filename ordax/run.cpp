// The testing loop. Each line's members are tested in order and the line is dropped at its first
// composite; a reported line is appended to the results file before the progress record moves
// past it, so a run cut off anywhere never loses a result and a resumed run never repeats one.
#include "ordax/run.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "engine/print.h"
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

bool AppendResult(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return false;
  bool ok = std::fprintf(f, "%s\n", text.c_str()) >= 0;
  return std::fclose(f) == 0 && ok;
}

// Reads, checks and describes the file; false after a message when it cannot be tested.
bool LoadFile(const std::string& file, SieveInput& input, FormSpec& spec) {
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
  fprint("Testing %s: %zu lines of %s, base %u%s, sieved to %" PRId64, file.c_str(), input.lines.size(),
         TypeText(spec).c_str(), spec.base, chain.c_str(), input.sievedTo);
  if (input.ignoredLines) fprint("Ignored %zu lines that are not \"k n\" value lines", input.ignoredLines);
  return true;
}

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

int RunOrdax(const OrdaxOptions& options, RunSummary* summary) {
  SieveInput input;
  FormSpec spec;
  if (!LoadFile(options.file, input, spec)) return ORDAX_FAILED;
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

  bool saveWarned = false;
  auto save = [&] {
    if (!SaveProgress(path, record) && !saveWarned) {
      fprint("#mCannot write the progress record %s: an interrupted run will start again from the first line",
             path.c_str());
      saveWarned = true;
    }
  };

  LineTester tester(spec);
  StatusLine status;
  const size_t firstLine = record.done;
  const auto start = std::chrono::steady_clock::now();
  auto lastStatus = start;
  auto lastSave = start;
  for (size_t i = firstLine; i < total; ++i) {
    const LineResult tested = tester.Test(input.lines[i], &ordaxStop);
    if (tested.cancelled) {
      status.Clear();
      save();
      fprint("Interrupted after %zu of %zu lines (%zu found); run ordax %s again to continue.", record.done, total,
             record.found, options.file.c_str());
      return 128 + ordaxInterrupt;
    }
    if (tested.allPrime) {
      std::string text = DescribeLine(spec, input.lines[i], tester.members(), tested.proven);
      status.Clear();
      print(text.c_str());
      if (!AppendResult(options.resultsPath, text)) {
        save();
        fprint("#mCannot write to the results file %s; stopped before line %zu so that the result is not lost.",
               options.resultsPath.c_str(), i + 1);
        return ORDAX_FAILED;
      }
      ++record.found;
      record.done = i + 1;
      save();
      if (summary) {
        summary->found.push_back(i);
        summary->texts.push_back(text);
        summary->proven.push_back(tested.proven);
      }
    }
    record.done = i + 1;
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
  }
  status.Clear();
  save();
  fprint("Tested all %zu lines of %s: %zu found%s%s", total, options.file.c_str(), record.found,
         record.found ? ", appended to " : "", record.found ? options.resultsPath.c_str() : "");
  return ORDAX_OK;
}
