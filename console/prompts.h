// Console prompts: reading one answer a byte at a time, and the questions built on it
// (yes/no, a choice from a list, integers, reals and the base).
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/text_numbers.h"
#include "engine/sieve_job.h"

// Thrown by a question that insists on an answer when the console input has ended; the
// session catches it, says so and ends as if the user had chosen to leave.
struct ConsoleInputEnded {};

// Thrown by a question when the user pressed Control-C at it, or gave no file name: the
// session goes back to its main menu.
struct DialogueCancelled {};
// Set by the interrupt handler while no file is being sieved; the question waiting for an
// answer (or the next one asked) then throws DialogueCancelled.
extern volatile std::sig_atomic_t promptInterrupted;

// Reads one line from the console (descriptor 0 unless redirected), one byte at a time and
// unbuffered, up to a newline, a NUL byte, the end of input or a read error. The newline is
// not stored; characters beyond `limit` are read and dropped. Returns false when the input
// had ended before anything was read (the field is then empty).
bool get_line(std::string& field, size_t limit = TEXT_FIELD_MAX);
// get_line for a question without a default: end of input with nothing read throws
// ConsoleInputEnded instead of returning an empty answer forever.
void get_required_line(std::string& field, size_t limit = TEXT_FIELD_MAX);
// True when the last get_line found the input ended with nothing read.
bool consoleInputEnded();
// Tests and fuzzing read answers from another descriptor; -1 restores descriptor 0.
void setConsoleInput(int fd);

// Prints " (%c) : " with the default and reads a line; an empty answer takes the default.
// Yes exactly when the answer starts with 'Y' or 'y'.
bool askYesNo(char defaultAnswer);
// Prints the numbered list and asks for an index below count; empty takes the default.
int ChooseString(const char* const* list, int count, int defaultIndex);

// Integer questions: print the prompt, empty takes the default, non-digits ask again with
// "Invalid number ; " before the prompt. getNb reads plain decimal (saturating at INT_MAX),
// getNb64 uses _atoi64.
int getNb(const char* prompt, int defaultValue);
int64_t getNb64(const char* prompt, int64_t defaultValue);
// Real question: "0" and "0.0" give 0; any other answer must read as a finite non-zero number.
double getDNb(const char* prompt, double defaultValue);
// Asks "Base = " (or echoes a preset base) until the answer is a base from 2 to 2^31-1.
// In full command-line mode a refused preset base ends the program with status 1.
int getBase();
