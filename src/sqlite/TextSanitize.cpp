#include "sqlite/TextSanitize.h"

QString SanitizedText(const QString &text)
{
    // Looked for without a branch per character: nearly all text is clean.
    const auto *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    unsigned dirty = 0;
    for (qsizetype i = 0; i < n; ++i)
        dirty |= unsigned(p[i] == 0) | unsigned((p[i] & 0xF800) == 0xD800);
    if (!dirty)
        return text;

    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isNull())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
        } else if (c.isSurrogate()) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(c);
        }
    }
    return out;
}
