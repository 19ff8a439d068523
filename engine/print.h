// Console output: every message of the program goes through print/fprint.
// A leading "#x" selects the line end: "#s" ends with '\r' (status line), "##" prints
// only a line end, any other letter (or no prefix) ends with '\n'.
#pragma once
#include <string>

void print(const char* msg);
void fprint(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Dialogue text (prompts, menus) written exactly as given, with no line end added, so an
// answer can follow the prompt on the same line.
void printRaw(const std::string& text);
void fprintRaw(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Tests capture the console: while a capture string is set, output is appended to it
// instead of being written to standard output.
void setPrintCapture(std::string* capture);
