#pragma once

#include <QString>

// Deterministic contact books for the benchmarks: the same count always gives
// the same rows, byte for byte.
namespace BenchData {

// Creates `folder`/db/db.sqlite with `count` contacts (and trans/eng.txt from
// `languageFile`) unless a complete one is already there. False on failure.
bool EnsureBook(const QString &folder, int count, const QString &languageFile);

// The search terms the benchmark uses: one found in about two rows of three,
// one in about one row of seventy, one found nowhere.
QString BroadTerm();
QString SelectiveTerm();
QString MissingTerm();

} // namespace BenchData
