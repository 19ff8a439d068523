// The dialogue of each service: help text, questions and refusals of the answers. The file
// work itself is in duplicate, merge and test_split, which take the answers as parameters.
#include "console/service_dialogues.h"

#include <fstream>
#include <string>
#include <vector>

#include "common/print.h"
#include "console/prompts.h"
#include "services/duplicate.h"
#include "engine/file_info.h"
#include "services/merge.h"
#include "services/test_split.h"

namespace {

constexpr const char* Split_helptext =
    "Duplicating a file up allows it to be sieved across several different machines.\r\n"
    "Each machine sieves a different range of p, for example the first could sieve from 10 billion to 20 "
    "billion; the second from 20 billion to 30 billion, etc. You must make sure (using the 'Sieve Until' "
    "option on each machine) that the entire range of p is completed.\r\n"
    "The name of each output file indicates what the 'Sieve Until' value should be. For example, if you "
    "duplicate the file Twin.txt (which has been sieved up to 1 billion) into two files, which are to be "
    "sieved for another 5 billion p each, then the first file will be called 6000000000_Twin.txt; the "
    "second will be 11000000000_Twin.txt\r\n"
    "Once the entire range has been sieved, use the 'Merge' service to merge the data back together.";

constexpr const char* Merge_helptext =
    "After a file has been split across multiple machines and sieved, the files must be merged "
    "together.\r\n"
    "Start off with an empty directory, and place all of the files to be merged in this directory. Note "
    "that all of the files in the directory will be merged together, so make sure that there are no other "
    "files present!\r\n"
    "The files will be merged together, and the result of the merge will be placed in the same directory, "
    "with the name Merged.mrv.";

constexpr const char* TestSplit_helptext =
    "This will split a Morvane output file up so that it can be tested on various machines. Enter the name "
    "of the file to be split up, and the number of machines to spread the work among. Then for each "
    "machine, enter its processor speed (MHz).\r\n"
    "Each machine will be given a proportion of the file to test, relative to its speed - so faster "
    "machines get more work.";

// Asks for the file to work on and opens it; false after "Cannot open file".
bool openInput(const char* helptext, std::string& infile, std::ifstream& in) {
  fprintRaw("%s\n\nMorvane file to split : ", helptext);
  get_line(infile);
  in.open(infile, std::ios::binary);
  if (!in) {
    fprintRaw("Cannot open file %s\n", infile.c_str());
    return false;
  }
  return true;
}

// The speed of each machine; an empty answer goes back to the machine before, and an empty
// answer for the first machine abandons the service (false).
bool askSpeeds(std::vector<int>& speeds) {
  for (size_t i = 0; i < speeds.size();) {
    speeds[i] = 0;
    std::string answer;
    bool back = false;
    while (speeds[i] < kMinMachineSpeed) {
      fprintRaw("\rSpeed of machine %zu in Mhz (Min. = 50) : ", i + 1);
      get_line(answer);
      if (answer.empty()) {
        back = true;
        break;
      }
      speeds[i] = leadingNumber(answer);  // -1 (too large for an int) asks again as well
    }
    if (!back) {
      ++i;
    } else if (i == 0) {
      return false;
    } else {
      --i;
    }
  }
  return true;
}

}  // namespace

void FrmSplit() {
  std::string infile, nFbuff, Rbuff;
  std::ifstream in;
  if (!openInput(Split_helptext, infile, in)) return;
  printRaw("Split into ");
  get_line(nFbuff);
  printRaw("files, and sieve over\na range of ");
  int copies = 0;
  if (!checkCopyCount(nFbuff, copies)) return;
  get_line(Rbuff);
  printRaw("p's\n\n");
  int64_t range = 0;
  if (!checkRangeOfP(Rbuff, range)) return;
  DuplicateSieveFile(in, infile, copies, range);
}

void frmMerge() {
  fprintRaw("%s\n\nDirectory containing files to merge : ", Merge_helptext);
  if (!Directory.empty()) {
    fprintRaw("%s\n", Directory.c_str());
  } else {
    get_line(Directory);
    if (Directory.empty()) return;
  }
  if (Directory.back() != '/') Directory += '/';
  // A folder that failed (mistyped, or holding the wrong files) is asked for again next time.
  if (!MergeDirectory(Directory)) Directory.clear();
}

void frmTestSplit() {
  std::string infile, nFbuff;
  std::ifstream in;
  if (!openInput(TestSplit_helptext, infile, in)) return;
  // Nothing to copy means nothing to ask about: refuse before the questions.
  if (!checkSplitInputHasLine(in, infile)) return;
  printRaw("Number of PCs to use (Max. = 100) : ");
  get_line(nFbuff);
  int machines = leadingNumber(nFbuff);
  if (machines < 1 || machines > kMaxTestMachines) {
    fprintRaw("Illegal number : %s\n", nFbuff.c_str());
    return;
  }
  std::vector<int> speeds(static_cast<size_t>(machines));
  if (!askSpeeds(speeds)) return;
  printRaw("\nThe output files will be created - are you sure ?");
  if (!askYesNo('y')) return;
  SplitForTesting(in, infile, speeds);
}

void frmInfo() {
  printRaw("Sieve file to look inside : ");
  std::string name;
  get_line(name);
  if (!name.empty()) DescribeSieveFile(name);
}
