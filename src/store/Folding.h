#pragma once

#include <QString>
#include <QStringView>

// Text as a search compares it: case folded and without accents, so that
// "Álvaro" finds "alvaro" and "Straße" finds "strasse".
//
// - Letters lose their marks (compatibility decomposition, then the combining
//   diacritics are dropped): é → e, ǆ → dz, ﬁ → fi, Ａ → a. Cyrillic follows
//   the same rule (й → и, ё → е), as Greek does (ά → α).
// - Letters that carry their stroke inside them are mapped: ø → o, ł → l,
//   đ ð → d, ħ → h, ŧ → t, ŋ → n, ß → ss, æ → ae, œ → oe, þ → th, ı → i.
// - Hebrew points and Arabic vowel marks go; the letters stay.
// - Scripts whose marks are part of the letter (Indic, Thai), and CJK, kana
//   and Hangul, are kept as they are; so are lone surrogates.
QString Fold(QStringView text);
