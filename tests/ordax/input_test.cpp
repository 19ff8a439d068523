// Reading sieve files in both header forms, refusing invalid ones with a reason, and the
// readable text of reported lines.
#include <gtest/gtest.h>

#include <sstream>

#include "ordax/describe.h"
#include "ordax/forms.h"
#include "ordax/sieve_input.h"
#include "tests/ordax/in_process.h"

namespace {

SieveInput Parse(const std::string& text) {
  SieveInput in;
  std::string error;
  std::istringstream stream(text);
  EXPECT_TRUE(ParseSieveInput(stream, in, error)) << error;
  return in;
}

std::string ParseError(const std::string& text) {
  SieveInput in;
  std::string error;
  std::istringstream stream(text);
  EXPECT_FALSE(ParseSieveInput(stream, in, error));
  return error;
}

TEST(OrdaxInput, ReadsTheFactorFormHeader) {
  SieveInput in = Parse("ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321\n1 10\n1 12\n");
  EXPECT_TRUE(in.factorForm);
  EXPECT_EQ(in.factors, (std::vector<uint64_t>{3, 5, 7}));
  EXPECT_EQ(in.sievedTo, 1000);
  EXPECT_EQ(in.mode, 0x141);
  EXPECT_EQ(in.base, 2);
  ASSERT_EQ(in.lines.size(), 2u);
  EXPECT_EQ(in.lines[1].second, 12);
}

TEST(OrdaxInput, ReadsThePlainHeaderAndToleratesStrayLines) {
  // Text before the header, CRLF line ends, blank and unparsable lines after it.
  SieveInput in = Parse("\r\n1008:T:1:2:3\r\n3 1000\r\n\r\n5 1000 x\r\n99999999999999999999 3\n7  1000\t\n\n");
  EXPECT_FALSE(in.factorForm);
  EXPECT_EQ(in.sievedTo, 1008);
  EXPECT_EQ(in.letter, 'T');
  EXPECT_EQ(in.mode, 3);
  ASSERT_EQ(in.lines.size(), 2u);
  EXPECT_EQ(in.lines[0].first, 3);
  EXPECT_EQ(in.lines[1].first, 7);
  EXPECT_EQ(in.ignoredLines, 2u);
  EXPECT_EQ(Parse("1008:T:1:2:3\n").lines.size(), 0u);
}

TEST(OrdaxInput, RefusesFilesWithoutAValidHeader) {
  EXPECT_EQ(ParseError("1000:P:1:2\n3 10\n"), "The file does not appear to be valid (the first line is wrong!)");
  EXPECT_EQ(ParseError("ABC 3*5*2^$b+1 //Other:1000:P:1:2:321\n"),
            "The file does not appear to be valid (the first line is wrong!)");
  EXPECT_NE(ParseError("3 10\n1000:P:1:2:1\n").find("no header line came before it"), std::string::npos);
  EXPECT_EQ(ParseError(""), "the file has no header line");
  EXPECT_EQ(ParseError("just words\n"), "the file has no header line");
  // Two files differing in one byte have different fingerprints.
  EXPECT_NE(Parse("100:P:1:2:1\n3 10\n").fingerprint, Parse("100:P:1:2:1\n5 10\n").fingerprint);
}

std::string SpecError(const std::string& text) {
  FormSpec spec;
  std::string error;
  EXPECT_FALSE(MakeFormSpec(Parse(text), spec, error));
  return error;
}

std::string LineError(const std::string& header, long a, long b) {
  FormSpec spec;
  std::string error;
  EXPECT_TRUE(MakeFormSpec(Parse(header + "\n"), spec, error)) << error;
  EXPECT_FALSE(CheckLine(spec, SieveLine{a, b}, error));
  return error;
}

TEST(OrdaxInput, RefusesFormsThatNoSieveWrites) {
  EXPECT_NE(SpecError("100:P:1:2:4\n").find("no known sieve type"), std::string::npos);
  EXPECT_NE(SpecError("100:P:1:2:99999\n").find("no known sieve type"), std::string::npos);
  EXPECT_NE(SpecError("100:P:1:1:1\n").find("base 1"), std::string::npos);
  EXPECT_NE(SpecError("100:1:2:2:42\n").find("chain length"), std::string::npos);
  EXPECT_NE(SpecError("100:1:1001:2:42\n").find("chain length"), std::string::npos);
  EXPECT_NE(SpecError("100:P:1:2:4161\n").find("no primorial form"), std::string::npos);  // 0x1041
  EXPECT_NE(SpecError("100:P:1:3:65\n").find("base 2"), std::string::npos);
  EXPECT_NE(SpecError("ABC 3*2^$b+1 //Morvane:100:P:1:2:1\n").find("fixed-k"), std::string::npos);
  EXPECT_NE(SpecError("ABC 3*0*2^$b+1 //Morvane:100:P:1:2:321\n").find("is 0"), std::string::npos);
}

TEST(OrdaxInput, RefusesLinesOutOfRangeOrTooLargeToTest) {
  EXPECT_NE(LineError("100:P:1:2:1", 0, 10).find("out of range"), std::string::npos);
  EXPECT_NE(LineError("100:1:3:2:42", 5, 0).find("out of range"), std::string::npos);  // first link 2^-1
  EXPECT_NE(LineError("100:P:1:2:1", 3, 2147483648).find("out of range"), std::string::npos);
  EXPECT_NE(LineError("100:P:1:2:1", 3, 2147483647).find("too large"), std::string::npos);
  EXPECT_NE(LineError("100:P:1:2:65", 3, 2).find("below 3"), std::string::npos);
  EXPECT_NE(LineError("100:P:1:2:321", 100000000, 5).find("too large"), std::string::npos);
}

TEST(OrdaxInput, AnInvalidFileEndsTheRunWithItsReason) {
  ScratchDir dir;
  InProcessRun run = RunInProcess(dir, "100:P:1:2:1\n3 10\n0 10\n");
  EXPECT_EQ(run.status, ORDAX_FAILED);
  EXPECT_NE(run.output.find("is not a valid sieve file: the line \"0 10\" is out of range"), std::string::npos);
  EXPECT_TRUE(run.summary.found.empty());
  InProcessRun empty = RunInProcess(dir, "100:P:1:2:1\n");
  EXPECT_EQ(empty.status, ORDAX_OK);
  EXPECT_NE(empty.output.find("The file holds no values to test."), std::string::npos);
}

std::string Describe(const std::string& header, long a, long b) {
  FormSpec spec;
  std::string error;
  SieveInput in = Parse(header + "\n");
  EXPECT_TRUE(MakeFormSpec(in, spec, error)) << error;
  MemberBuilder builder(spec);
  std::vector<Member> members;
  builder.Build(SieveLine{a, b}, members);
  return DescribeLine(spec, SieveLine{a, b}, members);
}

TEST(OrdaxDescribe, WritesEachFormAsItsMembers) {
  EXPECT_EQ(Describe("1:T:1:2:3", 1095, 1000), "1095·2^1000±1 is a twin prime pair (probable)");
  EXPECT_EQ(Describe("1:P:1:2:1", 1, 4), "2^4+1 is prime (probable)");
  EXPECT_EQ(Describe("1:S:1:3:1034", 4, 7), "4·3^7-1 & 8·3^7-1 is a Sophie Germain pair (probable)");
  EXPECT_EQ(Describe("1:S:1:3:10", 4, 7), "4·3^7-1 & 4·3^8-1 is a Sophie Germain pair (probable)");
  EXPECT_EQ(Describe("1:Y:3:2:29", 5, 3), "5·2^2+1 & 5·2^3±1 & 5·2^4+1 is a Lucky Plus set (probable)");
  EXPECT_EQ(Describe("1:Y:3:2:93", 3, 11), "3·11#/2+1 & 3·11#±1 & 6·11#+1 is a Lucky Plus set (probable)");
  EXPECT_EQ(Describe("1:Y:3:2:93", 4, 11), "2·11#+1 & 4·11#±1 & 8·11#+1 is a Lucky Plus set (probable)");
  EXPECT_EQ(Describe("1:1:4:2:42", 7, 10),
            "7·2^9-1 & 7·2^10-1 & 7·2^11-1 & 7·2^12-1 is a Cunningham chain of the first kind of length 4 "
            "(probable)");
  EXPECT_EQ(Describe("1:3:3:2:63", 3, 5), "3·2^4±1 & 3·2^5±1 & 3·2^6±1 is a BiTwin chain of length 3 (probable)");
  EXPECT_EQ(Describe("1:A:1:3:512", 5, 30), "3^30+8 is prime (probable)");
  EXPECT_EQ(Describe("1:A:1:2:576", 5, 13), "13#+9 is prime (probable)");
  EXPECT_EQ(Describe("1:T:1:2:195", 10, 13), "2·13#±1 & 2·13#+5 is a prime triplet (probable)");
  EXPECT_EQ(Describe("1:T:1:2:2243", 3, 13), "3·13#/35±1 & 3·13#/35+5 & 3·13#/35+7 is a prime quadruplet (probable)");
  EXPECT_EQ(Describe("1:P:1:2:4097", 7, 10), "7·2^10+1 & 14·2^10+3 is a Sophie Germain pair (probable)");
  EXPECT_EQ(Describe("ABC 3*5*7*2^$b+1 //Morvane:1:P:1:2:321", 1, 100), "3·5·7·2^100+1 is prime (probable)");
  EXPECT_EQ(Describe("1:P:1:2:321", 11, 5), "11#·2^5+1 is prime (probable)");
  EXPECT_EQ(Describe("1:M:1:6:258", 5, 9), "5·6^9-1 is prime (probable)");
  EXPECT_EQ(Describe("1:M:1:2:32770", 3, 5), "2^5-3 is prime (probable)");
}

}  // namespace
