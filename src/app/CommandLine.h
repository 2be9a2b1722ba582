#pragma once

// The work the program does without a window: importing and exporting
// vCards on the same contact book the window uses (it may be open meanwhile).

// Runs what the arguments ask for and returns the exit status, or -1 when they
// ask for the window.
int RunCommandLine(int argc, char *argv[]);
