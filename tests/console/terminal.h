// Test helper: runs the real binary on a pseudo-terminal, so that tests can answer prompts
// as they appear and press Control-C as a person would.
#pragma once
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class Terminal {
 public:
  // columns: the terminal's width (0: left unset, as on a console that reports none).
  Terminal(const std::string& dir, const std::vector<std::string>& args, unsigned short columns = 0) {
    winsize size{};
    size.ws_row = 40;
    size.ws_col = columns;
    pid_ = forkpty(&master_, nullptr, nullptr, columns ? &size : nullptr);
    if (pid_ == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      std::vector<char*> argv{const_cast<char*>("morvane")};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(MORVANE_BINARY, argv.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  bool started() const { return pid_ > 0; }

  // Reads until `text` appears after the last match, or the time runs out.
  bool waitFor(const std::string& text, int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      size_t at = screen.find(text, consumed_);
      if (at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[4096];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) return false;  // the program has gone
      screen.append(buf, static_cast<size_t>(n));
    }
  }
  void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  // Answers a prompt once it is shown.
  bool answer(const std::string& prompt, const std::string& reply) {
    if (!waitFor(prompt)) return false;
    type(reply + "\n");
    return true;
  }
  int exitStatus() {
    char buf[4096];
    ssize_t n;
    while ((n = read(master_, buf, sizeof buf)) > 0) screen.append(buf, static_cast<size_t>(n));
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string screen;

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  size_t consumed_ = 0;
};
