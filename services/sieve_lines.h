// Whole-line reading and the header and data-line parsing shared by the file services.
// Lines are read at any length, so a long header is never cut into a bogus data line.
#pragma once
#include <cstdint>
#include <istream>
#include <string>

// Reads one line of any length without its '\n'. False at end of input with nothing read.
// hadNewline (when given) tells whether the line ended with '\n' or with the end of input.
bool readWholeLine(std::istream& in, std::string& line, bool* hadNewline = nullptr);

// A header line read as "%qi%s": the sieved-to value and the header rest, which runs from the
// ':' after the number up to the first blank (":P:1:2:1").
struct SieveHeader {
  int64_t p = 0;
  std::string rest;
};
// False when the line does not start with a number (leading 0 octal, 0x hex, as "%qi" reads)
// followed by a rest beginning with ':'. A value line ("3 1000") is therefore no header.
bool parseHeaderLine(const std::string& line, SieveHeader& header);

// A data line read as "%qi %d": first the k (or the fixed k of a fixed-k file), then n.
bool parseDataLine(const std::string& line, int64_t& first, int& second);

// True when the _mode word that ends a header rest has a bit of 0x8100: the file holds a
// range of n for one k, and its second column is the candidate value.
bool headerIsFixedK(const std::string& rest);
