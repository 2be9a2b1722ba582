#pragma once

#include <QtGlobal>

class frmMain;

// How the main window reaches the stored options: loaded at start-up (before
// the tree is built), read by the tree, the search highlight and the editor.
struct StartupLook
{
    qint32 titleBackground = 255;  // red
    qint32 titleText = 0xFFFFFF;   // white
    bool gridLines = true;
    bool hotTrack = false;
};

// Loads the options (the options dialog is loaded hidden and reads them).
void LoadStartupOptions(frmMain *main);
// Unloads the options dialog for real (the main window is closing).
void UnloadStartupOptions();
// Shows the options dialog modally.
void ShowOptionsDialog(frmMain *main);

// The title colours and grid choices: the stored ones where stored, else the built-in look.
StartupLook StoredLook();
bool SortByFirstName();
qint32 AppColor();
