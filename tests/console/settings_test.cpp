// The settings file: exact default file, each reading rule, and the optional keys.
#include "console/settings.h"

#include <gtest/gtest.h>

#include "tests/console/console_script.h"
#include "tests/support/run_binary.h"

namespace {
const char* const DefaultFile =
    "TrayIcon = 1\n"
    "WorkerThreadPriorityLowest = 1\n"
    "Priority = Normal\n"
    "BitmapThreshold = 400000000\n"
    "MinutesBetweenWrites = 30\n"
    "DSM_TwoSaveFiles = 0\n"
    "DSM_AlwaysSave = 0\n"
    "TwoSaveFiles = 0\n"
    "DSM_LogDeleted = 0\n";

void readText(const std::string& text) {
  ScratchDir dir;
  writeFile(dir.file("Morvane.ini"), text);
  ReadSettings(dir.file("Morvane.ini").c_str());
}
}  // namespace

TEST(Settings, DefaultsWriteTheDocumentedFile) {
  freshState();
  ScratchDir dir;
  WriteSettings(dir.file("Morvane.ini").c_str());
  EXPECT_EQ(readFile(dir.file("Morvane.ini")), DefaultFile);
}

TEST(Settings, ReadingRules) {
  struct Case {
    const char* text;
    bool (*holds)();
    const char* what;
  } cases[] = {
      {"MinutesBetweenWrites = 5\n", [] { return job.WriteIterations == 10u; }, "minutes floor"},
      {"MinutesBetweenWrites = 45\n", [] { return job.WriteIterations == 45u; }, "minutes"},
      {"IterationsBetweenWrites = 7\n", [] { return job.WriteIterations == 21u; }, "iterations times 3"},
      {"MinutesBetweenWrites=45\n", [] { return job.WriteIterations == 45u; }, "no blanks"},
      {"MinutesBetweenWrites = 45/x\n", [] { return job.WriteIterations == 30u; }, "not wholly a number: ignored"},
      {"MinutesBetweenWrites = abc\n", [] { return job.WriteIterations == 30u; }, "not a number: ignored"},
      {"MinutesBetweenWrites = 1_000\n", [] { return job.WriteIterations == 1000u; }, "digit groups"},
      {" MinutesBetweenWrites = 45\n", [] { return job.WriteIterations == 30u; }, "leading blank: no key"},
      {"minutesbetweenwrites = 45\n", [] { return job.WriteIterations == 30u; }, "other capitalisation"},
      {"# MinutesBetweenWrites = 45\n", [] { return job.WriteIterations == 30u; }, "comment"},
      {"MinutesBetweenWrites = 45\nMinutesBetweenWrites = 50\n", [] { return job.WriteIterations == 50u; },
       "last line wins"},
      {"MinutesBetweenWrites = 45", [] { return job.WriteIterations == 45u; }, "last line without newline"},
      {"WorkerThreadPriorityLowest = 0\n", [] { return ui.WorkerThreadPriority == 0; }, "normal priority"},
      {"WorkerThreadPriorityLowest = 7\n", [] { return ui.WorkerThreadPriority == 20; }, "lowest priority"},
      {"BitmapThreshold = 4068474880\n", [] { return job.BitMapThreshold == 4068474880LL; }, "above 32 bits"},
      {"BitmapThreshold = 01000\n", [] { return job.BitMapThreshold == 1000; }, "bitmap: a leading 0 is decimal"},
      {"BitmapThreshold = 0\n", [] { return job.BitMapThreshold == 400000000; }, "bitmap 0: the default"},
      {"BitmapThreshold = 2^40\n", [] { return job.BitMapThreshold == 400000000; }, "bitmap too large: default"},
      {"BitmapThreshold = 2^20\n", [] { return job.BitMapThreshold == 1048576; }, "bitmap 2^20"},
      {"TwoSaveFiles = 1\n", [] { return job.TwoSaveFiles && ui.fTwoSaveFilesInIniFile; }, "two save files"},
      {"TwoSaveFiles = 0\n", [] { return !job.TwoSaveFiles && ui.fTwoSaveFilesInIniFile; }, "key recorded"},
      {"DSM_TwoSaveFiles = 1\nDSM_AlwaysSave = 1\nDSM_LogDeleted = 1\n",
       [] { return ui.DSM_TwoSaveFiles && ui.DSM_DSMYNC && ui.DSM_LogDeleted; }, "DSM flags"},
      {"DSM_TwoSaveFiles = 2\nDSM_AlwaysSave = 0\n", [] { return !ui.DSM_TwoSaveFiles && !ui.DSM_DSMYNC; },
       "DSM only for 1"},
      {"QZTEST = 0\n", [] { return fTest; }, "QZTEST any value"},
      {"Hidden = 1\n", [] { return ui.fAutoStartHidden; }, "hidden"},
      {"InputFileName = work_1.txt\n", [] { return ui.fAutoStart && ui.AutoRunFile == "work_1.txt"; },
       "whole file name"},
      {"InputFileName = res/17_my work.txt\r\n",
       [] { return ui.AutoRunFile == "res/17_my work.txt"; }, "name with blanks and CR"},
      {"InputFileName = \n", [] { return !ui.fAutoStart; }, "empty name ignored"},
      {"TrayIcon = 0\nPriority = Low\nUnknown = 3\n=5\n\n", [] { return true; }, "ignored keys"},
  };
  for (const auto& c : cases) {
    freshState();
    readText(c.text);
    EXPECT_TRUE(c.holds()) << c.what;
  }
  freshState();
}

