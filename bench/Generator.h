#pragma once

#include <QString>

// Deterministic contact books for the benchmarks: the same count always gives
// the same rows, byte for byte.
namespace BenchData {

// Creates `folder`/db/db.sqlite with `count` contacts (and trans/eng.txt from
// `languageFile`) unless a complete one is already there. False on failure.
bool EnsureBook(const QString &folder, int count, const QString &languageFile);

// A book for the duplicate finder at `path` (a database file), unless a
// complete one is there: `count` contacts, of which 2 % are planted second
// cards of another contact (accents dropped, first and last name swapped, a
// last name in capitals or with one letter doubled; the phone number written
// nationally instead of with +44 or the other way, the mail address in other
// letter case) and 1 % are distinct people in pairs that share only a name.
// Every other contact is one person of its own: no two share a name, a mail
// address or a phone number (as dialled from GB), and no two names of one
// company are one letter apart. Its table BenchPeople tells, for every
// ContactID, the Person it is (a planted card has its original's), the
// Namesake pair it is in (0 for none), Planted (1 for the original, 2 for
// the second card, 0 for none) and, for a second card, the Kind of its
// differences in words. False on failure.
bool EnsureDuplicatesBook(const QString &path, int count);

// The search terms the benchmark uses: one found in about two rows of three,
// one in about one row of seventy, one found nowhere, and one without accents
// that is mostly found in accented names ("muller" in "Müller").
QString BroadTerm();
QString SelectiveTerm();
QString MissingTerm();
QString AccentFreeTerm();

} // namespace BenchData
