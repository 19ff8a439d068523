// The member numbers of one line of a sieve file, described without building them: each is
// its line's base number (k·b^n, k·n#, k·b^n for fixed k, ...) times a multiplier plus a
// small constant. Progress estimates and the file summary need their count and their sizes.
#pragma once
#include <cstdint>
#include <vector>

struct MemberShape {
  double logMultiplier = 0;  // ln of the multiplier (0 for the number itself)
  int addend = 0;            // +1, -1, +3, +5, +7
};

// The members of the form `mode` (chains of len3plus numbers, links by 2 or by the base as
// the form says). Progressions and b^n±k are one number each.
std::vector<MemberShape> MemberShapes(uint32_t mode, uint32_t base, int len3plus);
// Their number: how many numbers of a line must all be prime.
int MemberCount(uint32_t mode, int len3plus);
