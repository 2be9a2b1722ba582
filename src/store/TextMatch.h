#pragma once

#include <cstddef>
#include <string>

// Byte-level comparison of UTF-8 values with an ASCII text whose letters are
// already lower case, A to Z folded on the way. It agrees with folding the
// whole value (QString::fromUtf8, then toCaseFolded) and comparing that, and
// says so when only that can tell: when the value holds a character that folds
// to an ASCII letter (U+017F and U+212A fold to "s" and "k") or begins with a
// byte order mark (which is not read as a character).
namespace TextMatch {

bool IsAscii(const char *p, size_t n);

// Where the ASCII text must stand in the value.
enum class Anchor { Anywhere, Start, Whole };
enum class Verdict { Yes, No, FoldWhole };
Verdict MatchAsciiFolded(Anchor anchor, const char *text, size_t n, const char *lower, size_t m);

} // namespace TextMatch
