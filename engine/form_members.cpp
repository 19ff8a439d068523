// Member numbers per form, from the form bits: one number per +1/-1/+5/+7 bit, one per link
// of a pair, and one per further link of a chain.
#include "engine/form_members.h"

#include <cmath>

#include "engine/sieve_job.h"

std::vector<MemberShape> MemberShapes(uint32_t mode, uint32_t base, int len3plus) {
  std::vector<MemberShape> members;
  if (mode & (MODE_AP | MODE_BN_K)) {
    members.push_back({0.0, (mode & MODE_MINUS) ? -1 : 1});
    return members;
  }
  // Links double the number, or multiply it by the base for generalized chains.
  const bool halves = base == 2 || (mode & (MODE_NOT_GENERALIZED | MODE_PRIMORIAL));
  const double logLink = std::log(halves ? 2.0 : static_cast<double>(base));
  if (mode & MODE_MINUS) members.push_back({0.0, -1});
  if (mode & MODE_PLUS) members.push_back({0.0, 1});
  if (mode & MODE_PLUS5) members.push_back({0.0, 5});
  if (mode & MODE_PLUS7) members.push_back({0.0, 7});
  if (mode & MODE_MINUS2) members.push_back({logLink, -1});
  if (mode & MODE_PLUS2) members.push_back({logLink, 1});
  if (mode & MODE_SG3) members.push_back({std::log(2.0), 3});
  for (int link = 3; link <= len3plus; ++link) {
    const double logMultiplier = (link - 1) * logLink;
    if (mode & MODE_CHAIN_MINUS) members.push_back({logMultiplier, -1});
    if (mode & MODE_CHAIN_PLUS) members.push_back({logMultiplier, 1});
  }
  if (members.empty()) members.push_back({0.0, 1});
  return members;
}

int MemberCount(uint32_t mode, int len3plus) {
  return static_cast<int>(MemberShapes(mode, 2, len3plus).size());
}
