#pragma once

#include <QString>

// Process-wide application context: product constants, the application title,
// the application folder and the closing flag. Filled once by InitProductConstants
// before any window exists.
struct AppContext
{
    QString ProductName;
    QString ProductVersion;
    QString VendorSegment;
    QString AppTitle;
    bool AppClosing = false;
    // Set once the program has been told to end (a signal, the session
    // ending): windows then close without asking the user anything.
    bool Terminating = false;
};

AppContext &App();

// Sets ProductName, ProductVersion, VendorSegment and then AppTitle.
void InitProductConstants();

// The reverse-DNS id the desktop knows the program by: the desktop entry, the
// metainfo and the icon are named after it.
QString ApplicationId();

// True when the program keeps its files beside itself: a file named "portable"
// stands beside the executable and that folder is writable (the build tree, an
// unpacked folder).
bool IsPortable();

// The folder the program keeps its own files in (database, notes, language
// file), without a trailing separator: the executable's folder when portable,
// otherwise the user's data folder (~/.local/share/Quillmere/Ardentia).
QString ApplicationFolder();
// Chooses the application folder; tests point it at a temporary folder.
void SetApplicationFolder(const QString &folder);

// A path the program builds by appending `relative` to the application folder.
// Backslashes in `relative` are folder separators.
QString AppFilePath(const QString &relative);

// A read-only file shipped with the program (help page, tray image, the
// language file as installed): beside the executable when portable, otherwise
// in the installed data folder (<prefix>/share/ardentia, found from the
// executable's own location). `relative` has no leading separator
// ("help/index.html"); backslashes are folder separators. When the file is
// nowhere, the path where an installed copy would be.
QString ShippedFilePath(const QString &relative);

// Makes the per-user application folder ready at start-up: creates it and
// copies the shipped language file into it when it has none, so the user may
// edit their copy. Does nothing when portable or when the folder was chosen
// with SetApplicationFolder. Failures are left for the first use to report.
void PrepareApplicationFolder();
