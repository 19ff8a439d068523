// Merging the copies of a sieve file: listing, header checks, and the intersection of the
// sorted value columns, streamed so that files of any size merge in constant memory.
#include "services/merge.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "common/print.h"
#include "services/sieve_lines.h"

std::string Directory;

namespace {

constexpr const char* kMergedName = "Merged.mrv";

// One input file: its stream and the value of the data line it stands on.
struct MergeInput {
  std::ifstream in;
  int64_t value = 0;
};

enum class Step { Ok, End, Invalid };

// The last data line read from any file; its fixed column is common to all of them.
struct LastLine {
  int64_t k = 0;
  int n = 0;
};

Step readValue(MergeInput& input, bool fixedK, LastLine& last, bool hasPrevious) {
  std::string line;
  if (!readWholeLine(input.in, line)) return Step::End;
  int64_t k = 0;
  int n = 0;
  if (!parseDataLine(line, k, n)) return Step::Invalid;
  int64_t value = fixedK ? n : k;
  // The intersection relies on ascending files; a file that goes back is not a sieve file.
  if (hasPrevious && value <= input.value) return Step::Invalid;
  input.value = value;
  last = {k, n};
  return Step::Ok;
}

// Files a process may hold open at once, less a margin for the console and the output.
size_t openFileBudget() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
  return limit.rlim_cur > 32 ? static_cast<size_t>(limit.rlim_cur - 32) : 1;
}

struct Listing {
  std::vector<std::string> names;  // regular files, in the order the system lists them
  bool hasMerged = false;
  bool unreadable = false;
};

bool listDirectory(const std::string& dir, Listing& listing) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name == kMergedName) {
      listing.hasMerged = true;
      break;
    }
    struct stat info {};
    if (stat((dir + name).c_str(), &info) != 0) {
      listing.unreadable = true;
      break;
    }
    // Subdirectories, pipes and devices are no sieve files: skipped, never opened.
    if (S_ISREG(info.st_mode)) listing.names.push_back(name);
  }
  closedir(d);
  return true;
}

// The files of one merge: their streams and what their headers say.
struct MergeInputs {
  std::vector<std::unique_ptr<MergeInput>> files;
  std::string headerRest;
  int64_t largestP = 0;
  bool fixedK = false;
  LastLine last;
};

// Opens each file, checks its header against the first and reads its first value. Prints
// the refusal and returns false at the first file that fails.
bool openInputs(const std::string& dir, const std::vector<std::string>& names, MergeInputs& inputs) {
  for (const auto& name : names) {
    auto input = std::make_unique<MergeInput>();
    input->in.open(dir + name, std::ios::binary);
    if (!input->in) {
      printRaw("One of the input files could not be read!\n");
      return false;
    }
    std::string line;
    if (readWholeLine(input->in, line)) {
      SieveHeader header;
      if (!parseHeaderLine(line, header)) {
        printRaw("One of the input files contained a bad first line!\n");
        return false;
      }
      if (inputs.files.empty()) {
        inputs.headerRest = header.rest;
        inputs.fixedK = headerIsFixedK(header.rest);
        inputs.largestP = header.p;
      } else if (header.rest != inputs.headerRest) {
        printRaw("One of the input files was for a different type of sieve (the top line differed)!\n");
        return false;
      } else if (header.p > inputs.largestP) {
        inputs.largestP = header.p;
      }
    }
    Step step = readValue(*input, inputs.fixedK, inputs.last, false);
    if (step == Step::End) {
      printRaw("One of the input files is empty, so the output file will be empty!\n");
      return false;
    }
    if (step == Step::Invalid) {
      printRaw("One of the input files contained an invalid line!\n");
      return false;
    }
    inputs.files.push_back(std::move(input));
  }
  return true;
}

// Writes the values present in every file, counting them; ends at the end of any file
// (Step::End) or at a line that does not parse or goes back (Step::Invalid).
Step intersect(MergeInputs& inputs, std::ostream& out, uint64_t& count) {
  // c is the smallest value every file may still share; w is the file that raised it
  // (already standing on c). A pass that raises nothing has found c in every file.
  constexpr size_t kNone = static_cast<size_t>(-1);
  int64_t c = 0;
  size_t w = kNone;
  for (;;) {
    bool raised = false;
    for (size_t i = 0; i < inputs.files.size() && !raised; ++i) {
      if (i == w) continue;
      MergeInput& input = *inputs.files[i];
      while (input.value < c) {
        Step step = readValue(input, inputs.fixedK, inputs.last, true);
        if (step != Step::Ok) return step;
      }
      if (input.value > c) {
        c = input.value;
        w = i;
        raised = true;
      }
    }
    if (raised) continue;
    if (inputs.fixedK) {
      out << inputs.last.k << ' ' << c << '\n';
    } else {
      out << c << ' ' << inputs.last.n << '\n';
    }
    ++count;
    if (c == INT64_MAX) return Step::End;
    ++c;
    w = kNone;
  }
}

}  // namespace

bool MergeDirectory(const std::string& directory) {
  std::string dir = directory;
  if (dir.empty() || dir.back() != '/') dir += '/';
  const std::string outPath = dir + kMergedName;

  Listing listing;
  if (!listDirectory(dir, listing)) {
    printRaw("The directory is invalid!\n");
    return false;
  }
  if (listing.hasMerged) {
    printRaw("There is already a file called Merged.mrv present in the directory!\n");
    return false;
  }
  if (listing.unreadable) {
    printRaw("One of the input files could not be read!\n");
    return false;
  }
  size_t budget = openFileBudget();
  if (listing.names.size() > budget) {
    fprintRaw(
        "There are %zu files to merge, more than the %zu this system lets me open at once!\n"
        "Merge them in groups, then merge the results.\n",
        listing.names.size(), budget);
    return false;
  }

  MergeInputs inputs;
  if (!openInputs(dir, listing.names, inputs)) return false;
  if (inputs.files.empty()) {
    printRaw("The directory is empty!\n");
    return false;
  }

  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  if (!out) {
    printRaw("The output file could not be created!\n");
    return false;
  }
  out << inputs.largestP << inputs.headerRest << '\n';
  uint64_t count = 0;
  bool invalid = intersect(inputs, out, count) == Step::Invalid;
  out.close();
  if (invalid || out.fail()) {
    // A partial merge must never pass for a result.
    std::remove(outPath.c_str());
    printRaw(invalid ? "One of the input files contained an invalid line!\n"
                     : "The output file could not be written completely!\n");
    fprintRaw("The partial file %s has been removed.\n", outPath.c_str());
    return false;
  }
  fprintRaw("Merged file %s generated, contains %" PRIu64 " %c's\n\n", outPath.c_str(), count,
            inputs.fixedK ? 'n' : 'k');
  return true;
}
