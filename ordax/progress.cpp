// The progress record: four "name value" lines under a title line, and a fifth while a result
// is being appended.
#include "ordax/progress.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {
constexpr const char* kTitle = "ordax progress";
}

std::string ProgressPathFor(const std::string& sieveFile) {
  return std::filesystem::path(sieveFile).filename().string() + ".ordax";
}

bool LoadProgress(const std::string& path, ProgressRecord& record) {
  std::ifstream in(path);
  std::string title, name;
  if (!std::getline(in, title) || title != kTitle) return false;
  ProgressRecord r;
  bool ok = (in >> name) && name == "fingerprint" && (in >> std::hex >> r.fingerprint >> std::dec) &&
            (in >> name) && name == "lines" && (in >> r.lines) && (in >> name) && name == "done" &&
            (in >> r.done) && (in >> name) && name == "found" && (in >> r.found);
  uint64_t offset = 0;
  if (ok && (in >> name)) {
    ok = name == "pending" && (in >> offset) && r.done < r.lines;
    r.pending = true;
    r.resultsOffset = offset;
  }
  if (!ok || r.done > r.lines || r.found > r.done) return false;
  record = r;
  return true;
}

bool SaveProgress(const std::string& path, const ProgressRecord& record) {
  const std::string temp = path + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "%s\nfingerprint %016" PRIx64 "\nlines %zu\ndone %zu\nfound %zu\n", kTitle, record.fingerprint,
               record.lines, record.done, record.found);
  if (record.pending) std::fprintf(f, "pending %" PRIu64 "\n", record.resultsOffset);
  bool ok = std::fclose(f) == 0;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}
