// The per-prime work procedures of the fixed-n sieves: each turns the primes the loop hands
// over into the residue k0 (via the kernels) and passes (p, k0) to RemoveRoutine. Pairing and
// collecting procedures hold primes back between calls; FlushWorkProcedures applies them.
#pragma once
#include <cstdint>
#include <vector>

#include "fixedn/sieve_slots.h"

// Held state, reset at the start of every run by ResetWorkProcedures.
extern int64_t savep;                        // prime held by a pairing procedure; 0 = none
extern int pindex;                           // primes collected by a collecting procedure, 0..5
extern std::vector<uint32_t> baseinverses;   // entry r: −r^(−1) mod b (0 when r and b share a factor)
extern int64_t MaxpForWorkProcNotBase2;      // largest p the table method serves: 2^63 / b

// Fills cells[0..size) with p and the primes after it below the loop's maxp; pads the rest
// with the last prime so that a kernel always sees valid moduli. Returns the number of real
// primes. The batch procedures draw their batches with it.
int DrawBatch(int64_t* cells, int size, int64_t p);

// Clears the held primes of an earlier run.
void ResetWorkProcedures();
// Applies every prime still held back (one paired, up to five collected), so that a file
// written now claims no depth that has not been reached. Installed in `workflush`.
void FlushWorkProcedures();
// The base-2 part of the flush (the procedure in `workprocedure` tells how a held prime is
// processed alone).
void FlushBase2Held();

// Base 2: pairs below 2^32, then six primes per kernel call (drawn from the prime source,
// never at or beyond the loop's maxp), collected sixes, or twelve at a time.
void WorkProcBase2_Smallp(const int64_t& p);
// The procedure WorkProcBase2_Smallp hands over to above 2^32 (by processor features and rule).
WorkProcedure Base2Successor();
void WorkProcBase2_Bigp(const int64_t& p);
void WorkProcBase2_Plus_Bigp(const int64_t& p);
void WorkProcBase2_Minus_Bigp(const int64_t& p);
void WorkProcBase2_Twin_Bigp(const int64_t& p);
void WorkProcBase2_VeryBigp(const int64_t& p);
void WorkProcBase2_NoCMOV_Bigp(const int64_t& p);
void WorkProcBase2_SSE2_Bigp(const int64_t& p);
void WorkProcBase2_AP_Smallp(const int64_t& p);
void WorkProcBase2_AP_Bigp(const int64_t& p);

// Other bases: b^(−1) mod p from the inverse table (or a modular inversion), then b^(−n),
// sixteen primes per call drawn as DrawBatch draws them.
bool FindBaseInverses();
// The per-prime work of a batch of count ≤ POWER_BATCH primes, shared with FindStrikes:
// inv[i] = b^(−1) mod p[i] (by the table for p up to maxTableP, else by inversion; 0 when p
// divides b or is not prime) and, where inv[i] ≠ 0, k[i] = b^(−n) mod p[i].
void OtherBaseResidues(const int64_t* p, int count, int64_t maxTableP, int64_t* inv, int64_t* k);
// Strikes one prime's classes from its residues (byTable: inv came from the table).
void ApplyOtherBase(const int64_t& p, int64_t inv, int64_t k, bool byTable);
// The progression form: k[i] = (1 − b^n)/2 mod p[i] for even b, (2 − b^n)/2 for odd b, in [1, p].
void OtherBaseApResidues(const int64_t* p, int count, int64_t* k);
void WorkProcNotBase2(const int64_t& p);
void WorkProcNotBase2_NoInverses(const int64_t& p);
void WorkProcNotBase2_AP(const int64_t& p);

// Primorial mode: P mod p, then k0 = P^(−1) mod p, or (1 − P)/2 mod p for the progression,
// sixteen primes per call drawn as DrawBatch draws them.
// The per-prime work of a batch of count ≤ PRIMORIAL_BATCH primes, shared with FindStrikes:
// k[i] = the class to strike for p[i], 0 when p[i] strikes nothing (it divides P, or fails
// the inverse's check).
void PrimorialResidues(const int64_t* p, int count, bool progression, int64_t* k);
void WorkProcPrimorial_Smallp(const int64_t& p);
void WorkProcPrimorial_Bigp(const int64_t& p);
void WorkProcPrimorial_AP_Smallp(const int64_t& p);
void WorkProcPrimorial_AP_Bigp(const int64_t& p);
bool IsPrimorialProcedure(WorkProcedure w);
