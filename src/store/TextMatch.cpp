#include "store/TextMatch.h"

#include <cstring>

FoldedNeedle::FoldedNeedle(const QString &needle) : m_folded(needle.toCaseFolded())
{
    for (const QChar c : m_folded) {
        if (c.unicode() >= 0x80) {
            m_ascii = false;
            break;
        }
    }
    if (m_ascii)
        m_asciiFolded = m_folded.toStdString();
}

bool FoldedNeedle::foundIn(QByteArrayView utf8) const
{
    if (utf8.isEmpty())
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const size_t n = size_t(utf8.size());
    bool ascii = true;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] & 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii && m_ascii) {
        if (m_asciiFolded.empty())
            return true;
        thread_local std::string buffer;
        buffer.resize(n);
        for (size_t i = 0; i < n; ++i)
            buffer[i] = char((p[i] >= 'A' && p[i] <= 'Z') ? p[i] + 32 : p[i]);
        return memmem(buffer.data(), n, m_asciiFolded.data(), m_asciiFolded.size()) != nullptr;
    }
    return QString::fromUtf8(utf8.data(), utf8.size()).toCaseFolded().contains(m_folded);
}
