// Command lines and oracle jobs for the fixed-n end-to-end tests.
#include "tests/e2e/fixedn_jobs.h"

#include <sstream>

namespace {
const uint32_t kTypeModes[] = {0x0001, 0x0002, 0x0003, 0x000A, 0x0005, 0x000F, 0x000B, 0x0007, 0x001D, 0x002E,
                               0x002A, 0x0015, 0x003F, 0x0200, 0x0083, 0x0883, 0x0101, 0x0102, 0x1001};
}

uint32_t ExpectedMode(const FixedNJob& j) {
  uint32_t mode = kTypeModes[j.type];
  if (j.primorial) mode |= 0x40;
  if (!j.primorial && !j.generalized && j.base != 2 && j.type >= 3 && j.type <= 7) mode |= 0x400;
  if (j.evenK) mode |= 0x4000;
  return mode;
}

OracleJob OracleFor(const FixedNJob& j) {
  int length = 1;
  if (j.type >= 10 && j.type <= 12) length = j.length > 3 ? j.length : 3;
  return OracleJob(ExpectedMode(j), j.primorial ? 2 : j.base, j.n, length);
}

std::vector<std::string> NewFileArgs(const FixedNJob& j, const std::string& out, int64_t stop,
                                     const std::vector<std::string>& extra) {
  std::vector<std::string> a = {"-w", "-wp=" + out, "-t=" + std::to_string(j.type),
                                "-base=" + std::to_string(j.base), "-n=" + std::to_string(j.n),
                                "-kmin=" + std::to_string(j.kmin), "-kmax=" + std::to_string(j.kmax),
                                "-osp=" + std::to_string(stop)};
  if (j.primorial) a.push_back("-u");
  if (j.generalized) a.push_back("-z");
  if (j.evenK) a.push_back("-e");
  if (j.length) a.push_back("-l=" + std::to_string(j.length));
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

std::vector<std::string> ContinueArgs(const std::string& in, const std::string& out, int64_t stop,
                                      const std::vector<std::string>& extra) {
  std::vector<std::string> a = {"-c", "-ci=" + in, "-cp=" + out, "-osp=" + std::to_string(stop)};
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

std::string Describe(const FixedNJob& j) {
  std::ostringstream s;
  s << "type " << j.type << " base " << j.base << " n " << j.n << " k " << j.kmin << ".." << j.kmax
    << (j.primorial ? " primorial" : "") << (j.generalized ? " generalized" : "") << (j.evenK ? " even-k" : "");
  if (j.length) s << " length " << j.length;
  return s.str();
}
