#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// The conversions the settings code makes between dynamic values, stored texts and
// numbers. They follow the rules of the language the stored texts were first
// written by, so that existing settings keep their meaning.

// A value as text: Booleans "True"/"False", integers in decimal, an empty value
// as the empty text.
QString VbToText(const QVariant &value);

// Text as a 32-bit integer. Accepted: optional surrounding white space, an
// optional sign, decimal digits with an optional fraction and exponent ("1.0",
// " 7 ", "1e3"); a fraction is rounded half to even ("2.5" gives 2, "3.5" gives 4).
// Refused (nullopt): empty text, letters, thousands separators, hexadecimal, and
// values outside the 32-bit range.
std::optional<qint32> VbTextToLong(const QString &text);

// A dynamic value as a 32-bit integer: integers in range, Booleans as -1 / 0,
// floating values rounded half to even, texts by VbTextToLong. Anything else
// (byte arrays, empty) gives nullopt.
std::optional<qint32> VbToLong(const QVariant &value);

// A dynamic value as a Boolean: texts "True" / "False" in any letter case (white
// space around them allowed), numbers and numeric texts true when not zero.
// Anything else ("yes", "", byte arrays, empty) gives nullopt.
std::optional<bool> VbToBoolean(const QVariant &value);
