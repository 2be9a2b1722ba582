#include "store/TextMatch.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TextMatch {
namespace {

// A to Z lowered, every other byte as it is.
struct FoldTable
{
    unsigned char to[256];
    constexpr FoldTable() : to()
    {
        for (int c = 0; c < 256; ++c)
            to[c] = (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : static_cast<unsigned char>(c);
    }
};
constexpr FoldTable kFold;

inline bool equalFolded(const unsigned char *text, const unsigned char *lower, size_t m)
{
    for (size_t i = 0; i < m; ++i) {
        if (kFold.to[text[i]] != lower[i])
            return false;
    }
    return true;
}

#if defined(__SSE2__)
// A to Z of 16 bytes lowered; bytes from 0x80 up count as negative and stay.
inline __m128i fold16(__m128i v)
{
    const __m128i upper =
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

// Looks for `lower` (m >= 1) anywhere in the text in one pass; unless it is
// found, `high` has 0x80 set when any byte of the text is beyond ASCII.
bool scanAnywhere(const unsigned char *t, size_t n, const unsigned char *l, size_t m, unsigned &high)
{
    high = 0;
    size_t i = 0;
    if (m <= n) {
        const unsigned char first = l[0];
        const unsigned char last = l[m - 1];
#if defined(__SSE2__)
        // Sixteen start positions at a time: only those whose first and last
        // bytes both fit are compared in full.
        const __m128i vf = _mm_set1_epi8(char(first));
        const __m128i vl = _mm_set1_epi8(char(last));
        for (; i + m - 1 + 16 <= n; i += 16) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i));
            if (_mm_movemask_epi8(raw))
                high |= 0x80;
            const __m128i a = fold16(raw);
            const __m128i b = fold16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i + m - 1)));
            unsigned mask =
                unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, vf), _mm_cmpeq_epi8(b, vl))));
            while (mask) {
                const unsigned bit = unsigned(__builtin_ctz(mask));
                if (m <= 2 || equalFolded(t + i + bit + 1, l + 1, m - 2))
                    return true;
                mask &= mask - 1;
            }
        }
#endif
        for (; i + m <= n; ++i) {
            const unsigned char c = t[i];
            high |= c;
            if (kFold.to[c] == first && kFold.to[t[i + m - 1]] == last &&
                equalFolded(t + i + 1, l + 1, m > 2 ? m - 2 : 0))
                return true;
        }
    }
    for (; i < n; ++i)
        high |= t[i];
    return false;
}

// Whether a text with bytes beyond ASCII holds a character that folds to an
// ASCII letter, or begins with a byte order mark.
bool holdsSpecial(const char *p, size_t n)
{
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        return true;
    // U+017F is C5 BF, U+212A is E2 84 AA.
    for (const char *at = p, *end = p + n; (at = static_cast<const char *>(std::memchr(at, 0xC5, size_t(end - at))));) {
        if (++at < end && static_cast<unsigned char>(*at) == 0xBF)
            return true;
    }
    for (const char *at = p, *end = p + n; (at = static_cast<const char *>(std::memchr(at, 0xE2, size_t(end - at))));) {
        if (++at + 1 < end && static_cast<unsigned char>(at[0]) == 0x84 && static_cast<unsigned char>(at[1]) == 0xAA)
            return true;
    }
    return false;
}

inline bool startsWithFolded(const char *text, size_t n, const char *lower, size_t m)
{
    return m <= n && equalFolded(reinterpret_cast<const unsigned char *>(text),
                                 reinterpret_cast<const unsigned char *>(lower), m);
}

inline bool equalsFolded(const char *text, size_t n, const char *lower, size_t m)
{
    return m == n && equalFolded(reinterpret_cast<const unsigned char *>(text),
                                 reinterpret_cast<const unsigned char *>(lower), m);
}

} // namespace

bool IsAscii(const char *p, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) & 0x80)
            return false;
    }
    return true;
}

Verdict MatchAsciiFolded(Anchor anchor, const char *text, size_t n, const char *lower, size_t m)
{
    switch (anchor) {
    case Anchor::Anywhere: {
        if (m == 0)
            return Verdict::Yes;
        unsigned high;
        if (scanAnywhere(reinterpret_cast<const unsigned char *>(text), n,
                         reinterpret_cast<const unsigned char *>(lower), m, high))
            return Verdict::Yes;
        if (!(high & 0x80))
            return Verdict::No;
        break;
    }
    case Anchor::Start:
        if (startsWithFolded(text, n, lower, m))
            return Verdict::Yes;
        // When the first m bytes are ASCII they are the first m characters.
        if ((n >= m && IsAscii(text, m)) || IsAscii(text, n))
            return Verdict::No;
        break;
    case Anchor::Whole:
        if (equalsFolded(text, n, lower, m))
            return Verdict::Yes;
        if (IsAscii(text, n))
            return Verdict::No;
        break;
    }
    return holdsSpecial(text, n) ? Verdict::FoldWhole : Verdict::No;
}

} // namespace TextMatch
