#pragma once

#include <QString>

// Text as the store can hold it: embedded NUL characters removed and lone
// surrogates replaced by U+FFFD. Everything else is kept as typed.
QString SanitizedText(const QString &text);
