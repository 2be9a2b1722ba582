#pragma once

#include "settings/RegistryRoutines.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The loaded options, read program-wide; written only by GetOptions.
// Colours are 0x00BBGGRR.
struct OptionState
{
    bool OptSortByFirstName = false;
    qint32 OptAppColor = 0;
    qint32 OptTextColor = 0;
    bool OptHoTrack = false;
    bool OptViewGrid = false;
    // The options dialog writes or removes the desktop's autostart entry to match.
    bool OptRunWhenWindowsStarts = false;
    // Changes can be undone, and removed contacts wait in the Recycle bin, for
    // this many days; at most this many changes are kept.
    int OptHistoryDays = 90;
    int OptHistorySteps = 1000;
    // Search ignores accents (as well as letter case).
    bool OptFoldAccents = true;
    // The country phone numbers without "+" are dialled in ("GB"); empty for
    // the one of the system's locale.
    QString OptPhoneRegion = QString();
    // Sync with the CardDAV accounts every this many minutes (0: only at
    // start, after a change and on demand); what to do with a contact changed
    // on both sides: "ask", "local", "server" or "keep-both".
    int OptSyncMinutes = 15;
    QString OptSyncPolicy = QStringLiteral("keep-both");
};

// The phone region in use: the chosen one, else the locale's.
QString PhoneRegion();

OptionState &Options();

// What GetOptions found, by the name of the value (and of the dialog's control).
// nullopt: not stored, or stored as something that cannot be converted.
struct StoredOptions
{
    std::optional<int> chkRunWhenWindowsStarts;
    std::optional<bool> ptnSortByFirstName;
    std::optional<bool> ptnSortByLastName;
    std::optional<int> chkHoTrack;
    std::optional<int> chkViewGrid;
    std::optional<qint32> picColor;
    std::optional<qint32> picTextColor;
    std::optional<int> HistoryDays;
    std::optional<int> HistorySteps;
    std::optional<int> chkFoldAccents;
    std::optional<QString> PhoneRegion;
    std::optional<int> SyncMinutes;
    std::optional<QString> SyncPolicy;
};

// The main window's look: the stored one where stored, else the built-in look.
struct DisplayLook
{
    qint32 titleBackground = 255; // red
    qint32 titleText = 0xFFFFFF;  // white
    bool gridLines = true;
    bool hotTrack = false;
};
DisplayLook LookFrom(const StoredOptions &stored);

// Reads every option through `reg` (its Subkey is left at "Display") and sets
// Options():
// - a value not stored sets its option to the default (false, unchecked, black);
// - a value that cannot be converted leaves its option as it was;
// - check boxes accept the integers 0, 1 and 2 (their states), the option is on
//   for 1 only; Booleans accept "True"/"False" in any letter case and numbers
//   (non-zero is true); integers as VbTextToLong reads them (" 1" and "1.0" are 1).
// OptSortByFirstName follows the stored first-name choice alone.
StoredOptions GetOptions(RegistryRoutines &reg);
// The same through OptionsRegistry().
StoredOptions GetOptions();

// The object the options are kept through: HKEY_LOCAL_MACHINE,
// "SOFTWARE\<VendorSegment>\<ProductName>" (the product constants are filled
// first when they are still empty).
RegistryRoutines OptionsRegistry();

// Creates the empty subkeys "Options" and "Display" (with their parents) when
// they are missing, so that options can be written. True when both exist.
bool EnsureOptionKeys();

// Writers: each sets `reg`'s Subkey and stores the option's text as REG_SZ.
// False when the store refused (for instance, a missing subkey).
bool SaveRunWhenWindowsStarts(RegistryRoutines &reg, int chkValue); // "0" / "1"
bool SaveSortByFirstName(RegistryRoutines &reg, bool selected);     // "True" / "False"
bool SaveSortByLastName(RegistryRoutines &reg, bool selected);
bool SaveHoTrack(RegistryRoutines &reg, int chkValue);
bool SaveViewGrid(RegistryRoutines &reg, int chkValue);
bool SaveAppColor(RegistryRoutines &reg, qint32 color); // signed decimal, white "16777215"
bool SaveTextColor(RegistryRoutines &reg, qint32 color);
// Days from 1 to 3650 and steps from 10 to 100000 (stored as text); others are refused on reading.
bool SaveHistory(RegistryRoutines &reg, int days, int steps);
bool SaveFoldAccents(RegistryRoutines &reg, int chkValue);
// Two letters A to Z, or empty for the locale's; others are refused on reading.
bool SavePhoneRegion(RegistryRoutines &reg, const QString &region);
// Minutes from 0 to 1440; a policy of the four names. Others are refused on reading.
bool SaveSync(RegistryRoutines &reg, int minutes, const QString &policy);
