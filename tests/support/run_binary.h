// Runs the real morvane binary (or another program) in a scratch folder and collects its output.
#pragma once
#include <string>
#include <vector>

struct RunResult {
  int status = -1;     // exit status, or 128 + signal number
  std::string output;  // standard output and standard error, interleaved
};

// A fresh empty folder under the system temporary folder, removed by the destructor.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs program with args in dir, feeding input on standard input.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, const std::string& input = "");
// Runs the morvane binary of this build.
RunResult runMorvane(const std::vector<std::string>& args, const std::string& dir,
                     const std::string& input = "");

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
