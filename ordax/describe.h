// Readable text for a sieve-file line whose members are all primes, e.g.
// "1095·2^1000±1 is a twin prime pair (proven)"; "(probable)" unless every member is proven.
#pragma once
#include <string>
#include <vector>

#include "ordax/forms.h"

std::string DescribeLine(const FormSpec& spec, const SieveLine& line, const std::vector<Member>& members,
                         bool proven = false);
// The menu text of the file's sieve type, for the opening message.
std::string TypeText(const FormSpec& spec);
