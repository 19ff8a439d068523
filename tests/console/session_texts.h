// Fixed console texts of the session, shared by the scripted dialogue tests.
#pragma once
#include <sys/stat.h>

#include <regex>
#include <string>

inline const std::string Banner = "\nMorvane 2.82 - Use Control-C to manually stop the current sieving.\n";
inline const std::string Recommendation =
    "\nThere is a new Option to use two save files.\nIt is highly recommended that you use this option right now.\n";
inline const std::string MainMenu =
    "\nWhat do you want to do now ?\n"
    "\t0 : To create a new file.\n"
    "\t1 : To continue sieving an old file.\n"
    "\t2 : To change one or several option(s).\n"
    "\t3 : To get a service.\n"
    "\t4 : To get some help.\n"
    "\t5 : To exit from this program.\n"
    "Please, enter your choice (0) : ";
inline const std::string InputEnded = "\nThe console input has ended, so Morvane stops here.\n";
inline const std::string OptionsMenu =
    "\nWhat option do you want to change ?\n"
    "\t0 : Worker thread priority\n"
    "\t1 : Automatically continue sieving the last file on startup\n"
    "\t2 : Sieve until...\n"
    "\t3 : Set max Mb RAM to store values...\n"
    "\t4 : Minutes between automatic saves...\n"
    "\t5 : Log the numbers removed\n"
    "\t6 : Use two save files\n"
    "\t7 : Number of sieving threads\n"
    "Please, enter your choice (0) : ";
inline const std::string HelpMenu =
    "\nWhat kind of help do you want to get ?\n\t0 : Usage\n\t1 : About\n\t2 : Contents\n"
    "\t3 : What's new in this release\n\t4 : Types of sieve\n\t5 : Options\nPlease, enter your choice (0) : ";
inline const std::string ServicesMenu =
    "\nAvailable Services are :\n\t0 : Sieve across multiple machines - Duplicate.\n"
    "\t1 : Sieve across multiple machines - Merge.\n\t2 : Primality test on several machines - Split.\n"
    "\t3 : Look inside a sieve file.\n"
    "Please, enter your choice (0) : ";
inline const std::string NormalTypeMenu =
    "\t0 : k.b^n+1\n\t1 : k.b^n-1\n\t2 : Twin: k.b^n±1\n\t3 : SG: k.b^n-1 & 2k.b^n-1\n"
    "\t4 : CC: k.b^n+1 & 2k.b^n+1\n\t5 : BiTwin: k.b^n±1 & 2k.b^n±1\n\t6 : Twin/SG: k.b^n±1 & 2k.b^n-1\n"
    "\t7 : Twin/CC: k.b^n±1 & 2k.b^n+1\n\t8 : LP: k.b^n±1 & k.b^(n-1)+1 & k.b^(n+1)+1\n"
    "\t9 : LM: k.b^n±1 & k.b^(n-1)-1 & k.b^(n+1)-1\n\t10 : CC 1st kind\n\t11 : CC 2nd kind\n\t12 : BiTwin\n"
    "\t13 : AP: b^n+2k-1 (-2 if b is odd)\n\t14 : 3-tuple: k.b^n±1 & k.b^n+5\n\t15 : 4-tuple: k.b^n±1, +5, +7\n"
    "\t16 : k.b^n+1 with k fixed\n\t17 : k.b^n-1 with k fixed\n\t18 : SG: k.b^n+1 & 2k.b^n+3\n"
    "\t19 : b^n+k with k fixed\n\t20 : b^n-k with k fixed\nPlease, enter your choice (0) : ";
inline const std::string SieveUntilMenu =
    "\nSieve until :\n\t0 : Sieve until manually stopped\n\t1 : Sieve up to p = (1000)\n"
    "\t2 : Sieve until there are (1000) k's or n's remaining\n\t3 : Sieve for (24) hours\n"
    "\t4 : Sieve until the rate is (0.1) seconds per k or n\nPlease, enter your choice (0) : ";
