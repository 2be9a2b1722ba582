#pragma once

class frmMain;

// Start-up: product constants and title, the single-instance guard, then the
// main window loaded and shown.
enum class StartResult { Running, AlreadyRunning, Failed };

StartResult Main();

// The main window while it exists.
frmMain *MainWindow();
// Unloads and destroys the main window (tests).
void DestroyMainWindow();

// The whole process: QApplication, Main, the event loop. Exit status 0 when
// another instance already runs, non-zero when start-up failed.
int RunArdentia(int argc, char *argv[]);
