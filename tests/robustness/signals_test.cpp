// Signals through the real binary: an interrupt is honoured while reading the input, while
// sieving and while waiting on a save that cannot be written (the previous file stays, the
// status says the save failed), saves leave no stray temporaries, and a file continued in place
// with a backup never goes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_binary.h"

namespace {

// The binary running in the background with its output in a file.
class Background {
 public:
  Background(const std::string& dir, const std::vector<std::string>& args) : log_(dir + "/.log") {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      int out = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int in = open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      std::vector<char*> argv{const_cast<char*>("morvane")};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(MORVANE_BINARY, argv.data());
      _exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool waitFor(const std::string& text, int seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      if (readFile(log_).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void signal(int sig) { kill(pid_, sig); }
  // The exit status, or -1 when the program is still running (the signal was not honoured).
  int wait(int seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }
  std::string output() const { return readFile(log_); }

 private:
  std::string log_;
  pid_t pid_ = -1;
  int status_ = -1;
};

const std::vector<std::string> kLongJob = {"-ou", "-w", "-wp=sub/out.txt", "-t=0", "-base=2", "-n=1000", "-kmin=1",
                                           "-kmax=2000000"};

TEST(Signals, SigtermWhileSievingSavesAndEndsWith130) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  Background run(dir.path(), kLongJob);
  ASSERT_TRUE(run.waitFor("candidates")) << run.output();
  run.signal(SIGTERM);
  EXPECT_EQ(run.wait(), 130) << run.output();
  EXPECT_NE(run.output().find("Output file 'sub/out.txt' generated"), std::string::npos) << run.output();
  for (const auto& e : std::filesystem::directory_iterator(dir.file("sub")))
    EXPECT_EQ(e.path().filename().string().find(".saving."), std::string::npos) << e.path();
}

TEST(Signals, AnInterruptEndsTheWaitOnAFailedSave) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  Background run(dir.path(), kLongJob);
  ASSERT_TRUE(run.waitFor("candidates")) << run.output();
  // The output's folder goes away (a deleted or unmounted disk): no save can work, root or not.
  std::filesystem::remove_all(dir.file("sub"));
  run.signal(SIGINT);
  ASSERT_TRUE(run.waitFor("Cannot write sub/out.txt: No such file or directory")) << run.output();
  run.signal(SIGINT);
  EXPECT_EQ(run.wait(), 3) << run.output();
  EXPECT_NE(run.output().find("The save to sub/out.txt was given up"), std::string::npos) << run.output();
  EXPECT_EQ(run.output().find("generated"), std::string::npos) << run.output();
}

TEST(Signals, StaleSaveTemporariesOfDeadProcessesAreRemoved) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  // A process id that is certainly not running: a child already reaped.
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string stale = dir.file("sub/out.txt.saving." + std::to_string(dead));
  const std::string live = dir.file("sub/out.txt.saving." + std::to_string(getpid()));
  writeFile(stale, "partial");
  writeFile(live, "still being written");
  RunResult r = runMorvane({"-ou", "-w", "-wp=sub/out.txt", "-t=0", "-base=2", "-n=100", "-kmin=1", "-kmax=1000",
                            "-osp=2000"},
                           dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(live));  // a running process keeps its temporary
  EXPECT_NE(r.output.find("left by an interrupted save"), std::string::npos) << r.output;
}

TEST(Signals, ContinuingInPlaceWithBackupKeepsTheFileThroughout) {
  ScratchDir dir;
  ASSERT_EQ(runMorvane({"-ou", "-w", "-wp=out.txt", "-t=0", "-base=2", "-n=100", "-kmin=1", "-kmax=100000",
                        "-osp=2000"},
                       dir.path())
                .status,
            0);
  const std::string before = readFile(dir.file("out.txt"));
  // Killed once sieving has begun: the file continued in place is still there, whole.
  Background run(dir.path(), {"-ou", "-c", "-ci=out.txt", "-cp=out.txt", "-osp=100000000000"});
  ASSERT_TRUE(run.waitFor("candidates")) << run.output();
  run.signal(SIGKILL);
  run.wait();
  EXPECT_EQ(readFile(dir.file("out.txt")), before);
  EXPECT_EQ(readFile(dir.file("out.txt~")), before);
}

// A large input file: an interrupt while it is being read ends the run there, with nothing
// written and the input as it was.
TEST(Signals, SigtermWhileReadingTheInputEndsWith130AndWritesNothing) {
  ScratchDir dir;
  {
    std::ofstream in(dir.file("in.txt"));
    in << "1000:T:1:2:3\n";
    for (int64_t k = 1; k < 6000000; k += 2) in << k << " 1000\n";
  }
  const std::string before = readFile(dir.file("in.txt"));
  Background run(dir.path(), {"-c", "-ci=in.txt", "-cp=out.txt", "-osp=2000000"});
  ASSERT_TRUE(run.waitFor("Opened the input file")) << run.output();
  run.signal(SIGTERM);
  EXPECT_EQ(run.wait(), 130) << run.output();
  EXPECT_NE(run.output().find("Interrupted while reading the input file."), std::string::npos) << run.output();
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.txt")));
  EXPECT_EQ(readFile(dir.file("in.txt")), before);
}

TEST(Signals, SigintDuringTheSubRangesEndsWith130AndNoMainRun) {
  ScratchDir dir;
  Background run(dir.path(), {"-ou", "-w", "-wp=out.txt", "-t=0", "-base=2", "-n=1000", "-kmin=1",
                              "-kmax=400000", "-ob=0.01"});
  ASSERT_TRUE(run.waitFor("Sieving from k = 1 to")) << run.output();
  run.signal(SIGINT);
  EXPECT_EQ(run.wait(), 130) << run.output();
}

// A small tmpfs fills up during the final save: the save says why and waits; an interrupt ends
// the wait with status 3, and nothing partial is left. Needs root to mount; skipped otherwise.
TEST(Signals, AFullDiskSaveWaitsSaysWhyAndEndsOnAnInterrupt) {
  ScratchDir dir;
  const std::string mnt = dir.file("small");
  std::filesystem::create_directory(mnt);
  if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs " + mnt + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "a full-disk test needs root to mount a small tmpfs";
  struct Unmount {
    std::string path;
    ~Unmount() { std::system(("umount " + path).c_str()); }
  } unmount{mnt};
  Background run(dir.path(), {"-ou", "-w", "-wp=small/out.txt", "-t=0", "-base=2", "-n=1000", "-kmin=1",
                              "-kmax=2000000"});
  ASSERT_TRUE(run.waitFor("candidates")) << run.output();
  run.signal(SIGINT);
  ASSERT_TRUE(run.waitFor("Cannot write small/out.txt: No space left on device")) << run.output();
  run.signal(SIGINT);
  EXPECT_EQ(run.wait(), 3) << run.output();
  for (const auto& e : std::filesystem::directory_iterator(mnt))
    EXPECT_EQ(e.path().filename().string().find(".saving."), std::string::npos) << e.path();
}

}  // namespace
