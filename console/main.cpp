// Program entry: start-up, the session, and the settings write-back.
#include "console/startup.h"

int main(int argc, char** argv) { return MorvaneMain(argc, argv); }
