// The one place the processor is asked about: the features that choose among kernel and
// work-procedure variants (all give identical results) and the cache size the processor's
// descriptors name, each read once per process.
#pragma once
#include <cstdint>

struct CpuFeatures {
  bool cmov = false;
  bool sse2 = false;
  bool ifma = false;  // AVX-512 F and IFMA, with the ZMM state enabled by the system
};

// CPUID leaf 1: CMOV is bit 15 and SSE2 bit 26 of EDX; leaf 7: AVX-512 F is bit 16 and IFMA
// bit 21 of EBX, usable only when XCR0 shows the system saves the opmask and ZMM registers.
// The environment variable MORVANE_CPU, read once, can mask them for tests: it may hold
// "nocmov", "nosse2" and "noifma", in any combination.
CpuFeatures ReadCpuFeatures();

// Sum in KB of the cache sizes named by the CPUID leaf-2 descriptor bytes (0 where the
// processor names none this way); computed on the first call only.
uint32_t CacheSizeKb();

// The descriptor table: the KB one descriptor byte names, 0 for every other byte.
uint32_t CacheDescriptorKb(uint8_t descriptor);
// The sum over the four leaf-2 registers (a register with bit 31 set holds no descriptors).
uint32_t SumCacheDescriptors(const uint32_t regs[4]);
