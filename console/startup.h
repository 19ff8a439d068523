// Start-up of the process: signals, tables, settings, options, session.
#pragma once

int MorvaneMain(int argc, char** argv);

// Runs body and returns its status. Anything body throws (out of memory, a logic error: the
// sieve's own stops are handled inside) is reported on standard error with what it says and
// ends with EXIT_INTERNAL_ERROR; nothing more is written, so the last saved file stands.
int RunReportingFaults(int (*body)(int, char**), int argc, char** argv);
