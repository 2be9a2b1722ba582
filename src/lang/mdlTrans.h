#pragma once

#include <QString>
#include <QStringList>

// The language table: texts 0 to 5000, entry i (1 to 1000) holding line i of the
// language file, and the right-to-left flag set by "RTL" on line 10.
namespace mdlTrans {

constexpr int kEntries = 5001;
constexpr int kLinesRead = 1000;
constexpr int kErrFileNotFound = 53;
constexpr int kErrEndOfFile = 62;
constexpr int kErrPathAccess = 75;

// Loads the file; 0 when all 1000 lines were read, else the error number.
// Entries already read stay; no message is ever shown.
int LoadLanguageFile(const QString &path);

// Entry i of the table; empty outside 0..5000.
QString Trans(int index);
bool RightToLeft();

// Back to an empty table and a false flag (for tests).
void ResetLanguage();

} // namespace mdlTrans
