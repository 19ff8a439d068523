// Test helper: feeds a script of answers to the console reader and captures what the
// console prints, for in-process dialogue tests.
#pragma once
#include <cstdio>
#include <string>

#include "console/front_end.h"
#include "console/prompts.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"

class ConsoleScript {
 public:
  explicit ConsoleScript(const std::string& answers) : file_(std::tmpfile()) {
    std::fwrite(answers.data(), 1, answers.size(), file_);
    std::rewind(file_);
    setConsoleInput(fileno(file_));
    setPrintCapture(&output);
  }
  ~ConsoleScript() {
    setConsoleInput(-1);
    setPrintCapture(nullptr);
    std::fclose(file_);
  }
  ConsoleScript(const ConsoleScript&) = delete;
  ConsoleScript& operator=(const ConsoleScript&) = delete;

  std::string output;

 private:
  FILE* file_;
};

// Puts the job and the front end back to the state of a fresh process.
inline void freshState() {
  job = SieveJob{};
  ui = FrontEnd{};
  fTest = false;
}
