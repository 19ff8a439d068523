// Duplicating a sieve file for several machines: the copies, their names and their headers.
#include "services/duplicate.h"

#include <cinttypes>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "common/number_reader.h"
#include "common/print.h"
#include "common/text_numbers.h"
#include "services/output_files.h"
#include "services/sieve_lines.h"

std::string Lgetnewfilename(int64_t value, const std::string& name) {
  size_t slash = name.rfind('/');
  size_t cut = slash == std::string::npos ? 0 : slash + 1;
  return name.substr(0, cut) + std::to_string(value) + "_" + name.substr(cut);
}

bool checkCopyCount(const std::string& answer, int& copies) {
  if (!isDigitString(answer)) {
    fprintRaw("%s : Invalid number\n", answer.c_str());
    return false;
  }
  long n = std::strtol(answer.c_str(), nullptr, 10);  // saturates, so huge answers stay huge
  if (n < 2 || n > 25) {
    printRaw("This number must be at least 2 and at most 25\n");
    return false;
  }
  copies = static_cast<int>(n);
  return true;
}

bool checkRangeOfP(const std::string& answer, int64_t& range) {
  int64_t r = 0;
  NumberError e = ReadNumber(answer, r);
  if (e != NumberError::None && e != NumberError::Empty) {  // an empty answer is a range of 0
    fprintRaw("%s : Invalid number\n", answer.c_str());
    return false;
  }
  if (r < 2) {
    printRaw("The range must be at least 2 p's\n");
    return false;
  }
  range = r;
  return true;
}

bool DuplicateSieveFile(std::istream& in, const std::string& infile, int copies, int64_t range) {
  std::string first;
  SieveHeader header;
  if (!readWholeLine(in, first) || !parseHeaderLine(first, header)) {
    printRaw("That does not seem to be a valid Morvane file!\n");
    return false;
  }
  int64_t last = 0;
  if (__builtin_mul_overflow(static_cast<int64_t>(copies), range, &last) ||
      __builtin_add_overflow(header.p, last, &last)) {
    printRaw("The range is too large : the last copy would sieve beyond the largest 64-bit p\n");
    return false;
  }

  std::vector<std::string> names;
  std::vector<std::unique_ptr<std::ofstream>> outs;
  for (int i = 0; i < copies; ++i) {
    names.push_back(Lgetnewfilename(header.p + (i + 1) * range, infile));
    auto out = std::make_unique<std::ofstream>(names.back(), std::ios::binary | std::ios::trunc);
    if (!*out) {
      fprintRaw("Cannot open an output file called %s!\n", names.back().c_str());
      return false;
    }
    // A header value v promises that every prime up to v was sieved. The copy before this
    // one stops short of its limit p + i*range, so when that limit is odd (it may be a
    // prime) this copy starts one lower and sieves it.
    int64_t start = header.p + i * range;
    if (i > 0 && start % 2 != 0) --start;
    *out << start << header.rest << '\n';
    outs.push_back(std::move(out));
  }

  std::vector<char> block(1 << 16);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    std::streamsize got = in.gcount();
    if (got <= 0) break;
    for (auto& out : outs) out->write(block.data(), got);
  }
  if (!closeAllOrRemove(outs, names)) return false;

  std::string message = "The output files have been created. They are called ";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i + 1 == names.size()) message += "and ";
    message += names[i];
    if (i + 1 < names.size()) message += ", ";
  }
  message += "\n\n";
  printRaw(message.c_str());
  return true;
}
