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
