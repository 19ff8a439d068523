// Start-up of the process: signals, tables, settings, options, session.
#pragma once

int MorvaneMain(int argc, char** argv);
