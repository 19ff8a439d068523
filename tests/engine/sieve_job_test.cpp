// The type table, the letter rule, type recovery, the derived fields and the console prefixes.
#include <gtest/gtest.h>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "primes/primetable.h"

namespace {

struct TableEnv : ::testing::Environment {
  void SetUp() override { FillPrimetable(); }
};
const auto* env = ::testing::AddGlobalTestEnvironment(new TableEnv);

TEST(ModeLetter, LetterDependsOnlyOnTheFormBits) {
  EXPECT_EQ(ModeLetter(0x0001), 'P');
  EXPECT_EQ(ModeLetter(0x2101), 'P');  // fixed k with odd n only
  EXPECT_EQ(ModeLetter(0x1001), 'P');  // type 18 shares type 0's letter
  EXPECT_EQ(ModeLetter(0x0003), 'T');
  EXPECT_EQ(ModeLetter(0x0083), 'T');
  EXPECT_EQ(ModeLetter(0x0883), 'T');
  EXPECT_EQ(ModeLetter(0x8002), 'M');
  EXPECT_EQ(ModeLetter(0x405D), 'Y');
  EXPECT_EQ(ModeLetter(0x042A), '1');
  EXPECT_EQ(ModeLetter(0x0240), 'A');
  EXPECT_EQ(ModeLetter(0x0004), 0);
}

TEST(TypeFromMode, RecoversEveryRowThroughItsModifiers) {
  for (int t = 0; t < NUM_TYPES; ++t) {
    EXPECT_EQ(TypeFromMode(TypeModes[t]), t);
    EXPECT_EQ(TypeFromMode(TypeModes[t] | MODE_MODIFIERS), t);
  }
  EXPECT_EQ(TypeFromMode(0x2101), 16);
  EXPECT_EQ(TypeFromMode(0x0004), -1);
}

TEST(BuildMode, AddsModifiersOnlyWhereTheyApply) {
  EXPECT_EQ(BuildMode(3, false, false, false, 10), 0x040Au);
  EXPECT_EQ(BuildMode(3, false, true, false, 10), 0x000Au);
  EXPECT_EQ(BuildMode(3, false, false, false, 2), 0x000Au);
  EXPECT_EQ(BuildMode(2, true, false, true, 2), 0x0043u);
  EXPECT_EQ(BuildMode(2, false, false, true, 2), 0x4003u);
  EXPECT_EQ(BuildMode(13, false, false, true, 2), 0x0200u);
  EXPECT_EQ(BuildMode(16, false, false, true, 2), 0x0101u);
  EXPECT_EQ(BuildMode(2, false, false, true, 3), 0x0003u);
}

TEST(DerivedFields, IncIsTwoLetterAndChainLength) {
  job = SieveJob{};
  job._base = 2;
  job._mode = 0x0003;
  SetDerivedFields();
  EXPECT_TRUE(job.fIncIsTwo);
  EXPECT_EQ(job.k_n, 'k');
  EXPECT_EQ(job.modechar, 'T');

  job._base = 10;  // even base other than 2: every k is a candidate
  SetDerivedFields();
  EXPECT_FALSE(job.fIncIsTwo);

  job._base = 2;
  job._mode = 0x2101;  // odd n only
  SetDerivedFields();
  EXPECT_TRUE(job.fIncIsTwo);
  EXPECT_EQ(job.k_n, 'n');

  job._mode = 0x001D;
  job.len3plus = 1;
  SetDerivedFields();
  EXPECT_EQ(job.len3plus, 3);
  EXPECT_EQ(job.modechar, 'Y');

  job.modechar = 'Q';
  job._mode = 0x0004;  // no such type: the letter stays
  SetDerivedFields();
  EXPECT_EQ(job.modechar, 'Q');
}

TEST(CurrentTypeText, ChoosesTheListByMode) {
  job = SieveJob{};
  job._mode = 0x000A;
  EXPECT_STREQ(CurrentTypeText(), "SG: k.b^n-1 & k.b^(n+1)-1");
  job._mode = 0x040A;
  EXPECT_STREQ(CurrentTypeText(), "SG: k.b^n-1 & 2k.b^n-1");
  job._mode = 0x004A;
  EXPECT_STREQ(CurrentTypeText(), "SG: k.n#-1 & 2.k.n#-1");
  job._mode = 0x0141;
  job.fMyPrimorial = true;
  EXPECT_STREQ(CurrentTypeText(), "k.b^n+1 with k fixed");
}

TEST(Chains, WrittenOneHigherOnlyWhereSievedLower) {
  EXPECT_TRUE(WritesNPlusOne(0x002A, 2));
  EXPECT_TRUE(WritesNPlusOne(0x001D, 10));
  EXPECT_FALSE(WritesNPlusOne(0x042A, 10));
  EXPECT_FALSE(WritesNPlusOne(0x006A, 2));
  EXPECT_FALSE(WritesNPlusOne(0x0003, 2));
  EXPECT_TRUE(IsLuckyMode(0x402E));
  EXPECT_FALSE(IsLuckyMode(0x005D));
}

TEST(PrimorialIndex, LargestTablePrimeNotAbove) {
  std::string out;
  setPrintCapture(&out);
  int32_t index = 0;
  EXPECT_TRUE(ApplyPrimorialIndex(100, false, index));
  EXPECT_EQ(index, 97);
  EXPECT_TRUE(ApplyPrimorialIndex(7, true, index));
  EXPECT_EQ(index, 7);
  EXPECT_FALSE(ApplyPrimorialIndex(2, false, index));
  EXPECT_TRUE(ApplyPrimorialIndex(274579, false, index));
  EXPECT_FALSE(ApplyPrimorialIndex(274580, false, index));
  setPrintCapture(nullptr);
  EXPECT_NE(out.find("Prime value for n = 97\n"), std::string::npos);
  EXPECT_NE(out.find("Prime value for k = 7\n"), std::string::npos);
  EXPECT_NE(out.find("The maximum value for a primorial is 274579#.\nWhat are you thinking of? That has got "
                     "about 119248 decimal digits!\n"),
            std::string::npos);
}

TEST(Print, LineControlPrefixes) {
  std::string out;
  setPrintCapture(&out);
  setConsoleTerminal(1);
  print("#sSieved up to 5");
  print("#s");
  print("#tline");
  print("##");
  print("plain");
  fprint("#o%s has %u %c's", "f.txt", 3u, 'k');
  setConsoleTerminal(-1);
  setPrintCapture(nullptr);
  EXPECT_EQ(out, "Sieved up to 5\r              \rline\n\nplain\nf.txt has 3 k's\n");
}

TEST(Primetable, FirstLastAndSentinel) {
  EXPECT_EQ(primetable[0], 3u);
  EXPECT_EQ(primetable[9], 31u);
  EXPECT_EQ(primetable[PRIMETABLE_SIZE - 1], 274579u);
  EXPECT_EQ(primetable[PRIMETABLE_SIZE], 0x7fffffffu);
}

}  // namespace
