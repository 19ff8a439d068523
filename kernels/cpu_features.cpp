// CPUID leaves 1, 2 and 7, the test mask, and the cache-descriptor sum.
#include "kernels/cpu_features.h"

#include <cpuid.h>

#include <cstdlib>
#include <cstring>

namespace {

CpuFeatures DetectOnce() {
  CpuFeatures f;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    f.cmov = (d >> 15) & 1;
    f.sse2 = (d >> 26) & 1;
    // XSAVE enabled by the system (OSXSAVE, ECX bit 27), and XCR0 keeping the SSE, AVX,
    // opmask and both ZMM register states (bits 1, 2, 5, 6, 7).
    bool zmmSaved = false;
    if ((c >> 27) & 1) {
      unsigned lo = 0, hi = 0;
      __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
      zmmSaved = (lo & 0xE6u) == 0xE6u;
    }
    unsigned b7 = 0, c7 = 0, d7 = 0, a7 = 0;
    if (zmmSaved && __get_cpuid_count(7, 0, &a7, &b7, &c7, &d7))
      f.ifma = ((b7 >> 16) & 1) && ((b7 >> 21) & 1);
  }
  if (const char* mask = std::getenv("MORVANE_CPU")) {
    if (std::strstr(mask, "nocmov")) f.cmov = false;
    if (std::strstr(mask, "nosse2")) f.sse2 = false;
    if (std::strstr(mask, "noifma")) f.ifma = false;
  }
  return f;
}

}  // namespace

CpuFeatures ReadCpuFeatures() {
  static const CpuFeatures features = DetectOnce();
  return features;
}

uint32_t CacheDescriptorKb(uint8_t descriptor) {
  switch (descriptor) {
    case 0x22: return 512;
    case 0x23: return 1024;
    case 0x25: return 2048;
    case 0x29: return 4096;
    case 0x41: return 128;
    case 0x42: return 256;
    case 0x43: return 512;
    case 0x44: return 1024;
    case 0x45: return 2048;
    case 0x79: return 128;
    case 0x7A: return 256;
    case 0x7B: return 512;
    case 0x7C: return 1024;
    case 0x82: return 256;
    case 0x83: return 512;
    case 0x84: return 1024;
    case 0x85: return 2048;
    default: return 0;
  }
}

uint32_t SumCacheDescriptors(const uint32_t regs[4]) {
  uint32_t total = 0;
  for (int r = 0; r < 4; ++r) {
    if (regs[r] & 0x80000000u) continue;
    for (int byte = 0; byte < 4; ++byte) total += CacheDescriptorKb(static_cast<uint8_t>(regs[r] >> (8 * byte)));
  }
  return total;
}

uint32_t CacheSizeKb() {
  static const uint32_t size = [] {
    unsigned regs[4] = {0, 0, 0, 0};
    if (!__get_cpuid(2, &regs[0], &regs[1], &regs[2], &regs[3])) return 0u;
    const uint32_t values[4] = {regs[0], regs[1], regs[2], regs[3]};
    return SumCacheDescriptors(values);
  }();
  return size;
}
