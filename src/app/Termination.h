#pragma once

// When the session ends or the process is told to stop (SIGTERM, SIGINT,
// SIGHUP), every open window is closed, so that each one's close handling
// saves what it holds, and the application quits. Call once, right after the
// QApplication exists.
void InstallTerminationHandler();
// While it is ending, App().Terminating is set.
