// Reading and writing the settings file: a key, '=', then a value. Numeric values are read
// whole by the one number reader (a refused value is reported and ignored); the input file
// name keeps the whole rest of the line.
#include "console/settings.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/front_end.h"
#include "console/prompts.h"
#include "common/number_reader.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

constexpr uint64_t MAX_SETTINGS_BITMAP_BITS = 4068474880u;  // 485.0 Mb, as the options allow

unsigned toUnsigned(uint64_t n) { return n > UINT_MAX ? UINT_MAX : static_cast<unsigned>(n); }
}  // namespace

void ApplySettingsLine(const std::string& line) {
  // The key: a non-empty run of characters other than '=' and blank (no leading blanks).
  size_t pos = 0;
  while (pos < line.size() && line[pos] != '=' && line[pos] != ' ') ++pos;
  if (pos == 0) return;
  std::string key = line.substr(0, pos);
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return;
  ++pos;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  // Numeric settings are read whole by the program's one number reader; a value it refuses
  // leaves the setting as it was, with a line naming the key.
  const bool numericKey = key == "WorkerThreadPriorityLowest" || key == "BitmapThreshold" ||
                          key == "IterationsBetweenWrites" || key == "MinutesBetweenWrites" ||
                          key == "DSM_LogDeleted" || key == "DSM_TwoSaveFiles" || key == "DSM_AlwaysSave" ||
                          key == "TwoSaveFiles" || key == "Hidden" || key == "Threads";
  uint64_t number = 0;
  if (numericKey) {
    std::string whole = line.substr(pos);
    while (!whole.empty() && isBlank(whole.back())) whole.pop_back();
    int64_t v;
    NumberError e = ReadNumber(whole, v);
    if (e != NumberError::None) {
      fprint("%s the setting is ignored.", NumberRefusal(std::string(SETTINGS_FILE) + ", " + key, whole, e).c_str());
      return;
    }
    number = static_cast<uint64_t>(v);
  }

  if (key == "WorkerThreadPriorityLowest") {
    ui.WorkerThreadPriority = number != 0 ? 20 : 0;
  } else if (key == "BitmapThreshold") {
    if (number < static_cast<uint64_t>(MIN_BITMAP_BITS) || number > MAX_SETTINGS_BITMAP_BITS) {
      // A threshold this small (an old -ob=0.0000001) would make every run in the folder crawl.
      fprint("%s, BitmapThreshold : %" PRIu64 " is outside %" PRId64 " to %" PRIu64 "; 400000000 is used.",
             SETTINGS_FILE, number, MIN_BITMAP_BITS, MAX_SETTINGS_BITMAP_BITS);
      job.BitMapThreshold = 400000000;
    } else {
      job.BitMapThreshold = static_cast<int64_t>(number);
    }
  } else if (key == "IterationsBetweenWrites") {
    job.WriteIterations = toUnsigned(number > UINT_MAX / 3 ? UINT_MAX : number * 3);
  } else if (key == "MinutesBetweenWrites") {
    job.WriteIterations = toUnsigned(number);
    if (job.WriteIterations < 10) job.WriteIterations = 10;
  } else if (key == "DSM_LogDeleted") {
    ui.DSM_LogDeleted = number == 1;
  } else if (key == "DSM_TwoSaveFiles") {
    ui.DSM_TwoSaveFiles = number == 1;
  } else if (key == "DSM_AlwaysSave") {
    ui.DSM_DSMYNC = number == 1;
  } else if (key == "TwoSaveFiles") {
    job.TwoSaveFiles = number == 1;
    ui.fTwoSaveFilesInIniFile = true;
  } else if (key == "QZTEST") {
    fTest = true;
  } else if (key == "InputFileName") {
    // The whole name, so that a series file such as 17_work.txt is found again.
    std::string name = line.substr(pos);
    while (!name.empty() && name.back() == '\r') name.pop_back();
    if (name.size() > TEXT_FIELD_MAX) name.resize(TEXT_FIELD_MAX);
    if (!name.empty()) {
      ui.AutoRunFile = name;
      ui.fAutoStart = true;
    }
  } else if (key == "Threads") {
    if (number > MAX_THREADS)
      fprint("%s, Threads : %" PRIu64 " is above %u; every processor is used.", SETTINGS_FILE, number, MAX_THREADS);
    job.Threads = number > MAX_THREADS ? 0 : static_cast<unsigned>(number);
  } else if (key == "Hidden") {
    ui.fAutoStartHidden = number == 1;
  }
}

void ReadSettings(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return;
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') {
      ApplySettingsLine(line);
      line.clear();
      any = false;
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (any) ApplySettingsLine(line);
  std::fclose(f);
}

void WriteSettings(const char* path) {
  FILE* f = std::fopen(path, "w");
  if (!f) return;
  std::fprintf(f, "TrayIcon = %d\n", 1);
  std::fprintf(f, "WorkerThreadPriorityLowest = %d\n", ui.WorkerThreadPriority != 0 ? 1 : 0);
  std::fprintf(f, "Priority = %s\n", "Normal");
  std::fprintf(f, "BitmapThreshold = %" PRId64 "\n", job.BitMapThreshold);
  std::fprintf(f, "MinutesBetweenWrites = %u\n", job.WriteIterations);
  std::fprintf(f, "DSM_TwoSaveFiles = %d\n", ui.DSM_TwoSaveFiles ? 1 : 0);
  std::fprintf(f, "DSM_AlwaysSave = %d\n", ui.DSM_DSMYNC ? 1 : 0);
  std::fprintf(f, "TwoSaveFiles = %d\n", job.TwoSaveFiles ? 1 : 0);
  std::fprintf(f, "DSM_LogDeleted = %d\n", ui.DSM_LogDeleted ? 1 : 0);
  if (ui.fAutoStartRequired && !job.outbuff.empty()) std::fprintf(f, "InputFileName = %s\n", job.outbuff.c_str());
  if (job.Threads != 0) std::fprintf(f, "Threads = %u\n", job.Threads);
  if (fTest) std::fprintf(f, "QZTEST = 1\n");
  if (ui.fAutoStartHidden) std::fprintf(f, "Hidden = 1\n");
  std::fclose(f);
}
