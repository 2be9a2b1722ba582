#include "sqlite/TextSanitize.h"

QString SanitizedText(const QString &text)
{
    bool clean = true;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && clean; ++i) {
        const QChar c = text.at(i);
        if (c.isNull() || c.isSurrogate())
            clean = false;
    }
    if (clean)
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
