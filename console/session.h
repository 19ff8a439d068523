// The interactive session: the main menu, the new-file and old-file dialogues, auto-increment
// series, the run of each job and the hand-off of a finished file to Ordax.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Runs the session until the user leaves it, or for one job in full command-line mode.
// Throws ProgramExit when a refused full command-line job ends the program.
void DoSieving();

// Name of one file of a series: the directory part of name, then number and '_', then the
// rest of the name ("res/work.txt" with 17 gives "res/17_work.txt").
std::string getnewfilename(int64_t number, const std::string& name);

// The argument list of the hand-off: "ordax", the file name, then the words of the extra
// parameters split at blanks, tabs and newlines.
std::vector<std::string> OrdaxArguments(const std::string& file, const std::string& parameters);
