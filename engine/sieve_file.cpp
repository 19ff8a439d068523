// Writer and reader of the sieve file, its backup and the store choice on reading.
#include "engine/sieve_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "common/number_reader.h"
#include "common/print.h"
#include "engine/file_lines.h"
#include "engine/file_run.h"
#include "engine/report.h"
#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/hash_store.h"

namespace {

// ---- writing ----

// Formats lines into a large buffer written straight to the file's descriptor; remembers the
// first write error (errno tells which). Each full buffer also starts its write-back to the
// disk, so the sync that ends a save finds most of the file already there.
class LineWriter {
 public:
  explicit LineWriter(FILE* f) : fd_(fileno(f)), buf_(new char[CAPACITY]) {}
  ~LineWriter() { flush(); }
  void text(const char* s, size_t n) {
    while (n > 0) {
      if (used_ == CAPACITY) flush();
      const size_t part = std::min(n, CAPACITY - used_);
      std::memcpy(buf_.get() + used_, s, part);
      used_ += part;
      s += part;
      n -= part;
    }
  }
  void text(const std::string& s) { text(s.data(), s.size()); }
  // The column that is the same on every line, formatted once: at most a sign, ten digits,
  // a blank and a line end, held in a fixed-size field so each line copies it in one move.
  struct Column {
    char text[16] = {};
    size_t size = 0;
    explicit Column(const std::string& s) : size(s.size()) {
      assert(s.size() <= sizeof text);
      std::memcpy(text, s.data(), s.size());
    }
  };
  // One value line: `before` the value (fixed-k files) or `after` it (fixed-n files, its line
  // end included). The whole fields are copied and the line advances by their sizes.
  void line(const Column& before, int64_t value, const Column& after) {
    if (used_ + 2 * sizeof before.text + 24 > CAPACITY) flush();
    char* at = buf_.get() + used_;
    std::memcpy(at, before.text, sizeof before.text);
    at = std::to_chars(at + before.size, buf_.get() + CAPACITY, value).ptr;
    std::memcpy(at, after.text, sizeof after.text);
    used_ = static_cast<size_t>(at + after.size - buf_.get());
  }
  bool flush() {
    for (size_t done = 0; ok_ && done < used_;) {
      const ssize_t n = write(fd_, buf_.get() + done, used_ - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        ok_ = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
    if (ok_ && used_ > 0) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    used_ = 0;
    return ok_;
  }

 private:
  static constexpr size_t CAPACITY = 1 << 18;
  int fd_;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  bool ok_ = true;
};

std::string headerLine(int64_t p) {
  std::string fields;
  char text[128];
  std::snprintf(text, sizeof text, "%" PRId64 ":%c:%d:%d:%d\n", p - 1, job.modechar, job.len3plus,
                static_cast<int>(job._base), static_cast<int>(job._mode));
  if (!job.fMyPrimorial) return text;
  std::string line = "ABC ";
  for (uint32_t i = 0; i < job.nMyPrimorial; ++i) line += std::to_string(job.MyPrimorial[i]) + "*";
  line += "2^$b";
  line += (job._mode & MODE_PLUS) ? '+' : '-';
  line += "1 //Morvane:";
  return line + text;
}

// Writes the value lines of the store in use and tidies it (array compaction, counts and
// bounds). Writing twice gives the same lines, so a failed save can simply be redone.
void writeValues(LineWriter& out) {
  const bool fixedK = job._mode & MODE_N_VARIES;
  const int64_t nWritten = WritesNPlusOne(job._mode, job._base) ? int64_t{job._nvalue} + 1 : job._nvalue;
  const LineWriter::Column before(fixedK ? std::to_string(job._nvalue) + " " : "");
  const LineWriter::Column after(fixedK ? "\n" : " " + std::to_string(nWritten) + "\n");
  auto emit = [&](int64_t v) { out.line(before, v, after); };
  uint32_t kept = 0;
  int64_t first = 0, last = 0;
  if (job.fUseBitMap) {
    // Only the candidate parity is visited: a stray bit of the other parity is dropped.
    uint64_t start = (job.fIncIsTwo && (job.MinNum & 1) == (job._base & 1)) ? 1 : 0;
    uint64_t end = static_cast<uint64_t>(job.MaxNum - job.MinNum);  // last offset
    uint32_t parityMask = !job.fIncIsTwo ? 0xFFFFFFFFu : (start ? 0xAAAAAAAAu : 0x55555555u);
    for (uint64_t w = start >> 5; w <= end >> 5; ++w) {
      uint32_t bits = _bitmap[w] & parityMask;
      if (w == start >> 5) bits &= ~0u << (start & 31);
      if (w == end >> 5 && (end & 31) != 31) bits &= (1u << ((end & 31) + 1)) - 1;
      while (bits) {
        emit(job.MinNum + static_cast<int64_t>(w * 32 + __builtin_ctz(bits)));
        ++kept;
        bits &= bits - 1;
      }
    }
    job._nvalsleft = job.nvals = kept;
    return;
  }
  if (job.fUseHash) {
    for (int32_t i = FirstNumericValue; i != -1; i = Hash[i].next) {
      if (Hash[i].deleted()) continue;
      int64_t v = Hash[i].value();
      if (kept++ == 0) first = v;
      last = v;
      emit(v);
    }
  } else {
    for (uint32_t i = 0; i < job.nvals; ++i) {
      if (IsMarked(vals[i])) continue;
      int64_t v = vals[i];
      vals[kept] = v;
      if (kept++ == 0) first = v;
      last = v;
      emit(v);
    }
  }
  job._nvalsleft = job.nvals = kept;
  if (kept) {
    job.MinNum = first;
    job.MaxNum = last;
  }
}

bool writeAll(FILE* f, int64_t p, bool append) {
  LineWriter out(f);
  if (!append) out.text(headerLine(p));
  writeValues(out);
  return out.flush() && std::fflush(f) == 0;
}

std::string directoryOf(const std::string& name) {
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
}

void syncDirectory(const std::string& name) {
  int fd = open(directoryOf(name).c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool renameReplacing(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EEXIST && errno != ENOTEMPTY) return false;
  std::remove(to.c_str());
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// Waiting on a save that cannot be written: saves never give up on their own (a multi-day
// run outlives a full disk), but they say why once a minute, and an interrupt that arrives
// while waiting ends the wait. Returns false when the save is given up.
class SaveRetry {
 public:
  explicit SaveRetry(const std::string& name) : name_(name), interrupts_(InterruptRequests) {}
  bool waitAfter(int error) {
    long now = static_cast<long>(time(nullptr));
    if (lastMessage_ < 0 || now - lastMessage_ >= 60) {
      fprint("%s Cannot write %s: %s. Retrying every 10 seconds; Control-C stops (the previous file stays as it is).",
             TimeOfDay(now).c_str(), name_.c_str(), std::strerror(error));
      lastMessage_ = now;
    }
    for (int i = 0; i < 10 && InterruptRequests == interrupts_; ++i) sleep(1);
    if (InterruptRequests == interrupts_) return true;
    fprint("The save to %s was given up: the file on disk is the last complete one.", name_.c_str());
    job.SaveFailed = true;
    return false;
  }

 private:
  std::string name_;
  std::sig_atomic_t interrupts_;
  long lastMessage_ = -1;
};

// A full save: the new file is written and synced under a temporary name in the same
// folder, and only then renamed over `name`. The backup is a second link to the previous
// file, made before the rename, so `name` is present and complete at every instant. Returns
// whether the previous file became the backup (false also when the save was given up).
bool saveReplacing(int64_t p, const std::string& name) {
  const std::string temp = name + ".saving." + std::to_string(getpid());
  SaveRetry retry(name);
  for (;;) {
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int error = errno;
    FILE* f = fd < 0 ? nullptr : fdopen(fd, "w");
    if (f) {
      bool ok = writeAll(f, p, false) && fsync(fileno(f)) == 0;
      error = errno;
      ok &= std::fclose(f) == 0;
      if (ok) break;
      if (error == 0) error = EIO;
      std::remove(temp.c_str());  // never let a partial file replace a complete one
    } else if (fd >= 0) {
      close(fd);
    }
    if (!retry.waitAfter(error)) {
      std::remove(temp.c_str());
      return false;
    }
  }
  bool backedUp = job.TwoSaveFiles && KeepBackup(name);
  while (std::rename(temp.c_str(), name.c_str()) != 0) {
    if (!retry.waitAfter(errno)) {
      std::remove(temp.c_str());
      return false;
    }
  }
  syncDirectory(name);
  return backedUp;
}

// An append to the intermediate file is all or nothing: a failed attempt is cut back to the
// last good length before the next one, so lines are never merged or doubled.
bool saveAppending(int64_t p, const std::string& name) {
  SaveRetry retry(name);
  for (;;) {
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    int error = errno;
    if (fd >= 0) {
      off_t good = lseek(fd, 0, SEEK_END);
      FILE* f = fdopen(fd, "a");
      if (f) {
        bool ok = writeAll(f, p, true) && fsync(fileno(f)) == 0;
        error = errno;
        if (!ok && good >= 0 && ftruncate(fileno(f), good) != 0) error = errno;
        ok &= std::fclose(f) == 0;
        if (ok) return true;
        if (error == 0) error = EIO;
      } else {
        close(fd);
      }
    }
    if (!retry.waitAfter(error)) return false;
  }
}

}  // namespace

bool KeepBackup(const std::string& name) {
  const std::string backup = name + "~";
  std::remove(backup.c_str());
  if (link(name.c_str(), backup.c_str()) == 0) return true;
  if (errno == ENOENT) return false;  // nothing to keep yet
  // A file system without hard links: fall back to moving the file aside.
  return renameReplacing(name, backup);
}

void RemoveStaleSaveFiles(const std::string& name) {
  const std::string folder = directoryOf(name);
  const size_t slash = name.rfind('/');
  const std::string prefix = (slash == std::string::npos ? name : name.substr(slash + 1)) + ".saving.";
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string entry = e->d_name;
    if (entry.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = entry.substr(prefix.size());
    int64_t pid;
    if (ReadDecimal(digits, pid) != NumberError::None || pid <= 0 || pid > INT32_MAX) continue;
    // Only files of processes that no longer run: a running save keeps its temporary.
    if (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::string path = folder == "." && slash == std::string::npos ? entry : folder + "/" + entry;
    if (std::remove(path.c_str()) == 0) fprint("Removed %s, left by an interrupted save.", path.c_str());
  }
  closedir(d);
}

void outputandtidyvals(int64_t p, const std::string& name, bool append) {
  long start = static_cast<long>(time(nullptr));
  fprint("%s Saving results to %s...", TimeOfDay(start).c_str(), name.c_str());
  bool backedUp = false;
  job.SaveFailed = false;
  if (append) {
    if (!saveAppending(p, name)) return;
  } else {
    backedUp = saveReplacing(p, name);
    if (job.SaveFailed) return;
  }
  long end = static_cast<long>(time(nullptr));
  fprint("%s ...done.", TimeOfDay(end).c_str());
  if (backedUp)
    fprint("(The previous contents of %s have been placed in the file %s~)", name.c_str(), name.c_str());
  // Saving is not sieving: keep it out of the removal rate.
  for (long& t : LastTime)
    if (t != 0) t += end - start;
}

// ---- reading ----

namespace {

const char* const NOT_VALID = "The file does not appear to be valid (the first line is wrong!)";

bool fitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// A value line: two numbers ("%qi %d"); the second must fit 32 bits.
NumberParse parseValueLine(std::string_view line, int64_t& a, int64_t& b) {
  const char* at = line.data();
  const char* end = at + line.size();
  NumberParse first = ParseFileNumber(at, end, a);
  if (first != NumberParse::Yes) return first;
  NumberParse second = ParseFileNumber(at, end, b);
  if (second == NumberParse::Yes && !fitsInt32(b)) return NumberParse::OutOfRange;
  return second;
}

// The candidate value of a value line, and the job's fixed quantity from it.
bool valueOf(int64_t a, int64_t b, int64_t& value) {
  if (job._mode & MODE_N_VARIES) {
    if (!fitsInt32(a)) return false;
    job._nvalue = static_cast<int32_t>(a);
    value = b;
  } else {
    job._nvalue = static_cast<int32_t>(b);
    value = a;
  }
  return true;
}

// The five header fields "%[^:]:%c:%d:%d:%d" (first field: a non-negative decimal number).
bool parseHeaderFields(const char* at, const char* end) {
  const char* colon = static_cast<const char*>(std::memchr(at, ':', static_cast<size_t>(end - at)));
  if (!colon || colon == at || colon - at > 1023) return false;
  int64_t depth;
  const char* s = at;
  if (ParseFileNumber(s, colon, depth) != NumberParse::Yes || depth < 0) return false;
  while (s < colon && IsFileSpace(*s)) ++s;
  if (s != colon) return false;
  s = colon + 1;
  if (end - s < 2 || s[1] != ':') return false;
  s += 2;  // the mode letter is recomputed from _mode
  int64_t field[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (s == end || *s != ':') return false;
      ++s;
    }
    if (ParseFileNumber(s, end, field[i]) != NumberParse::Yes || !fitsInt32(field[i])) return false;
  }
  // Anything else would send the loop to procedures that do not exist.
  const int type = TypeFromMode(static_cast<uint32_t>(field[2]));
  if (type < 0 || field[1] < 2) return false;
  // Other sieves write chain length 0 for the forms that are not chains: that is one link.
  const bool chain = type == 10 || type == 11 || type == 12;
  if (field[0] == 0 && !chain) field[0] = 1;
  if (field[0] < 1 || field[0] > MAX_CHAIN_LENGTH) return false;
  job.firstp = depth;
  job.len3plus = static_cast<int>(field[0]);
  job._base = static_cast<uint32_t>(field[1]);
  job._mode = static_cast<uint32_t>(field[2]);
  return true;
}

// The factors "f*f*...*b^$b" from the fifth character on; the base before "^$b" is dropped.
bool parseFactors(std::string_view line, size_t cut) {
  job.nMyPrimorial = 0;
  size_t i = 4;
  int64_t pending = 0;
  bool havePending = false;
  while (i < cut) {
    const char* at = line.data() + i;
    int64_t f;
    const char* s = at;
    if (*s < '0' || *s > '9') break;
    if (ParseFileNumber(s, line.data() + cut, f) != NumberParse::Yes || f < 1) return false;
    if (havePending) {
      if (job.nMyPrimorial == MAX_MY_PRIMORIAL) return false;
      job.MyPrimorial[job.nMyPrimorial++] = pending;
    }
    pending = f;
    havePending = true;
    i = static_cast<size_t>(s - line.data());
    if (i >= cut || line[i] != '*') break;
    ++i;
  }
  return true;
}

bool parseHeader(std::string_view line) {
  const char* at = line.data();
  if (parseHeaderFields(at, at + line.size())) {
    job.fMyPrimorial = false;
    return true;
  }
  size_t tag = line.find("//Morvane:");
  if (tag == std::string::npos) return false;
  size_t fields = tag + std::strlen("//Morvane:");
  if (!parseHeaderFields(at + fields, at + line.size())) return false;
  job.fMyPrimorial = true;
  return parseFactors(line, tag);
}

// Interrupts counted when the read began: a large file's read stops at the next one.
std::sig_atomic_t interruptsAtRead = 0;

bool readInterrupted() {
  if (InterruptRequests == interruptsAtRead) return false;
  static std::sig_atomic_t reported = -1;
  if (reported != InterruptRequests) print("#mInterrupted while reading the input file.");
  reported = InterruptRequests;
  return true;
}

// A line as shown in a message: printable characters only, at most 60 of them.
std::string shown(std::string_view line) {
  std::string s;
  for (char c : line.substr(0, 60)) s += (c >= 32 && c < 127) ? c : '?';
  return line.size() > 60 ? s + "..." : s;
}

// What the first pass found.
struct Scan {
  uint32_t count = 0;
  bool header = false;
  uint32_t sameParity = 0;      // values of the base's parity (k for fixed-n, n for fixed-k)
  uint32_t firstSameParity = 0; // line number of the first of them
  bool textWithoutHeader = false;  // a non-blank line before any header
  // The values counted, in file order, while there are at most SIEVE_FILE_KEPT_VALUES of
  // them: then the store is filled from here and the file is not read a second time.
  std::vector<int64_t> values;
  bool valuesKept = true;
};

// First pass: header, count, range and order of the values.
bool firstPass(FILE* f, Scan& scan) {
  LineReader lines(f);
  std::string_view line;
  bool overlong;
  int64_t previous = 0;
  uint32_t lineNumber = 0;
  while (lines.next(line, overlong)) {
    if (readInterrupted()) return false;
    ++lineNumber;
    int64_t a, b;
    NumberParse p = overlong ? NumberParse::No : parseValueLine(line, a, b);
    const bool partial = !lines.lastLineEnded();
    if (scan.count > 0 && p == NumberParse::No) {
      if (line.find_first_not_of(" \t") == std::string::npos) continue;  // blank lines carry nothing
      if (partial) {
        fprint("Line %u has no line end and cannot be read, so it was ignored: %s", lineNumber, shown(line).c_str());
        continue;
      }
      fprint("Line %u cannot be read: %s", lineNumber, shown(line).c_str());
      return false;
    }
    if (p == NumberParse::OutOfRange || (p == NumberParse::Yes && !scan.header)) {
      print(NOT_VALID);
      return false;
    }
    if (p == NumberParse::Yes) {
      int64_t v;
      const int32_t firstFixed = job._nvalue;
      if (!valueOf(a, b, v)) {
        print(NOT_VALID);
        return false;
      }
      // Every line of a file shares one fixed number; another one is a damaged line, never a
      // new setting for the whole file.
      if (scan.count > 0 && job._nvalue != firstFixed) {
        job._nvalue = firstFixed;
        if (partial) {
          fprint("Line %u has no line end and another fixed number, so it was ignored: %s", lineNumber,
                 shown(line).c_str());
          continue;
        }
        fprint("Line %u: the fixed number differs from the first value line's (%d): %s", lineNumber, firstFixed,
               shown(line).c_str());
        return false;
      }
      if (v <= previous) {
        fprint("The numbers in the file are not strictly increasing : I saw %" PRId64 " followed by %" PRId64 "!",
               previous, v);
        return false;
      }
      if (scan.count == UINT32_MAX) {
        print(NOT_VALID);
        return false;
      }
      // Without a branch on the parity itself, which is random in most files.
      const uint32_t sameParity = ((v ^ static_cast<int64_t>(job._base)) & 1) == 0;
      if (scan.sameParity == 0 && sameParity) scan.firstSameParity = lineNumber;
      scan.sameParity += sameParity;
      if (scan.valuesKept && scan.values.size() < SIEVE_FILE_KEPT_VALUES) {
        scan.values.push_back(v);
      } else if (scan.valuesKept) {
        scan.valuesKept = false;
        std::vector<int64_t>().swap(scan.values);
      }
      if (scan.count++ == 0) job.MinNum = v;
      job.MaxNum = v;
      previous = v;
      continue;
    }
    if (line.find(':') == std::string::npos) {
      if (line.find_first_not_of(" \t") != std::string::npos) scan.textWithoutHeader = true;
      job.firstp = 0;
      continue;
    }
    if (overlong || !parseHeader(line)) {
      print(NOT_VALID);
      return false;
    }
    scan.header = true;
    job.k_n = (job._mode & MODE_N_VARIES) ? 'n' : 'k';
    fprint("Opened the input file - counting the number of %c's and finding the range of %c...", job.k_n, job.k_n);
  }
  return true;
}

// A header that sieves every second value only (odd k on base 2, even k on odd bases, odd
// n) while the file lists values of the other parity: where the form holds them too, the
// header's flag is changed and the values kept; otherwise the file is refused. False after
// the message.
bool acceptOtherParity(const Scan& scan) {
  if (!job.fIncIsTwo || scan.sameParity == 0) return true;
  if (job._mode & MODE_ODD_N) {
    job._mode &= ~uint32_t{MODE_ODD_N};
    fprint("The file lists %u even n's although its header says odd n only: they are kept, and even n are "
           "sieved too.",
           scan.sameParity);
  } else if (job._base == 2) {
    job._mode |= MODE_EVEN_K;
    fprint("The file lists %u even k's although its header says odd k only: they are kept, and even k are "
           "sieved too.",
           scan.sameParity);
  } else {
    fprint("The file cannot be read: %u lines (the first is line %u) list odd k's, and with the odd base %u "
           "every number of an odd k is even.",
           scan.sameParity, scan.firstSameParity, job._base);
    return false;
  }
  SetDerivedFields();
  return true;
}

// The n of a fixed-n file: the multiplier b^n needs n >= 0 where it is sieved, so the
// Lucky types (which also sieve n − 1) and the chains (whose files show n + 1) need n >= 1
// as written. False after the message.
bool acceptExponent() {
  if (job._mode & (MODE_N_VARIES | MODE_PRIMORIAL)) return true;
  const int lowest = (IsLuckyMode(job._mode) || WritesNPlusOne(job._mode, job._base)) ? 1 : 0;
  if (job._nvalue >= lowest) return true;
  fprint("The file cannot be read: its lines give n = %d, and n must be at least %d for its type.", job._nvalue,
         lowest);
  return false;
}

void failedAllocation() {
  print("...failed - you will have to split the file up.");
  print("(If I just created the file it will be called QUILLSOR.TMP)");
}

// Builds the store for `count` values in MinNum..MaxNum; false after a message.
bool chooseStore(uint32_t count) {
  FreeCandidateSet();
  const int64_t D = job.MaxNum - job.MinNum;
  job.fUseHash = false;
  // `range` is 32 bits: a wider set cannot be a bitmap whatever the threshold says.
  if (D <= job.BitMapThreshold && D < int64_t{UINT32_MAX} - 64) {
    job.fUseBitMap = true;
    range = static_cast<uint32_t>(D + 1);
    if (range < 8388608)
      fprint("The file contains %u %c's - using bitmap : allocating %.1fKb of RAM...", count, job.k_n,
             (range + 32.0) / 8192);
    else
      fprint("The file contains %u %c's - using bitmap : allocating %.1fMb of RAM...", count, job.k_n,
             (range + 32.0) / 8388608);
    if (!AllocateBitmap(range)) {
      failedAllocation();
      return false;
    }
    print("...succeeded");
    return true;
  }
  job.fUseBitMap = false;
  double A = static_cast<double>(count) * static_cast<double>(job.firstp);
  double B = std::log(static_cast<double>(count)) * static_cast<double>(D);
  double ratio = job.fIncIsTwo ? B / (2 * A) : B / A;
  if (ratio < 3 && count <= INT32_MAX && CanCreateHash(static_cast<int>(count), job.BitMapThreshold / 8)) {
    if (CreateHash(static_cast<int>(count))) {
      job.fUseHash = true;
      print("...succeeded");
      return true;
    }
    print("...failed: trying to use array...");
  }
  if (count > 131072)
    fprint("The file contains %u %c's - using array: allocating %.1fMb of RAM...", count, job.k_n,
           count * 8.0 / 1048576);
  else
    fprint("The file contains %u %c's - using array: allocating %.1fKb of RAM...", count, job.k_n, count * 8.0 / 1024);
  if (!AllocateArray(count)) {
    failedAllocation();
    return false;
  }
  print("...succeeded");
  return true;
}

void store(int64_t v, uint32_t index) {
  if (job.fUseBitMap) SetBit(static_cast<uint32_t>(v - job.MinNum));
  else if (job.fUseHash) AddToHash(v);
  else vals[index] = v;
}

// Second pass, for files with more values than the first pass keeps: the same value lines
// into the store. Guards keep a file that changed since the first pass from writing outside
// the store.
uint32_t secondPass(FILE* f, uint32_t count) {
  LineReader lines(f);
  std::string_view line;
  bool overlong;
  uint32_t stored = 0;
  int64_t previous = job.MinNum - 1;
  const bool fixedK = job._mode & MODE_N_VARIES;
  while (stored < count && lines.next(line, overlong)) {
    if (readInterrupted()) break;
    int64_t a, b;
    if (overlong || parseValueLine(line, a, b) != NumberParse::Yes) continue;
    int64_t v = fixedK ? b : a;
    if (v <= previous || v > job.MaxNum) continue;
    previous = v;
    store(v, stored++);
  }
  return stored;
}

}  // namespace

bool readinfile(const std::string& name) {
  job._base = 0;
  job._mode = 1;
  FILE* f = std::fopen(name.c_str(), "r");
  const int openError = errno;
  std::string opened = name;
  if (!f) {
    opened = name + "~";
    f = std::fopen(opened.c_str(), "r");
  }
  if (!f) {
    fprint("#mCannot open the input file (%s: %s)", name.c_str(), std::strerror(openError));
    return false;
  }
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    // A folder opens for reading but reads as nothing; a pipe cannot be read twice.
    fprint("#mCannot open the input file (%s is not a file)", opened.c_str());
    std::fclose(f);
    return false;
  }
  job.firstp = 1;
  job.MinNum = 0;
  job.fMyPrimorial = false;
  interruptsAtRead = InterruptRequests;
  Scan scan;
  // A value line takes at least four bytes, most about a dozen: room for most files' values
  // at once, so the list is not copied as it grows.
  scan.values.reserve(static_cast<size_t>(std::min<int64_t>(SIEVE_FILE_KEPT_VALUES, st.st_size / 8 + 1)));
  bool ok = firstPass(f, scan);
  if (ok && scan.header && job.firstp >= MAX_SIEVE_P) {
    // A run from there could never end, and its saves would write a header this reader refuses.
    fprint("The file is sieved up to %" PRId64 ", at or above the largest p this sieve handles (%" PRId64 " = 2^60).",
           job.firstp, MAX_SIEVE_P);
    ok = false;
  }
  if (ok && scan.count == 0) {
    // Text with no header and no values is not a sieve file at all, which "empty" would hide.
    if (!scan.header && scan.textWithoutHeader)
      print(NOT_VALID);
    else
      fprint("#oThe file is empty - there are no %c's to sieve", job.k_n);
    ok = false;
  }
  if (ok) {
    SetDerivedFields();  // the store choice depends on the parity rule of the type just read
    ok = acceptOtherParity(scan) && chooseStore(scan.count);
  }
  if (ok) {
    uint32_t stored = 0;
    if (scan.valuesKept) {
      for (int64_t v : scan.values) store(v, stored++);
    } else {
      std::rewind(f);
      stored = secondPass(f, scan.count);
    }
    job._nvalsleft = job.nvals = stored;
    // An interrupted second pass leaves the store short: never a run (and a save) from it.
    ok = !readInterrupted() && acceptExponent();
    if (WritesNPlusOne(job._mode, job._base)) --job._nvalue;
  }
  std::fclose(f);
  return ok;
}
