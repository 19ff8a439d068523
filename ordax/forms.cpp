// The member numbers of each sieve type, in the order the sieve's own verification checks them:
// k·b^n−1, +1, +5, +7, then the next link (2x or b·x) −1, +1, then 2x+3, then the chain links.
#include "ordax/forms.h"

#include <cmath>

#include "engine/sieve_forms.h"

namespace {

// Anything larger would take days to test and gigabytes to hold; such a file is refused.
constexpr double kMaxBits = 1u << 26;
constexpr int64_t kMaxChainLength = 1000;
constexpr unsigned long kMinPrimorialIndex = 3;

}  // namespace

unsigned long PrimorialDivisor(uint32_t mode, unsigned long n) {
  unsigned long d = IsLuckyMode(mode & ~MODE_PRIMORIAL) ? 2 : 1;
  if ((mode & MODE_PLUS5) && n >= 5) d *= 5;
  if ((mode & MODE_PLUS7) && n >= 7) d *= 7;
  return d;
}

bool MakeFormSpec(const SieveInput& in, FormSpec& spec, std::string& error) {
  spec = FormSpec{};
  if (in.mode < 0 || in.mode > 0xFFFF || TypeFromMode(static_cast<uint32_t>(in.mode)) < 0) {
    error = "the header names no known sieve type (mode " + std::to_string(in.mode) + ")";
    return false;
  }
  spec.mode = static_cast<uint32_t>(in.mode);
  spec.type = TypeFromMode(spec.mode);
  spec.primorial = spec.mode & MODE_PRIMORIAL;
  spec.nVaries = spec.mode & MODE_N_VARIES;
  spec.factorForm = in.factorForm;
  if (in.base < 2 || in.base > UINT32_MAX) {
    error = "the header gives base " + std::to_string(in.base) + "; a base must be at least 2";
    return false;
  }
  spec.base = static_cast<uint32_t>(in.base);
  if (spec.primorial && spec.type >= NUM_PRIMORIAL_TYPES) {
    error = "sieve type " + std::to_string(spec.type) + " has no primorial form";
    return false;
  }
  if ((spec.primorial || spec.factorForm) && spec.base != 2) {
    error = "a primorial or product-form file must have base 2";
    return false;
  }
  if (spec.factorForm) {
    if (spec.type != 16 && spec.type != 17) {
      error = "a product-form header (ABC ...) needs a fixed-k type k.2^n+1 or k.2^n-1";
      return false;
    }
    double bits = 0;
    for (size_t i = 0; i < in.factors.size(); ++i) {
      if (in.factors[i] == 0) {
        error = "a factor of k in the header is 0";
        return false;
      }
      bits += std::log2(static_cast<double>(in.factors[i]));
      if (bits > kMaxBits) {
        error = "the product of the factors of k is too large to test";
        return false;
      }
      spec.factorProduct *= mpz_class(static_cast<unsigned long>(in.factors[i]));
      spec.factorText += (i ? "·" : "") + std::to_string(in.factors[i]);
      spec.factors.push_back(in.factors[i]);
    }
  }
  if (spec.mode & (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS)) {
    if (in.len3plus < 3 || in.len3plus > kMaxChainLength) {
      error = "the chain length in the header is " + std::to_string(in.len3plus) +
              "; a chain has 3 to " + std::to_string(kMaxChainLength) + " links";
      return false;
    }
    spec.len3plus = static_cast<int>(in.len3plus);
  }
  spec.linkMultiplier = (spec.base == 2 || (spec.mode & MODE_NOT_GENERALIZED)) ? 2 : spec.base;
  spec.nAdjust = (!spec.nVaries && WritesNPlusOne(spec.mode, spec.base)) ? 1 : 0;
  return true;
}

