#include "store/FoldedNeedle.h"

#include "store/Folding.h"
#include "store/TextMatch.h"

FoldedNeedle::FoldedNeedle(const QString &needle, bool ignoreAccents)
    : m_folded(ignoreAccents ? Fold(needle) : needle.toCaseFolded()), m_accents(ignoreAccents)
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
    const char *p = utf8.data();
    const size_t n = size_t(utf8.size());
    if (m_accents) {
        // Plain ASCII folds to itself in lower case; anything else may lose
        // its accents.
        if (m_ascii && TextMatch::IsAscii(p, n))
            return TextMatch::MatchAsciiFolded(TextMatch::Anchor::Anywhere, p, n, m_asciiFolded.data(),
                                               m_asciiFolded.size()) == TextMatch::Verdict::Yes;
        return Fold(QString::fromUtf8(p, utf8.size())).contains(m_folded);
    }
    if (m_ascii) {
        const TextMatch::Verdict v =
            TextMatch::MatchAsciiFolded(TextMatch::Anchor::Anywhere, p, n, m_asciiFolded.data(), m_asciiFolded.size());
        if (v != TextMatch::Verdict::FoldWhole)
            return v == TextMatch::Verdict::Yes;
    } else if (TextMatch::IsAscii(p, n)) {
        // Folded ASCII holds no letter beyond ASCII.
        return false;
    }
    return QString::fromUtf8(p, utf8.size()).toCaseFolded().contains(m_folded);
}
