// The real binary driven through a pseudo-terminal, as a person at a terminal drives it:
// answering prompts as they appear, and pressing Control-C while a file is being sieved.
#include <gtest/gtest.h>

#include "tests/console/session_texts.h"
#include "tests/console/terminal.h"
#include "tests/support/run_binary.h"


TEST(SessionTerminal, ControlCStopsSavesAndReturnsToTheMenu) {
  ScratchDir dir;
  Terminal t(dir.path(), {"-ou"});
  ASSERT_TRUE(t.started());
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", ""));
  ASSERT_TRUE(t.answer("Verify results ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Output file name = ", "big.txt"));
  ASSERT_TRUE(t.answer("Using primorial mode ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", ""));
  ASSERT_TRUE(t.answer("Base = ", "2"));
  ASSERT_TRUE(t.answer("Include even k's ? (n) : ", ""));
  ASSERT_TRUE(t.answer("n = ", "1000"));
  ASSERT_TRUE(t.answer("kmin = ", "1"));
  ASSERT_TRUE(t.answer("kmax = ", "10000000"));
  ASSERT_TRUE(t.answer("Are you ready to start sieving ? (y) : ", ""));
  // Without a stop criterion this sieve would run for days: stop it by hand.
  ASSERT_TRUE(t.waitFor("candidates")) << t.screen;
  usleep(300000);
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Stopping...")) << t.screen;
  ASSERT_TRUE(t.answer("\nWhat do you want to do now ?\r\n", "5")) << t.screen;
  EXPECT_EQ(t.exitStatus(), 0) << t.screen;
  std::string saved = readFile(dir.file("big.txt"));
  ASSERT_FALSE(saved.empty()) << "the interrupted sieve must be saved";
  EXPECT_TRUE(isSavedKTimes2To1000Plus1(saved)) << saved.substr(0, 80);
  EXPECT_TRUE(fileExists(dir.file("Morvane.ini")));
}

TEST(SessionTerminal, ControlCAtTheMainMenuShowsItAgain) {
  ScratchDir dir;
  Terminal t(dir.path(), {"-ou"});
  ASSERT_TRUE(t.waitFor("Please, enter your choice (0) : "));
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Back to the main menu.")) << t.screen;
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", "5")) << t.screen;
  EXPECT_EQ(t.exitStatus(), 0) << t.screen;
  EXPECT_EQ(t.screen.find("Stopping..."), std::string::npos);
}

TEST(SessionTerminal, ControlCInTheNewFileDialogueGoesBackToTheMainMenu) {
  ScratchDir dir;
  Terminal t(dir.path(), {"-ou"});
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", ""));
  ASSERT_TRUE(t.answer("Verify results ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Output file name = ", "x.txt"));
  ASSERT_TRUE(t.answer("Using primorial mode ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", ""));
  ASSERT_TRUE(t.waitFor("Base = "));
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Back to the main menu.")) << t.screen;
  // The next job starts afresh: its questions are asked again.
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", "")) << t.screen;
  ASSERT_TRUE(t.answer("Verify results ? (n) : ", ""));
  ASSERT_TRUE(t.waitFor("Output file name = ")) << t.screen;
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Back to the main menu.")) << t.screen;
  ASSERT_TRUE(t.answer("Please, enter your choice (0) : ", "5")) << t.screen;
  EXPECT_EQ(t.exitStatus(), 0) << t.screen;
  EXPECT_FALSE(fileExists(dir.file("x.txt")));
}
