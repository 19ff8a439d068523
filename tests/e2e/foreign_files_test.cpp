// Files written the way other sieves write them, continued by the binary: chain length 0 in
// the header of a form that is not a chain, and even k (or even n) under a header that says
// every second value only. Each continued file must equal a direct run of this program, and
// the values the header's flag left out are kept (never dropped silently) or the file is
// refused with the number of lines.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/fixedn_jobs.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
std::string Body(const std::string& text) { return text.substr(text.find('\n') + 1); }

// Replaces field `index` (0-based) of the header line of text.
std::string WithHeaderField(const std::string& text, int index, const std::string& value) {
  std::string header = FirstLine(text);
  std::vector<std::string> fields;
  std::stringstream in(header);
  for (std::string f; std::getline(in, f, ':');) fields.push_back(f);
  fields.at(static_cast<size_t>(index)) = value;
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) out += (i ? ":" : "") + fields[i];
  return out + "\n" + Body(text);
}

// Sieves j to `first`, rewrites the header field, continues to `second`, and compares the
// result with one run straight to `second`. Returns the continued run's output.
std::string ContinueForeign(const FixedNJob& j, int64_t first, int64_t second, int field, const std::string& value) {
  ScratchDir dir;
  EXPECT_EQ(runMorvane(NewFileArgs(j, "direct.txt", second), dir.path()).status, 0);
  EXPECT_EQ(runMorvane(NewFileArgs(j, "own.txt", first), dir.path()).status, 0);
  const std::string own = readFile(dir.file("own.txt"));
  writeFile(dir.file("foreign.txt"), WithHeaderField(own, field, value));
  RunResult r = runMorvane(ContinueArgs("foreign.txt", "out.txt", second), dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string out = readFile(dir.file("out.txt"));
  EXPECT_EQ(out, readFile(dir.file("direct.txt"))) << Describe(j) << "\n" << r.output;
  EXPECT_EQ(checkWindow(own, out, OracleFor(j)), "") << Describe(j);
  return r.output;
}

TEST(ForeignFile, ChainLengthZeroIsOneLinkForFormsThatAreNotChains) {
  for (int type : {0, 1, 2, 3, 4, 8, 13, 14, 18}) {
    FixedNJob j;
    j.type = type;
    j.base = type == 3 ? 10 : 2;
    j.n = 40;
    j.kmax = 3000;
    std::string output = ContinueForeign(j, 1000, 5000, 2, "0");
    EXPECT_EQ(output.find("not appear to be valid"), std::string::npos) << output;
  }
}

TEST(ForeignFile, ChainLengthZeroIsStillRefusedForChains) {
  for (int type : {10, 11, 12}) {
    FixedNJob j;
    j.type = type;
    j.n = 40;
    j.kmax = 500;
    ScratchDir dir;
    ASSERT_EQ(runMorvane(NewFileArgs(j, "own.txt", 1000), dir.path()).status, 0);
    writeFile(dir.file("foreign.txt"), WithHeaderField(readFile(dir.file("own.txt")), 2, "0"));
    RunResult r = runMorvane(ContinueArgs("foreign.txt", "out.txt", 5000), dir.path());
    EXPECT_NE(r.output.find("The file does not appear to be valid (the first line is wrong!)"), std::string::npos)
        << r.output;
    EXPECT_FALSE(std::ifstream(dir.file("out.txt")).good());
  }
}

TEST(ForeignFile, EvenKUnderAnOddKHeaderAreKeptAndSieved) {
  // An even-k file whose header lost the even-k bit: k.2^n+1 as other sieves write it.
  for (int type : {0, 2, 3, 14}) {
    FixedNJob j;
    j.type = type;
    j.n = 30;
    j.kmax = 2000;
    j.evenK = true;
    const uint32_t withEven = ExpectedMode(j);
    std::string output = ContinueForeign(j, 1000, 5000, 4, std::to_string(withEven & ~0x4000u));
    EXPECT_NE(output.find(" even k's although its header says odd k only: they are kept, and even k are sieved "
                          "too.\n"),
              std::string::npos)
        << output;
  }
}

TEST(ForeignFile, OddKWithAnOddBaseAreRefusedWithTheirCount) {
  FixedNJob j;
  j.type = 0;
  j.base = 3;
  j.n = 20;
  j.kmax = 200;
  ScratchDir dir;
  ASSERT_EQ(runMorvane(NewFileArgs(j, "own.txt", 1000), dir.path()).status, 0);
  const std::string own = readFile(dir.file("own.txt"));
  // Two odd k slipped in after the first value line.
  std::string text = FirstLine(own) + "\n" + Body(own).substr(0, Body(own).find('\n') + 1);
  int64_t k = 0;
  std::istringstream(Body(own)) >> k;
  text += std::to_string(k + 1) + " 20\n" + std::to_string(k + 3) + " 20\n";
  writeFile(dir.file("foreign.txt"), text);
  RunResult r = runMorvane(ContinueArgs("foreign.txt", "out.txt", 5000), dir.path());
  EXPECT_NE(r.output.find("The file cannot be read: 2 lines (the first is line 3) list odd k's, and with the odd "
                          "base 3 every number of an odd k is even."),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(std::ifstream(dir.file("out.txt")).good());
}

TEST(ForeignFile, EvenNUnderAnOddNHeaderAreKept) {
  // 3.2^n+1 over every n, its header claiming odd n only.
  ScratchDir dir;
  auto args = [](const std::string& out, int64_t stop) {
    return std::vector<std::string>{"-w",       "-wp=" + out, "-t=16", "-base=2", "-k=3", "-nmin=1", "-nmax=4000",
                                    "-osp=" + std::to_string(stop)};
  };
  ASSERT_EQ(runMorvane(args("direct.txt", 50000), dir.path()).status, 0);
  ASSERT_EQ(runMorvane(args("own.txt", 2000), dir.path()).status, 0);
  const std::string own = readFile(dir.file("own.txt"));
  ASSERT_EQ(FirstLine(own).substr(FirstLine(own).rfind(':')), ":257");
  writeFile(dir.file("foreign.txt"), WithHeaderField(own, 4, std::to_string(257 | 0x2000)));
  RunResult r = runMorvane(ContinueArgs("foreign.txt", "out.txt", 50000), dir.path());
  EXPECT_NE(r.output.find(" even n's although its header says odd n only: they are kept, and even n are sieved "
                          "too.\n"),
            std::string::npos)
      << r.output;
  const std::string out = readFile(dir.file("out.txt"));
  EXPECT_EQ(out, readFile(dir.file("direct.txt")));
  EXPECT_EQ(checkWindow(own, out, OracleJob(0x0101, 2, 3)), "");
}

}  // namespace

namespace {

// The README's section on exchanging files, found from the binary's build folder upward.
std::string ReadmeExchangeSection() {
  std::string dir = MORVANE_BINARY;
  for (int up = 0; up < 4 && !dir.empty(); ++up) {
    dir = dir.substr(0, dir.find_last_of('/'));
    std::ifstream in(dir + "/README.md");
    if (!in) continue;
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    size_t from = all.find("## Exchanging files with other sieves and testers");
    if (from == std::string::npos) continue;
    return all.substr(from, all.find("\n## ", from + 1) - from);
  }
  return "";
}

TEST(ForeignFile, TheReadmeHeadersOfOtherSievesAreRead) {
  const std::string section = ReadmeExchangeSection();
  ASSERT_FALSE(section.empty()) << "README.md has no section on exchanging files";
  int seen = 0;
  for (size_t at = section.find('`'); at != std::string::npos; at = section.find('`', at + 1)) {
    size_t end = section.find('`', at + 1);
    if (end == std::string::npos) break;
    const std::string quoted = section.substr(at + 1, end - at - 1);
    at = end;
    long long depth;
    char letter;
    unsigned len, base, mode;
    char tail;
    if (std::sscanf(quoted.c_str(), "%lld:%c:%u:%u:%u%c", &depth, &letter, &len, &base, &mode, &tail) != 5) continue;
    ++seen;
    ScratchDir dir;
    writeFile(dir.file("foreign.txt"), quoted + "\n3 1000\n5 1000\n9 1000\n");
    RunResult r = runMorvane(ContinueArgs("foreign.txt", "out.txt", depth + 2000), dir.path());
    ASSERT_EQ(r.status, 0) << quoted << "\n" << r.output;
    const std::string out = readFile(dir.file("out.txt"));
    SieveFileData file;
    std::string error;
    ASSERT_TRUE(parseSieveFile(out, file, error)) << quoted << ": " << error << "\n" << r.output;
    EXPECT_EQ(file.len3plus, len == 0 ? 1 : static_cast<int>(len)) << quoted;
    EXPECT_EQ(file.mode, mode) << quoted;
    EXPECT_EQ(checkWindow(quoted + "\n3 1000\n5 1000\n9 1000\n", out, OracleJob(mode, base, 1000, 1)), "") << quoted;
  }
  EXPECT_GE(seen, 2) << "the section shows no plain headers";
}

}  // namespace