TEST(Settings, MissingFileKeepsDefaults) {
  freshState();
  ReadSettings("/nonexistent-folder/Morvane.ini");
  EXPECT_EQ(job.WriteIterations, 30u);
  EXPECT_FALSE(ui.fTwoSaveFilesInIniFile);
}

TEST(Settings, OptionalKeysAndRoundTrip) {
  freshState();
  ScratchDir dir;
  ui.WorkerThreadPriority = 0;
  job.BitMapThreshold = 838860800;
  job.WriteIterations = 12;
  ui.DSM_TwoSaveFiles = true;
  job.TwoSaveFiles = true;
  fTest = true;
  ui.fAutoStartHidden = true;
  job.outbuff = "17_work.txt";
  WriteSettings(dir.file("a.ini").c_str());
  EXPECT_EQ(readFile(dir.file("a.ini")).find("InputFileName"), std::string::npos)
      << "the output file is recorded only when asked for";
  ui.fAutoStartRequired = true;
  WriteSettings(dir.file("a.ini").c_str());
  EXPECT_EQ(readFile(dir.file("a.ini")),
            "TrayIcon = 1\n"
            "WorkerThreadPriorityLowest = 0\n"
            "Priority = Normal\n"
            "BitmapThreshold = 838860800\n"
            "MinutesBetweenWrites = 12\n"
            "DSM_TwoSaveFiles = 1\n"
            "DSM_AlwaysSave = 0\n"
            "TwoSaveFiles = 1\n"
            "DSM_LogDeleted = 0\n"
            "InputFileName = 17_work.txt\n"
            "QZTEST = 1\n"
            "Hidden = 1\n");
  freshState();
  ReadSettings(dir.file("a.ini").c_str());
  EXPECT_EQ(ui.WorkerThreadPriority, 0);
  EXPECT_EQ(job.BitMapThreshold, 838860800);
  EXPECT_EQ(job.WriteIterations, 12u);
  EXPECT_TRUE(ui.DSM_TwoSaveFiles && job.TwoSaveFiles && fTest && ui.fAutoStartHidden && ui.fAutoStart);
  EXPECT_EQ(ui.AutoRunFile, "17_work.txt");
  freshState();
}

TEST(Settings, UnwritableFileIsSkipped) {
  freshState();
  WriteSettings("/nonexistent-folder/Morvane.ini");  // no crash, no message
}
