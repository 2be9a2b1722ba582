#pragma once

#include <QString>

struct sqlite3;

// Installs like(pattern, text[, escape]) on a connection: the engine's LIKE
// ("%" any run, "_" one character) compared without regard to case for every
// letter, not only A to Z. Also folded_like(pattern, folded, column), the same
// over text folded beforehand (store/SearchText.h): one column of it, or any
// when `column` is negative.
void RegisterLike(sqlite3 *db);

// The same comparison outside the engine (used by tests and by highlighting rules).
bool LikeMatches(const QString &pattern, const QString &text, QChar escape = QChar());
