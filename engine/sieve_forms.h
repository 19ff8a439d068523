// The vocabulary of sieve forms: the `_mode` bits, the table of sieve types and the pure
// functions over them. Stateless, so the tester and the services read files with it
// without the job record.
#pragma once
#include <cstdint>

// Form bits of `_mode`; stored in decimal in every sieve-file header, so the values are fixed.
enum : uint32_t {
  MODE_PLUS = 0x0001,
  MODE_MINUS = 0x0002,
  MODE_PLUS2 = 0x0004,
  MODE_MINUS2 = 0x0008,
  MODE_CHAIN_PLUS = 0x0010,
  MODE_CHAIN_MINUS = 0x0020,
  MODE_PRIMORIAL = 0x0040,
  MODE_PLUS5 = 0x0080,
  MODE_FIXED_K = 0x0100,
  MODE_AP = 0x0200,
  MODE_NOT_GENERALIZED = 0x0400,
  MODE_PLUS7 = 0x0800,
  MODE_SG3 = 0x1000,
  MODE_ODD_N = 0x2000,
  MODE_EVEN_K = 0x4000,
  MODE_BN_K = 0x8000,
};

// Modifier bits that sit on top of a type's base value.
constexpr uint32_t MODE_MODIFIERS = MODE_EVEN_K | MODE_ODD_N | MODE_NOT_GENERALIZED | MODE_PRIMORIAL;
// Bits that make the candidate set a range of n rather than of k.
constexpr uint32_t MODE_N_VARIES = MODE_BN_K | MODE_FIXED_K;

// The type table. Rows are indexed by the menu number `tcode`.
constexpr int NUM_TYPES = 21;
constexpr int NUM_PRIMORIAL_TYPES = 18;
extern const char* const NGtypes[NUM_TYPES];           // normal list (chains not generalized)
extern const char* const Gtypes[NUM_TYPES];            // list with generalized chains
extern const char* const Ptypes[NUM_PRIMORIAL_TYPES];  // primorial list
extern const uint32_t TypeModes[NUM_TYPES];            // base value of `_mode` per type

// Mode letter for a `_mode` word, or 0 when the word matches no type.
char ModeLetter(uint32_t mode);
// Type number recovered from a `_mode` word, or -1 when it matches no type.
int TypeFromMode(uint32_t mode);
// `_mode` for a new job of type tcode with the user's choices (primorial mode,
// generalized chains, even k, base).
uint32_t BuildMode(int type, bool primorial, bool generalized, bool evenKs, uint32_t base);

// Types 8 and 9 (Lucky Plus/Minus) are sieved one exponent lower than entered.
bool IsLuckyMode(uint32_t mode);
// n as written in a fixed-n sieve file: one higher for chain types sieved one lower.
bool WritesNPlusOne(uint32_t mode, uint32_t base);
