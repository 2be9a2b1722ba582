#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <string>

// Does a value contain a text, letter case ignored for every letter? The text
// is folded once; values are compared as UTF-8, folding only those that hold
// non-ASCII letters. An empty value never contains anything.
class FoldedNeedle
{
public:
    explicit FoldedNeedle(const QString &needle);
    bool foundIn(QByteArrayView utf8) const;

private:
    QString m_folded;
    std::string m_asciiFolded;
    bool m_ascii = true;
};

// Byte-level helpers for comparing UTF-8 text with an ASCII text whose letters
// are already lower case, A to Z folded on the way. They agree with folding the
// whole value (QString::fromUtf8, then toCaseFolded) whenever
// NeedsFullFold(value) is false.
namespace TextMatch {

bool IsAscii(const char *p, size_t n);
bool ContainsAsciiFolded(const char *text, size_t n, const char *lower, size_t m);
bool StartsWithAsciiFolded(const char *text, size_t n, const char *lower, size_t m);
bool EqualsAsciiFolded(const char *text, size_t n, const char *lower, size_t m);

// True when folding the value as a whole could bring ASCII letters that its
// bytes do not hold (U+017F and U+212A fold to "s" and "k") or drop its first
// bytes (a leading byte order mark is not read as a character).
bool NeedsFullFold(const char *p, size_t n);

// Where the ASCII text must stand in the value.
enum class Anchor { Anywhere, Start, Whole };
enum class Verdict { Yes, No, FoldWhole };
// The comparison in one call: Yes or No from the bytes, or FoldWhole when only
// folding the value as a whole can tell.
Verdict MatchAsciiFolded(Anchor anchor, const char *text, size_t n, const char *lower, size_t m);

} // namespace TextMatch
