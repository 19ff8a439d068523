// The cache-descriptor sum: which bytes count, the skipped registers, and the table values.
#include "kernels/cpu_features.h"

#include <gtest/gtest.h>

TEST(CacheDescriptors, TableValues) {
  EXPECT_EQ(CacheDescriptorKb(0x22), 512u);
  EXPECT_EQ(CacheDescriptorKb(0x29), 4096u);
  EXPECT_EQ(CacheDescriptorKb(0x7A), 256u);
  EXPECT_EQ(CacheDescriptorKb(0x85), 2048u);
  EXPECT_EQ(CacheDescriptorKb(0x01), 0u);
  EXPECT_EQ(CacheDescriptorKb(0xFF), 0u);
}

TEST(CacheDescriptors, SumSkipsRegistersWithBit31) {
  // Low byte first; the iteration count 0x01 names nothing.
  const uint32_t regs[4] = {0x7A220001u, 0x80000029u, 0x00000000u, 0x00850043u};
  EXPECT_EQ(SumCacheDescriptors(regs), 256u + 512u + 2048u + 512u);
}

TEST(CpuFeatures, ReadOncePerProcess) {
  CpuFeatures a = ReadCpuFeatures(), b = ReadCpuFeatures();
  EXPECT_EQ(a.cmov, b.cmov);
  EXPECT_EQ(a.sse2, b.sse2);
  EXPECT_EQ(a.ifma, b.ifma);
  EXPECT_EQ(CacheSizeKb(), CacheSizeKb());
}
