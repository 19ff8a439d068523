// Fuzz target: the tester's sieve-file reader on arbitrary bytes, then the checks of the form
// and of every line, and the members and text of the first lines small enough to build quickly.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "ordax/describe.h"
#include "ordax/forms.h"
#include "ordax/sieve_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SieveInput input;
  std::string error;
  std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
  if (!ParseSieveInput(text, input, error)) return 0;
  FormSpec spec;
  if (!MakeFormSpec(input, spec, error)) return 0;
  MemberBuilder builder(spec);
  std::vector<Member> members;
  size_t built = 0;
  for (const SieveLine& line : input.lines) {
    if (!CheckLine(spec, line, error)) return 0;
    // Numbers of millions of digits are valid but would only slow the fuzzer down.
    if (built < 8 && line.second < 3000 && (!spec.primorial || line.first < 3000)) {
      builder.Build(line, members);
      DescribeLine(spec, line, members);
      ++built;
    }
  }
  return 0;
}
