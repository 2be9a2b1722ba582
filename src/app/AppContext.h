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
};

AppContext &App();

// Sets ProductName, ProductVersion, VendorSegment and then AppTitle.
void InitProductConstants();

// The folder the program keeps its files in, without a trailing separator.
QString ApplicationFolder();
// Chooses the application folder; tests point it at a temporary folder.
void SetApplicationFolder(const QString &folder);

// A path the program builds by appending `relative` to the application folder.
// Backslashes in `relative` are folder separators.
QString AppFilePath(const QString &relative);
