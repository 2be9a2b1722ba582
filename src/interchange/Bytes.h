#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstring>

// Appends bytes by hand: QByteArray::append goes through insert(), which
// weighs on a file written a line or a cell at a time. Room grows twofold.
inline void AppendBytes(QByteArray &out, QByteArrayView bytes)
{
    const qsizetype at = out.size(), n = bytes.size();
    if (out.capacity() - at < n)
        out.reserve(std::max(at + n, 2 * at));
    out.resize(at + n);
    if (n)
        std::memcpy(out.data() + at, bytes.data(), size_t(n));
}

// Where in p[from, n) the first byte that is one of `Cs` is, or n. Eight
// bytes are looked at together while none of them is one.
template <char... Cs>
inline qsizetype FirstOf(const char *p, qsizetype from, qsizetype n)
{
    constexpr quint64 kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    const auto hasZeroByte = [](quint64 v) { return (v - kOnes) & ~v & kHighs; };
    for (quint64 w; from + 8 <= n; from += 8) {
        std::memcpy(&w, p + from, 8);
        if ((... | hasZeroByte(w ^ (kOnes * uchar(Cs)))))
            break;
    }
    for (; from < n; ++from) {
        if (((p[from] == Cs) || ...))
            return from;
    }
    return n;
}
