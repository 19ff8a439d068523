// The member numbers of a sieve-file line: what each line of a file stands for, found from the
// header's `_mode`, base and chain length, and built exactly with GMP in the order they are tested.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ordax/sieve_input.h"

// Everything about the file's form that does not change from line to line.
struct FormSpec {
  int type = -1;  // menu number of the sieve type
  uint32_t mode = 0;
  uint32_t base = 2;
  int len3plus = 1;
  bool nVaries = false;  // fixed-k file: the line's second number is the candidate n
  bool primorial = false;
  bool factorForm = false;
  mpz_class factorProduct = 1;  // factor form: k as the product of its factors
  std::string factorText;       // factor form: "3·5·7"
  std::vector<uint64_t> factors;  // factor form: the factors as written
  uint32_t linkMultiplier = 2;  // each further link of a pair or chain is this times the last
  int nAdjust = 0;              // n as written minus the exponent of the first link
};

// One member: value = stem + offset. The stem is identified by its link and by the doubling of
// the 2k·b^n+3 member, so the text can be rendered only for the lines that are reported.
struct Member {
  mpz_class value;
  int link = 0;
  bool doubled = false;
  mpz_class offset;
};

// A file's form from its header, or false with the reason.
bool MakeFormSpec(const SieveInput& input, FormSpec& spec, std::string& error);
// False with the reason when a line's numbers are out of range or too large to build.
bool CheckLine(const FormSpec& spec, const SieveLine& line, std::string& error);

// Builds the members of each line; keeps the powers and primorials the lines share.
class MemberBuilder {
 public:
  explicit MemberBuilder(const FormSpec& spec) : spec_(spec) {}
  // The line's member numbers in test order. The line must have passed CheckLine.
  void Build(const SieveLine& line, std::vector<Member>& out);

 private:
  const mpz_class& Power(unsigned long n);
  const mpz_class& PrimorialMultiplier(unsigned long n);
  void Push(std::vector<Member>& out, const mpz_class& x, long offset, int link, bool doubled);

  const FormSpec& spec_;
  long powerN_ = -1;
  mpz_class power_;
  long primorialN_ = -1;
  mpz_class primorial_;
  long kPrimorialK_ = -1;
  mpz_class kPrimorial_;
};

// The divisor taken out of n# for the form (2 for Lucky Plus/Minus, 5 and 7 for the tuples).
unsigned long PrimorialDivisor(uint32_t mode, unsigned long n);
