// Renders the members of a line as expressions in k, b, n and n#, merging a −1/+1 pair on the
// same stem into "±1", and names what the set of primes is.
#include "ordax/describe.h"

#include "engine/sieve_forms.h"

namespace {

std::string Times(const mpz_class& c, const std::string& rest) {
  return c == 1 ? rest : c.get_str() + "·" + rest;
}

std::string PowerText(uint32_t base, long exponent) {
  return std::to_string(base) + "^" + std::to_string(exponent);
}

// The member without its offset.
std::string StemText(const FormSpec& spec, const SieveLine& line, const Member& m) {
  const mpz_class k(static_cast<long>(line.first));
  if (spec.nVaries) {
    std::string power = PowerText(spec.base, static_cast<long>(line.second));
    if (spec.mode & MODE_BN_K) return power;
    if (spec.factorForm) return spec.factorText.empty() ? power : spec.factorText + "·" + power;
    if (spec.primorial) return std::to_string(line.first) + "#·" + power;
    return Times(k, power);
  }
  const long n = static_cast<long>(line.second - spec.nAdjust);
  if (spec.mode & MODE_AP) return spec.primorial ? std::to_string(n) + "#" : PowerText(spec.base, n);

  mpz_class c = k;
  if (m.doubled) c *= 2;
  if (spec.primorial) {
    // c·n#/d, with the common factor of c and d cancelled: k·n#/2, 2k·n#/2 = k·n#, ...
    c <<= m.link;
    mpz_class d = PrimorialDivisor(spec.mode, static_cast<unsigned long>(n));
    mpz_class g = gcd(c, d);
    c /= g;
    d /= g;
    std::string text = Times(c, std::to_string(n) + "#");
    return d == 1 ? text : text + "/" + d.get_str();
  }
  if (spec.linkMultiplier == spec.base) return Times(c, PowerText(spec.base, n + m.link));
  c <<= m.link;  // links of a non-generalized chain double k
  return Times(c, PowerText(spec.base, n));
}

std::string OffsetText(const mpz_class& offset) {
  return (offset < 0 ? "-" : "+") + mpz_class(abs(offset)).get_str();
}

std::string Kind(const FormSpec& spec) {
  const std::string length = std::to_string(spec.len3plus);
  switch (spec.type) {
    case 2: return "a twin prime pair";
    case 3: return "a Sophie Germain pair";
    case 4: return "a Cunningham pair of the second kind";
    case 5: return "a BiTwin pair";
    case 6: return "a twin pair and a Sophie Germain pair";
    case 7: return "a twin pair and a Cunningham pair";
    case 8: return "a Lucky Plus set";
    case 9: return "a Lucky Minus set";
    case 10: return "a Cunningham chain of the first kind of length " + length;
    case 11: return "a Cunningham chain of the second kind of length " + length;
    case 12: return "a BiTwin chain of length " + length;
    case 14: return "a prime triplet";
    case 15: return "a prime quadruplet";
    case 18: return "a Sophie Germain pair";
    default: return "prime";
  }
}

}  // namespace

std::string DescribeLine(const FormSpec& spec, const SieveLine& line, const std::vector<Member>& members,
                         bool proven) {
  std::string text;
  for (size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    const bool pairsWithNext = i + 1 < members.size() && m.offset == -1 && members[i + 1].offset == 1 &&
                               members[i + 1].link == m.link && members[i + 1].doubled == m.doubled;
    if (!text.empty()) text += " & ";
    text += StemText(spec, line, m);
    if (pairsWithNext) {
      text += "±1";
      ++i;
    } else {
      text += OffsetText(m.offset);
    }
  }
  return text + " is " + Kind(spec) + (proven ? " (proven)" : " (probable)");
}

std::string TypeText(const FormSpec& spec) {
  if (spec.primorial && !spec.factorForm) return Ptypes[spec.type];
  if (spec.mode & MODE_NOT_GENERALIZED) return NGtypes[spec.type];
  return Gtypes[spec.type];
}
