// State of the console front end: the answer fields that options preset and the dialogue
// fills, the default answers, and the lasting flags kept in the settings file.
#pragma once
#include <cstdint>
#include <string>

struct FrontEnd {
  // Answer fields (at most TEXT_FIELD_MAX characters each); empty means "still to ask".
  // The output and input file names live in the job (`job.outbuff`, `job.inbuff`).
  std::string tbuff;        // type number
  std::string lbuff = "3";  // chain length
  std::string bbuff;        // base
  std::string nbuff;        // the fixed value: n, or k (digits or a product 3*5*11)
  std::string kminbuff;     // low limit of the range
  std::string kmaxbuff;     // high limit of the range

  bool fGenerateFile = true;  // new file (true) or continue an old one
  char verifydefault = 'n';
  char primorialdefault = 'n';
  char LogDefault = 'n';
  char SaveDefault = 'y';
  int WorkerThreadPriority = 20;  // nice value while a file is sieved
  bool fAutoStartRequired = false;
  bool Ready = false;  // full command-line mode
  int ExitStatus = 0;  // outcome of the full command-line job (EXIT_...)

  // Lasting choices read from and written to the settings file.
  bool DSM_TwoSaveFiles = false;  // do not explain two save files again
  bool DSM_LogDeleted = false;    // do not explain the removed-values log again
  bool DSM_DSMYNC = false;        // always back up an existing output file
  bool fTwoSaveFilesInIniFile = false;
  bool fAutoStart = false;  // the settings file named a file to continue
  std::string AutoRunFile;
  bool fAutoStartHidden = false;

  // Range of the first file of an auto-increment series.
  int64_t SaveMinNum = 0;
  int64_t SaveMaxNum = 0;
};

extern FrontEnd ui;

// Ends a job that does not end the program (and follows every service): the job's one-off
// settings and the answer fields go back to their reset values; lasting choices stay.
void ResetToDefaults();

// The rate criterion's stop value (tenths of a second per removed value) for a rate given in
// seconds: truncated, at least 1, and kept within range however large or negative the rate.
int64_t RateStopValue(double seconds);

// Exit statuses of full command-line mode (interactive sessions end with 0).
enum : int {
  EXIT_FINISHED = 0,         // the stop was reached, every value removed, or all remaining prime
  EXIT_INVALID_JOB = 1,      // an invalid option, value or job
  EXIT_INPUT_REFUSED = 2,    // the input file could not be read or was refused
  EXIT_OUTPUT_FAILED = 3,    // the output could not be written
  EXIT_VERIFY_FAILED = 4,    // a removal failed its verification (an internal fault, see morvane.err)
  EXIT_INTERNAL_ERROR = 5,   // any other fault (out of memory, a logic error); the last save stands
  EXIT_INTERRUPTED = 130,    // stopped by SIGINT or SIGTERM after a valid save
};

// The smallest bitmap capacity (bits) an option, a setting or the menu may set: below it
// every large range splits into so many sub-ranges that a run crawls.
constexpr int64_t MIN_BITMAP_BITS = 512;
// Minutes between saves: at most about two years.
constexpr int64_t MAX_SAVE_MINUTES = 1000000;

// Thrown to end the program at once with a status (full command-line mode refusing a job);
// caught by the start-up code, which then skips the settings write.
struct ProgramExit {
  int status;
};
