// The command line: options that preset the session's answers and the job's settings,
// and the test that decides full command-line mode.
#pragma once

// Applies the options of argv[1..argc-1] left to right, up to the first argument that does
// not begin with '-'. Returns true when -ou was among them.
bool ProcessOptions(int argc, char** argv);

// Decides full command-line mode (and takes up the settings file's file to continue).
bool isReadyToStart();
