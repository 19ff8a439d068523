// The sieve-type tables and the pure rules over `_mode`.
#include "engine/sieve_forms.h"

const char* const NGtypes[NUM_TYPES] = {
    "k.b^n+1",
    "k.b^n-1",
    "Twin: k.b^n±1",
    "SG: k.b^n-1 & 2k.b^n-1",
    "CC: k.b^n+1 & 2k.b^n+1",
    "BiTwin: k.b^n±1 & 2k.b^n±1",
    "Twin/SG: k.b^n±1 & 2k.b^n-1",
    "Twin/CC: k.b^n±1 & 2k.b^n+1",
    "LP: k.b^n±1 & k.b^(n-1)+1 & k.b^(n+1)+1",
    "LM: k.b^n±1 & k.b^(n-1)-1 & k.b^(n+1)-1",
    "CC 1st kind",
    "CC 2nd kind",
    "BiTwin",
    "AP: b^n+2k-1 (-2 if b is odd)",
    "3-tuple: k.b^n±1 & k.b^n+5",
    "4-tuple: k.b^n±1, +5, +7",
    "k.b^n+1 with k fixed",
    "k.b^n-1 with k fixed",
    "SG: k.b^n+1 & 2k.b^n+3",
    "b^n+k with k fixed",
    "b^n-k with k fixed",
};

const char* const Gtypes[NUM_TYPES] = {
    "k.b^n+1",
    "k.b^n-1",
    "Twin: k.b^n±1",
    "SG: k.b^n-1 & k.b^(n+1)-1",
    "CC: k.b^n+1 & k.b^(n+1)+1",
    "BiTwin: k.b^n±1 & k.b^(n+1)±1",
    "Twin/SG: k.b^n±1 & k.b^(n+1)-1",
    "Twin/CC: k.b^n±1 & k.b^(n+1)+1",
    "LP: k.b^n±1 & k.b^(n-1)+1 & k.b^(n+1)+1",
    "LM: k.b^n±1 & k.b^(n-1)-1 & k.b^(n+1)-1",
    "CC 1st kind",
    "CC 2nd kind",
    "BiTwin",
    "AP: b^n+2k-1 (-2 if b is odd)",
    "3-tuple: k.b^n±1 & k.b^n+5",
    "4-tuple: k.b^n±1, +5, +7",
    "k.b^n+1 with k fixed",
    "k.b^n-1 with k fixed",
    "SG: k.b^n+1 & 2k.b^n+3",
    "b^n+k with k fixed",
    "b^n-k with k fixed",
};

const char* const Ptypes[NUM_PRIMORIAL_TYPES] = {
    "k.n#+1",
    "k.n#-1",
    "Twin: k.n#±1",
    "SG: k.n#-1 & 2.k.n#-1",
    "CC: k.n#+1 & 2.k.n#+1",
    "BiTwin: k.n#±1 & 2.k.n#±1",
    "Twin/SG: k.n#±1 & 2.k.n#-1",
    "Twin/CC: k.n#±1 & 2.k.n#+1",
    "LP: k.n#±1 & ½.k.n#+1 & 2.k.n#+1",
    "LM: k.n#±1 & ½.k.n#-1 & 2.k.n#-1",
    "CC 1st kind",
    "CC 2nd kind",
    "BiTwin",
    "AP: n#+2k-1",
    "3-tuple: k.n#/5±1 & k.n#/5+5",
    "4-tuple: k.n#/35±1, +5, +7",
    "PrimoProth: k#.2^n+1 with k fixed",
    "PrimoProth: k#.2^n-1 with k fixed",
};

const uint32_t TypeModes[NUM_TYPES] = {
    0x0001, 0x0002, 0x0003, 0x000A, 0x0005, 0x000F, 0x000B, 0x0007, 0x001D, 0x002E, 0x002A,
    0x0015, 0x003F, 0x0200, 0x0083, 0x0883, 0x0101, 0x0102, 0x1001, 0x8001, 0x8002,
};

namespace {
const char TypeLetters[NUM_TYPES] = {'P', 'M', 'T', 'S', 'C', 'B', 'J', 'K', 'Y', 'Z', '1',
                                     '2', '3', 'A', 'T', 'T', 'P', 'M', 'P', 'P', 'M'};
}  // namespace

char ModeLetter(uint32_t mode) {
  uint32_t masked = mode & ~(MODE_BN_K | MODE_EVEN_K | MODE_ODD_N | MODE_NOT_GENERALIZED |
                             MODE_FIXED_K | MODE_PRIMORIAL);
  for (int t = 0; t < NUM_TYPES; ++t) {
    uint32_t base = TypeModes[t] & ~(MODE_BN_K | MODE_FIXED_K);
    if (base == masked) return TypeLetters[t];
  }
  return 0;
}

int TypeFromMode(uint32_t mode) {
  uint32_t masked = mode & ~MODE_MODIFIERS;
  for (int t = 0; t < NUM_TYPES; ++t)
    if (TypeModes[t] == masked) return t;
  return -1;
}

uint32_t BuildMode(int type, bool primorial, bool generalized, bool evenKs, uint32_t base) {
  uint32_t mode = primorial ? uint32_t{MODE_PRIMORIAL} : 0u;
  if (!primorial && !generalized && base != 2 && type >= 3 && type <= 7) mode |= MODE_NOT_GENERALIZED;
  bool evenAllowed = type != 13 && type != 16 && type != 17 && type != 19 && type != 20;
  if (!primorial && evenKs && base == 2 && evenAllowed) mode |= MODE_EVEN_K;
  return mode | TypeModes[type];
}

bool IsLuckyMode(uint32_t mode) {
  // Even k does not change the form, so 0x401D and 0x402E are centred like 0x1D and 0x2E.
  uint32_t m = mode & ~MODE_EVEN_K;
  return m == 0x1D || m == 0x2E;
}

bool WritesNPlusOne(uint32_t mode, uint32_t base) {
  return (mode & (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS)) && !(mode & MODE_PRIMORIAL) &&
         (base == 2 || !(mode & MODE_NOT_GENERALIZED));
}