bool CheckLine(const FormSpec& spec, const SieveLine& line, std::string& error) {
  const int64_t k = line.first;
  const int64_t n = spec.nVaries ? line.second : line.second - spec.nAdjust;
  if (k < 1 || line.second > INT32_MAX || n < 0) {
    error = "the line \"" + std::to_string(line.first) + " " + std::to_string(line.second) +
            "\" is out of range for this type";
    return false;
  }
  if (spec.primorial && !spec.nVaries && static_cast<unsigned long>(n) < kMinPrimorialIndex) {
    error = "the primorial index " + std::to_string(n) + " is below 3";
    return false;
  }
  // Size of the largest member, in bits, from logarithms: k, b^n (or n#, k#) and the links.
  double bits = std::log2(static_cast<double>(k)) + spec.len3plus + 8;
  if (spec.nVaries && spec.factorForm) {
    bits = mpz_sizeinbase(spec.factorProduct.get_mpz_t(), 2) + 8;
  } else if (spec.nVaries && spec.primorial) {
    bits = 1.45 * static_cast<double>(k) + 8;
  }
  if (spec.primorial && !spec.nVaries) {
    bits += 1.45 * static_cast<double>(n);
  } else {
    bits += static_cast<double>(n + spec.len3plus) * std::log2(static_cast<double>(spec.base));
  }
  if (bits > kMaxBits) {
    error = "the line \"" + std::to_string(line.first) + " " + std::to_string(line.second) +
            "\" stands for numbers of about " + std::to_string(static_cast<int64_t>(bits * 0.30103)) +
            " digits, too large to test";
    return false;
  }
  return true;
}

const mpz_class& MemberBuilder::Power(unsigned long n) {
  if (powerN_ != static_cast<long>(n)) {
    mpz_ui_pow_ui(power_.get_mpz_t(), spec_.base, n);
    powerN_ = static_cast<long>(n);
  }
  return power_;
}

const mpz_class& MemberBuilder::PrimorialMultiplier(unsigned long n) {
  if (primorialN_ != static_cast<long>(n)) {
    mpz_primorial_ui(primorial_.get_mpz_t(), n);
    primorial_ /= PrimorialDivisor(spec_.mode, n);
    primorialN_ = static_cast<long>(n);
  }
  return primorial_;
}

void MemberBuilder::Push(std::vector<Member>& out, const mpz_class& x, long offset, int link, bool doubled) {
  Member m;
  m.offset = offset;
  m.value = x + m.offset;
  m.link = link;
  m.doubled = doubled;
  out.push_back(std::move(m));
}

void MemberBuilder::Build(const SieveLine& line, std::vector<Member>& out) {
  out.clear();
  const uint32_t mode = spec_.mode;
  const mpz_class k(static_cast<long>(line.first));
  const unsigned long n = static_cast<unsigned long>(spec_.nVaries ? line.second : line.second - spec_.nAdjust);

  if (mode & MODE_BN_K) {  // b^n ± k
    Member m;
    m.offset = (mode & MODE_PLUS) ? k : mpz_class(-k);
    m.value = Power(n) + m.offset;
    out.push_back(std::move(m));
    return;
  }
  if (mode & MODE_AP) {  // b^n + 2k − 1, one less for odd b; n# + 2k − 1
    Member m;
    m.offset = 2 * k - 1 - (spec_.primorial ? 0 : spec_.base & 1);
    m.value = (spec_.primorial ? PrimorialMultiplier(n) : Power(n)) + m.offset;
    out.push_back(std::move(m));
    return;
  }

  mpz_class x;
  if (spec_.nVaries) {
    if (spec_.factorForm) {
      x = spec_.factorProduct;
    } else if (spec_.primorial) {
      if (kPrimorialK_ != line.first) {
        mpz_primorial_ui(kPrimorial_.get_mpz_t(), static_cast<unsigned long>(line.first));
        kPrimorialK_ = line.first;
      }
      x = kPrimorial_;
    } else {
      x = k;
    }
    x *= Power(n);
  } else {
    x = k * (spec_.primorial ? PrimorialMultiplier(n) : Power(n));
  }

  if (mode & MODE_MINUS) Push(out, x, -1, 0, false);
  if (mode & MODE_PLUS) Push(out, x, 1, 0, false);
  if (mode & MODE_PLUS5) Push(out, x, 5, 0, false);
  if (mode & MODE_PLUS7) Push(out, x, 7, 0, false);
  int link = 0;
  if (mode & (MODE_PLUS2 | MODE_MINUS2)) {
    x *= spec_.linkMultiplier;
    ++link;
    if (mode & MODE_MINUS2) Push(out, x, -1, link, false);
    if (mode & MODE_PLUS2) Push(out, x, 1, link, false);
  }
  if (mode & MODE_SG3) Push(out, 2 * x, 3, link, true);
  if (mode & (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS)) {
    for (int i = 3; i <= spec_.len3plus; ++i) {
      x *= spec_.linkMultiplier;
      ++link;
      if (mode & MODE_CHAIN_MINUS) Push(out, x, -1, link, false);
      if (mode & MODE_CHAIN_PLUS) Push(out, x, 1, link, false);
    }
  }
}
