// The test of one line. The first pass costs one powering per member and throws out almost
// every line; only lines whose members all pass it reach the proofs, which then know each
// member proven before them (so 2p + 1 and the next link of a chain see p in N − 1).
#include "ordax/tester.h"

#include "engine/sieve_forms.h"

namespace {

void AddWordPrimes(uint64_t v, std::vector<mpz_class>& out) {
  for (uint64_t q : WordPrimeFactors(v)) out.emplace_back(std::to_string(q));
}

}  // namespace

LineTester::LineTester(const FormSpec& spec) : spec_(spec), builder_(spec) {
  fixedPrimes_.emplace_back(2);
  AddWordPrimes(spec.base, fixedPrimes_);
  for (uint64_t f : spec.factors) AddWordPrimes(f, fixedPrimes_);
}

std::vector<mpz_class> LineTester::KnownPrimes(const SieveLine& line) {
  std::vector<mpz_class> known = fixedPrimes_;
  if (spec_.mode & (MODE_BN_K | MODE_AP)) return known;  // their N ∓ 1 is not k·X
  if (spec_.primorial) {
    const long limit = spec_.nVaries ? line.first : line.second - spec_.nAdjust;
    if (limit != primesUpTo_) {
      primorialPrimes_.clear();
      mpz_class q = 2;
      while (q <= limit) {
        primorialPrimes_.push_back(q);
        mpz_nextprime(q.get_mpz_t(), q.get_mpz_t());
      }
      primesUpTo_ = limit;
    }
    known.insert(known.end(), primorialPrimes_.begin(), primorialPrimes_.end());
  }
  if (!spec_.factorForm && line.first > 0) AddWordPrimes(static_cast<uint64_t>(line.first), known);
  return known;
}

LineResult LineTester::Test(const SieveLine& line, const CancelFlag* cancel) {
  LineResult result;
  builder_.Build(line, members_);
  enum class State { Pending, Proven, Probable };
  std::vector<State> states(members_.size(), State::Pending);
  auto cancelled = [&] { return cancel && cancel->load(std::memory_order_relaxed); };
  // First pass: for k·2^n ± 1 (k < 2^n) the proof costs what a filter does, so it is the test.
  for (size_t i = 0; i < members_.size(); ++i) {
    if (cancelled()) return LineResult{false, false, true};
    const mpz_class& n = members_[i].value;
    if (HasBinaryShape(n)) {
      const Verdict v = ProveOrTest(n, {}, cancel);
      if (v.result == Primality::Cancelled) return LineResult{false, false, true};
      if (v.result == Primality::Composite) return result;
      states[i] = v.result == Primality::Proven ? State::Proven : State::Probable;
    } else if (!PassesFilter(n, cancel)) {
      if (cancelled()) return LineResult{false, false, true};
      return result;
    }
  }
  std::vector<mpz_class> known;
  bool knownReady = false;
  for (size_t i = 0; i < members_.size(); ++i) {
    if (states[i] != State::Pending) continue;
    if (!knownReady) {
      known = KnownPrimes(line);
      knownReady = true;
    }
    std::vector<mpz_class> withMembers = known;
    for (size_t j = 0; j < members_.size(); ++j)
      if (states[j] == State::Proven) withMembers.push_back(members_[j].value);
    const Verdict v = ProveOrTest(members_[i].value, withMembers, cancel);
    if (v.result == Primality::Cancelled) return LineResult{false, false, true};
    if (v.result == Primality::Composite) return result;
    states[i] = v.result == Primality::Proven ? State::Proven : State::Probable;
  }
  result.allPrime = true;
  result.proven = true;
  for (State s : states) result.proven = result.proven && s == State::Proven;
  return result;
}