inline const std::string PrimorialTypeMenu =
    "\t0 : k.n#+1\n\t1 : k.n#-1\n\t2 : Twin: k.n#±1\n\t3 : SG: k.n#-1 & 2.k.n#-1\n\t4 : CC: k.n#+1 & 2.k.n#+1\n"
    "\t5 : BiTwin: k.n#±1 & 2.k.n#±1\n\t6 : Twin/SG: k.n#±1 & 2.k.n#-1\n\t7 : Twin/CC: k.n#±1 & 2.k.n#+1\n"
    "\t8 : LP: k.n#±1 & ½.k.n#+1 & 2.k.n#+1\n\t9 : LM: k.n#±1 & ½.k.n#-1 & 2.k.n#-1\n\t10 : CC 1st kind\n"
    "\t11 : CC 2nd kind\n\t12 : BiTwin\n\t13 : AP: n#+2k-1\n\t14 : 3-tuple: k.n#/5±1 & k.n#/5+5\n"
    "\t15 : 4-tuple: k.n#/35±1, +5, +7\n\t16 : PrimoProth: k#.2^n+1 with k fixed\n"
    "\t17 : PrimoProth: k#.2^n-1 with k fixed\nPlease, enter your choice (0) : ";
inline const std::string DefaultSettings =
    "TrayIcon = 1\nWorkerThreadPriorityLowest = 1\nPriority = Normal\nBitmapThreshold = 400000000\n"
    "MinutesBetweenWrites = 30\nDSM_TwoSaveFiles = 0\nDSM_AlwaysSave = 0\nTwoSaveFiles = 0\nDSM_LogDeleted = 0\n";

// A saved k.2^1000+1 sieve file: its header, then lines "k 1000".
inline bool isSavedKTimes2To1000Plus1(const std::string& file) {
  return std::regex_search(file, std::regex("^[0-9]+:P:1:2:1\n[0-9]+ 1000\n"));
}

inline bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The lines of a new file's run as normaliseRun leaves them: the opening (processor, store,
// candidates, size), the start of fixed-n and of fixed-k sieves, and the close of a run
// stopped at the first prime above 1000.
inline std::string runOpening(const std::string& kb, int candidates, const std::string& digits) {
  return "CPU capabilities: <features>\nUsing bitmap : allocating " + kb + " of RAM...\n...succeeded\n" +
         std::to_string(candidates) + " candidates\nSieving numbers with " + digits + " decimal digits\n";
}
inline const std::string FixedNStart =
    "Initialising sieve...\nDone.\nHH:MM:SS Starting sieve (reduced screen output while p < 1 billion)\n";
inline const std::string FixedKStart = "Initialising sieve...\nDone.\nHH:MM:SS Starting sieve \n";
inline std::string runClosing(const std::string& file, int survivors, char letter) {
  return "Sieved up to 1009\nHH:MM:SS Saving results to " + file + "...\nHH:MM:SS ...done.\nOutput file '" + file +
         "' generated, contains " + std::to_string(survivors) + " " + letter + "'s\n\n";
}

// A run's output with what depends on the machine or the clock made fixed: the processor
// features line becomes "CPU capabilities: <features>", every time of day "HH:MM:SS", and
// removal reports after the first one of a run (they appear only when the run crosses a
// second of the clock) are dropped with their "left" line and a rate line after them. The
// progress fields after "Sieved up to N" also come only once a second has passed, so they go.
inline std::string normaliseRun(const std::string& output) {
  static const std::regex cpu("CPU capabilities: CMOV: (S|Uns)upported\\. SSE2: (S|Uns)upported\\.");
  static const std::regex clock("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]");
  static const std::regex report("HH:MM:SS [0-9]+ [kn]'s remaining\\. p=[0-9]+ divides [kn]=[0-9]+\n");
  static const std::regex progress("(Sieved up to [0-9]+):[^\r\n]*");
  const std::string text = std::regex_replace(
      std::regex_replace(std::regex_replace(output, cpu, "CPU capabilities: <features>"), clock, "HH:MM:SS"),
      progress, "$1");
  auto lineEnd = [&text](size_t from) {
    size_t end = text.find('\n', from);
    return end == std::string::npos ? text.size() : end + 1;
  };
  std::string result;
  bool reported = false;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = lineEnd(pos);
    std::string line = text.substr(pos, end - pos);
    pos = end;
    if (line.find("Starting sieve") != std::string::npos) reported = false;
    // A report may follow a status line that ends with '\r'.
    size_t cr = line.rfind('\r');
    std::string tail = cr == std::string::npos ? line : line.substr(cr + 1);
    if (std::regex_match(tail, report)) {
      if (reported) {
        result += line.substr(0, line.size() - tail.size());
        for (const char* follower : {"'s left\n", "Rate: "}) {
          end = lineEnd(pos);
          if (text.substr(pos, end - pos).find(follower) != std::string::npos) pos = end;
        }
        continue;
      }
      reported = true;
    }
    result += line;
  }
  return result;
}
