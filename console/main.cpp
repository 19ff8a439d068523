// Program entry: start-up, the session, and the settings write-back; one handler reports any
// fault that escapes them.
#include "console/startup.h"

int main(int argc, char** argv) { return RunReportingFaults(MorvaneMain, argc, argv); }
