// Console output: every message of the program goes through print/fprint.
// A leading "#x" selects the line end: "#s" ends with '\r' (status line), "##" prints
// only a line end, any other letter (or no prefix) ends with '\n'.
// A status line is kept clean: a shorter status line is padded over a longer one, and any
// other message blanks the status line before it is written. When the console is not a
// terminal (a pipe, a log file) a status line is written as a plain line instead.
#pragma once
#include <cstddef>
#include <string>

void print(const char* msg);
void fprint(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Dialogue text (prompts, menus) written exactly as given, with no line end added, so an
// answer can follow the prompt on the same line.
void printRaw(const std::string& text);
void fprintRaw(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Blanks the status line on screen, if any.
void ClearStatusLine();
// For the interrupt handler: blanks the status line (and the "^C" the terminal echoed) and
// writes text, with write(2) only.
void PrintFromSignal(const char* text, size_t length);

// Whether the console is a terminal that status lines can overwrite. Standard output decides,
// unless a test has chosen.
bool ConsoleIsTerminal();
// Columns of the terminal, or 0 when unknown (then status lines are not cut).
size_t ConsoleWidth();

// Tests capture the console: while a capture string is set, output is appended to it
// instead of being written to standard output. Captured output counts as no terminal
// unless setConsoleTerminal says otherwise (-1 restores the default).
// Returns the capture it replaces, so that captures can nest.
std::string* setPrintCapture(std::string* capture);
void setConsoleTerminal(int terminal);
